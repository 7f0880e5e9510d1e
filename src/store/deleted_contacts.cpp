#include "store/deleted_contacts.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "store/contact_json.h"
#include "store/contact_schema.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"
#include "store/table_batch.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

using SqlText::quoted;

// Times as stored: UTC to the millisecond, so that their text sorts as they do.
QString storedTime(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace

DeletedContacts::DeletedContacts(const QSqlDatabase &db, const QString &table)
    : DeletedContacts(db, table, ContactSchema::fieldNames())
{
}

DeletedContacts::DeletedContacts(const QSqlDatabase &db, const QString &table,
                                 const QStringList &fields)
    : m_db(db), m_table(table), m_fields(fields)
{
}

DeletedContacts::~DeletedContacts() = default;

QString DeletedContacts::tableName(const QString &table)
{
    return table + QStringLiteral("_deleted");
}

QSqlQuery DeletedContacts::run(const QString &sql, const QVariantList &binds)
{
    return SqlText::exec(m_db, sql, binds);
}

void DeletedContacts::ensure()
{
    if (m_ensured)
        return;
    // Asked first: a server tells of every table that is already there.
    if (!m_db.tables().contains(tableName(m_table))) {
        // "id" numbers the entries as the contacts are numbered; the same contact may be
        // deleted, brought back and deleted again.
        run(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2, contact BIGINT NOT NULL, "
                           "deleted_at TEXT NOT NULL, vals TEXT NOT NULL, details TEXT NOT NULL, "
                           "uid TEXT, rev TEXT, kept TEXT)")
                .arg(quoted(tableName(m_table)), SqlEngine::of(m_db).idColumn()));
        run(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (deleted_at)")
                .arg(quoted(tableName(m_table) + QStringLiteral("_at")),
                     quoted(tableName(m_table))));
    }
    m_ensured = true;
}

QSqlQuery &DeletedContacts::prepared(std::unique_ptr<QSqlQuery> &slot, const QString &sql,
                                     const QVariantList &binds)
{
    if (!slot) {
        slot = std::make_unique<QSqlQuery>(m_db);
        slot->setForwardOnly(true);
        if (!slot->prepare(sql)) {
            const QString message = SqlText::engineMessage(slot->lastError());
            slot.reset();
            throw DatabaseError(message);
        }
    }
    for (int i = 0; i < binds.size(); ++i)
        slot->bindValue(i, binds[i]);
    if (!slot->exec())
        throw DatabaseError(SqlText::engineMessage(slot->lastError()));
    return *slot;
}

void DeletedContacts::keep(qint64 id)
{
    ensure();
    QStringList columns;
    for (const QString &field : std::as_const(m_fields))
        columns << quoted(field);
    // Prepared once: an undone import keeps many.
    QSqlQuery &select = prepared(m_select,
                                 QStringLiteral("SELECT %1 FROM %2 WHERE id = ?")
                                     .arg(columns.join(QStringLiteral(", ")), quoted(m_table)),
                                 {id});
    if (!select.next()) {
        select.finish();
        return; // nothing to delete either
    }
    QStringList values;
    for (int i = 0; i < m_fields.size(); ++i)
        values << select.value(i).toString(); // a NULL stays a null string
    select.finish();
    if (!m_details)
        m_details = std::make_unique<DetailStore>(m_db, m_table);
    const ContactExtras extras = m_details->read(id);
    const auto text = [](const QString &value) {
        return value.isEmpty() ? QVariant() : QVariant(value);
    };
    prepared(m_insert,
             QStringLiteral("INSERT INTO %1 (contact, deleted_at, vals, details, uid, rev, kept) "
                            "VALUES (?, ?, ?, ?, ?, ?, ?)")
                 .arg(quoted(tableName(m_table))),
             {id, storedTime(Clock::now()), ContactJson::valuesText(m_fields, values),
              ContactJson::detailsText(extras.details), text(extras.uid), text(extras.revision),
              text(extras.kept)})
        .finish();
}

QList<DeletedContact> DeletedContacts::select(const QString &where, const QVariantList &binds)
{
    ensure();
    QSqlQuery query = run(QStringLiteral("SELECT id, contact, deleted_at, vals, details, uid, rev, "
                                         "kept FROM %1 %2 ORDER BY deleted_at DESC, id DESC")
                              .arg(quoted(tableName(m_table)), where),
                          binds);
    QList<DeletedContact> found;
    while (query.next()) {
        DeletedContact contact;
        contact.entry = query.value(0).toLongLong();
        contact.id = query.value(1).toLongLong();
        contact.deletedAt =
            QDateTime::fromString(query.value(2).toString(), Qt::ISODateWithMs).toUTC();
        contact.values = ContactJson::valuesOf(m_fields, query.value(3).toString());
        contact.extras.details = ContactJson::detailsOf(query.value(4).toString());
        contact.extras.uid = query.value(5).toString();
        contact.extras.revision = query.value(6).toString();
        contact.extras.kept = query.value(7).toString();
        found << contact;
    }
    if (query.lastError().isValid())
        throw DatabaseError(SqlText::engineMessage(query.lastError()));
    return found;
}

QList<DeletedContact> DeletedContacts::list()
{
    return select(QString(), {});
}

qint64 DeletedContacts::bringBack(TableBatch &batch, qint64 id)
{
    const QList<DeletedContact> entries = select(QStringLiteral("WHERE contact = ?"), {id});
    if (entries.isEmpty())
        throw DatabaseError(
            QStringLiteral("Wśród usuniętych kontaktów nie ma kontaktu o numerze %1.").arg(id));
    DeletedContact contact = entries.first(); // the latest deleted with this id
    // A contact that meanwhile took the UID (the sync may have brought it anew) keeps
    // it; the one brought back gets a UID of its own.
    const qint64 uidHolder = batch.detailStore().idOfUid(contact.extras.uid);
    if (uidHolder >= 0 && uidHolder != id)
        contact.extras.uid.clear();
    qint64 broughtBack = id;
    if (!batch.values(id).isEmpty()) {
        // Another contact took the id (an SQLite file gives the highest id anew): it
        // stays, and this one comes back under a new id.
        broughtBack = batch.insert(batch.prepare(contact.values, contact.extras));
    } else {
        batch.restore(id, contact.values, contact.extras);
    }
    run(QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(quoted(tableName(m_table))),
        {contact.entry});
    return broughtBack;
}

void DeletedContacts::purge(const QDateTime &before)
{
    ensure();
    run(QStringLiteral("DELETE FROM %1 WHERE deleted_at < ?").arg(quoted(tableName(m_table))),
        {storedTime(before)});
}
