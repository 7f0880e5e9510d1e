#pragma once

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include "store/contact_details.h"

class TableBatch;

// A contact as it was deleted, with its further values and card.
struct DeletedContact
{
    qint64 id = -1;
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
    DeletedContacts(const QSqlDatabase &db, const QString &table);

    static QString tableName(const QString &table);
    // Creates the table when missing.
    void ensure();
    // Keeps the stored contact with this id, within the caller's transaction: called
    // before the statement that deletes it.
    void keep(qint64 id);
    // The deleted contacts, newest first.
    QList<DeletedContact> list();
    // Brings the contact back with its id through the batch, and drops it from here.
    void bringBack(TableBatch &batch, qint64 id);
    // Drops what was deleted before `before`.
    void purge(const QDateTime &before);

private:
    QSqlDatabase m_db;
    QString m_table;
};
