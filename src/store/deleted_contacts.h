#pragma once

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <memory>

#include "store/contact_details.h"

class DetailStore;
class QSqlQuery;
class TableBatch;

// A contact as it was deleted, with its further values and card.
struct DeletedContact
{
    qint64 entry = -1;   // its number here
    qint64 id = -1;      // the contact's
    QDateTime deletedAt; // UTC
    QStringList values;  // in the table's field order
    ContactExtras extras;
};

// The deleted contacts "<table>_deleted": every contact deleted by this program (the
// navigator, the sync, an undone import) is kept there, whole, for at least 30 days,
// and can be brought back with its id. Failures raise DatabaseError.
class DeletedContacts final
{
public:
    // `fields` are the table's fields in its order (TTable::fieldNames()); without them,
    // the thirteen fields of a table as the program makes it.
    DeletedContacts(const QSqlDatabase &db, const QString &table);
    DeletedContacts(const QSqlDatabase &db, const QString &table, const QStringList &fields);
    ~DeletedContacts();
    DeletedContacts(const DeletedContacts &) = delete;
    DeletedContacts &operator=(const DeletedContacts &) = delete;

    static QString tableName(const QString &table);
    // Creates the table when missing.
    void ensure();
    // Keeps the stored contact with this id, within the caller's transaction: called
    // before the statement that deletes it.
    void keep(qint64 id);
    // The deleted contacts, newest first.
    QList<DeletedContact> list();
    // Brings the contact back with its id through the batch, and drops it from here; when
    // another contact has taken the id meanwhile, it stays and this one comes back under
    // a new id. Returns the id it came back under.
    qint64 bringBack(TableBatch &batch, qint64 id);
    // Drops what was deleted before `before`.
    void purge(const QDateTime &before);

    // How long deleted contacts are kept at least: older ones go when a table opens.
    static constexpr int kKeptDays = 30;

private:
    QSqlQuery run(const QString &sql, const QVariantList &binds = {});
    QList<DeletedContact> select(const QString &where, const QVariantList &binds);
    QSqlQuery &prepared(std::unique_ptr<QSqlQuery> &slot, const QString &sql,
                        const QVariantList &binds);

    QSqlDatabase m_db;
    QString m_table;
    QStringList m_fields;
    bool m_ensured = false;
    std::unique_ptr<DetailStore> m_details;
    std::unique_ptr<QSqlQuery> m_select, m_insert; // keep()'s
};
