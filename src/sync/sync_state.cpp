#include "sync/sync_state.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "store/sql_text.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

using SqlText::quoted;

namespace {

const QString kLock = QStringLiteral("lock");

// The lock's value: the holder and the time it last said it was alive.
QString lockValue(const QString &holder)
{
    return holder + u'@' + QString::number(Clock::now().toMSecsSinceEpoch());
}

} // namespace

SyncState::SyncState(const QSqlDatabase &db, const QString &table)
    : m_db(db), m_rowsName(table + QStringLiteral("_sync")),
      m_metaName(table + QStringLiteral("_sync_meta")), m_rows(quoted(m_rowsName)),
      m_meta(quoted(m_metaName))
{
}

void SyncState::ensure()
{
    // Asked first: a server tells of every table that is already there.
    const QStringList tables = m_db.tables();
    if (tables.contains(m_rowsName) && tables.contains(m_metaName))
        return;
    run(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (uid TEXT PRIMARY KEY, href TEXT UNIQUE, "
                       "etag TEXT, base TEXT)")
            .arg(m_rows));
    run(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (name TEXT PRIMARY KEY, value TEXT)")
            .arg(m_meta));
    // The lock row is there before anyone takes it, so that taking it is one update.
    if (!run(QStringLiteral("SELECT 1 FROM %1 WHERE name = ?").arg(m_meta), {kLock}).next()) {
        QSqlQuery insert(m_db);
        insert.prepare(QStringLiteral("INSERT INTO %1 (name, value) VALUES (?, '')").arg(m_meta));
        insert.addBindValue(kLock);
        insert.exec(); // another program may have made it meanwhile: fine
    }
}

QHash<QString, SyncRow> SyncState::rows()
{
    QHash<QString, SyncRow> rows;
    QSqlQuery query = run(QStringLiteral("SELECT uid, href, etag, base FROM %1").arg(m_rows));
    while (query.next())
        rows.insert(query.value(0).toString(),
                    SyncRow{query.value(1).toString(), query.value(2).toString().toUtf8(),
                            query.value(3).toString().toUtf8()});
    return rows;
}

void SyncState::write(const QString &uid, const SyncRow &row)
{
    // A card that came back under the same address with another UID replaces the old row.
    run(QStringLiteral("DELETE FROM %1 WHERE href = ? AND uid <> ?").arg(m_rows), {row.href, uid});
    run(QStringLiteral("INSERT INTO %1 (uid, href, etag, base) VALUES (?, ?, ?, ?) "
                       "ON CONFLICT (uid) DO UPDATE SET href = excluded.href, "
                       "etag = excluded.etag, base = excluded.base")
            .arg(m_rows),
        {uid, row.href, QString::fromUtf8(row.etag), QString::fromUtf8(row.base)});
}

void SyncState::remove(const QString &uid)
{
    run(QStringLiteral("DELETE FROM %1 WHERE uid = ?").arg(m_rows), {uid});
}

void SyncState::clear()
{
    run(QStringLiteral("DELETE FROM %1").arg(m_rows));
    run(QStringLiteral("DELETE FROM %1 WHERE name <> ?").arg(m_meta), {kLock});
}

QString SyncState::meta(const QString &name)
{
    QSqlQuery query =
        run(QStringLiteral("SELECT value FROM %1 WHERE name = ?").arg(m_meta), {name});
    return query.next() ? query.value(0).toString() : QString();
}

void SyncState::setMeta(const QString &name, const QString &value)
{
    run(QStringLiteral("INSERT INTO %1 (name, value) VALUES (?, ?) "
                       "ON CONFLICT (name) DO UPDATE SET value = excluded.value")
            .arg(m_meta),
        {name, value});
}

bool SyncState::swapLock(const QString &from, const QString &to)
{
    // A free lock is an empty text; a NULL one, as another engine may store it, is free too.
    const auto text = [](const QString &value) {
        return value.isNull() ? QStringLiteral("") : value;
    };
    QSqlQuery query =
        run(QStringLiteral("UPDATE %1 SET value = ? WHERE name = ? AND COALESCE(value, '') = ?")
                .arg(m_meta),
            {text(to), kLock, text(from)});
    return query.numRowsAffected() == 1;
}

bool SyncState::tryLock(const QString &holder)
{
    const QString current = meta(kLock);
    if (!current.isEmpty() && !current.startsWith(holder + u'@')) {
        const qint64 at = current.section(u'@', -1).toLongLong();
        if (Clock::now().toMSecsSinceEpoch() - at < kLockAge)
            return false;
    }
    return swapLock(current, lockValue(holder));
}

bool SyncState::heartbeat(const QString &holder)
{
    const QString current = meta(kLock);
    return current.startsWith(holder + u'@') && swapLock(current, lockValue(holder));
}

void SyncState::unlock(const QString &holder)
{
    const QString current = meta(kLock);
    if (current.startsWith(holder + u'@'))
        swapLock(current, QString());
}

void SyncState::begin()
{
    if (!m_db.transaction())
        throw DatabaseError(SqlText::engineMessage(m_db.lastError()));
}

void SyncState::commit()
{
    if (!m_db.commit()) {
        const QString message = SqlText::engineMessage(m_db.lastError());
        m_db.rollback();
        throw DatabaseError(message);
    }
}

void SyncState::rollback()
{
    m_db.rollback();
}
