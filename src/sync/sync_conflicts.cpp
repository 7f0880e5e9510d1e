#include "sync/sync_conflicts.h"

#include "exchange/vcard.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"
#include "sync/sync_state.h"
#include "sync/sync_text.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// A version is kept as this program's own vCard of it, which reads back as it was.
ContactRecord recordOf(const QString &card)
{
    return SyncText::parse(card.toUtf8(), nullptr);
}

QString cardOf(const ContactRecord &record)
{
    return QString::fromUtf8(VCardWriter::card(record));
}

} // namespace

SyncConflicts::SyncConflicts(const QSqlDatabase &db, const QString &table)
    : m_db(db), m_name(table + QStringLiteral("_conflict")), m_table(SqlText::quoted(m_name))
{
}

void SyncConflicts::ensure()
{
    // Asked first: a server tells of every table that is already there.
    if (m_db.tables().contains(m_name))
        return;
    SqlText::exec(m_db,
                  QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2, contact BIGINT, uid TEXT, "
                                 "at TEXT, local TEXT, server TEXT)")
                      .arg(m_table, SqlEngine::of(m_db).idColumn()));
}

qint64 SyncConflicts::add(qint64 contact, const QString &uid, const ContactRecord &local,
                          const ContactRecord &server)
{
    const SqlEngine &engine = SqlEngine::of(m_db);
    QSqlQuery insert = SqlText::exec(
        m_db,
        QStringLiteral("INSERT INTO %1 (contact, uid, at, local, server) VALUES (?, ?, ?, ?, ?)%2")
            .arg(m_table, engine.returningId()),
        {contact, uid, Clock::now().toUTC().toString(Qt::ISODate), cardOf(local), cardOf(server)});
    return engine.insertedId(insert);
}

static QList<SyncConflict> select(const QSqlDatabase &db, const QString &table,
                                  const QString &where, const QVariantList &binds)
{
    QSqlQuery query = SqlText::exec(
        db,
        QStringLiteral("SELECT id, contact, uid, at, local, server FROM %1%2 ORDER BY id")
            .arg(table, where),
        binds);
    QList<SyncConflict> conflicts;
    while (query.next()) {
        SyncConflict conflict;
        conflict.id = query.value(0).toLongLong();
        conflict.contact = query.value(1).isNull() ? -1 : query.value(1).toLongLong();
        conflict.uid = query.value(2).toString();
        conflict.at = QDateTime::fromString(query.value(3).toString(), Qt::ISODate);
        conflict.local = recordOf(query.value(4).toString());
        conflict.server = recordOf(query.value(5).toString());
        conflicts << conflict;
    }
    return conflicts;
}

QList<SyncConflict> SyncConflicts::all()
{
    return select(m_db, m_table, {}, {});
}

QList<SyncConflict> SyncConflicts::ofContact(qint64 contact)
{
    return select(m_db, m_table, QStringLiteral(" WHERE contact = ?"), {contact});
}

int SyncConflicts::count()
{
    QSqlQuery query = SqlText::exec(m_db, QStringLiteral("SELECT count(*) FROM %1").arg(m_table));
    return query.next() ? query.value(0).toInt() : 0;
}

void SyncConflicts::resolve(qint64 id)
{
    SqlText::exec(m_db, QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(m_table), {id});
}
