#pragma once

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include "exchange/contact_record.h"

// A contact changed on both sides since the last sync: the server's version went to the
// contact, the local one is kept here until the user chooses.
struct SyncConflict
{
    qint64 id = -1;      // of the conflict copy
    qint64 contact = -1; // the contact it belongs to (-1 when the contact is gone)
    QString uid;
    QDateTime at;         // when the sync kept it, UTC
    ContactRecord local;  // the version the program had
    ContactRecord server; // the version the server had, now on the contact
};

// The conflict copies of a contact table, kept in "<table>_conflict" beside it. Failures
// raise DatabaseError with the engine's message.
class SyncConflicts final
{
public:
    SyncConflicts(const QSqlDatabase &db, const QString &table);

    // Creates the table when missing.
    void ensure();
    // Keeps a copy; returns its id.
    qint64 add(qint64 contact, const QString &uid, const ContactRecord &local,
               const ContactRecord &server);
    QList<SyncConflict> all();
    QList<SyncConflict> ofContact(qint64 contact);
    int count();
    // The user chose: the copy is dropped (what they chose has been written to the
    // contact by then, which the next sync sends).
    void resolve(qint64 id);

private:
    QSqlDatabase m_db;
    QString m_name;
    QString m_table; // quoted
};
