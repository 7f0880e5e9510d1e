#pragma once

#include <QList>
#include <QString>
#include <functional>

class TTable;

// A backup compared with the book of today, and contacts or the whole book brought back
// from it. Failures raise DatabaseError with the reason in Polish; a restore runs in one
// transaction, so it is whole or not at all.
namespace BookRestore {

// One field that differs: its name, the copy's value and today's.
struct FieldChange
{
    QString field;
    QString then;
    QString now;
};

// A contact that differs between the copy and today.
struct ContactChange
{
    enum Kind { Added, Deleted, Changed }; // since the copy was made
    Kind kind = Changed;
    qint64 id = -1;
    QString name;              // as it reads today, or in the copy when deleted
    QList<FieldChange> fields; // Changed: the fields and further values that differ
};

struct Comparison
{
    QList<ContactChange> changes; // in id order
    qint64 copyContacts = 0;
    qint64 todayContacts = 0;
    bool cancelled = false;
};

// What differs between a copy and the open table, contact by contact and field by field,
// further values included. `progress` hears per cent; false cancels.
Comparison compare(TTable &today, const QString &copyPath,
                   const std::function<bool(int percent)> &progress = {});

// Brings back the contacts with these ids as the copy holds them, with their ids and
// further values (under a new id when another contact took its id meanwhile); one the
// copy lacks is deleted (kept among the deleted contacts).
void restoreContacts(TTable &today, const QString &copyPath, const QList<qint64> &ids);
// Brings back the whole book: afterwards the table holds exactly the copy's contacts.
// The caller keeps a copy of today's book first.
void restoreAll(TTable &today, const QString &copyPath,
                const std::function<bool(int percent)> &progress = {});

} // namespace BookRestore
