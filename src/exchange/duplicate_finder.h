#pragma once

#include "exchange/contact_record.h"

#include <QHash>
#include <QMultiHash>
#include <QString>
#include <QStringList>

class TableBatch;

namespace ContactImport {

// Why an incoming contact is taken for a stored one.
enum class Match {
    None,
    Uid,      // the same UID
    Street,   // the same name and town, and the same street
    Phone,    // the same name and town, and a telephone number both have
    NameTown, // the same name and town, with nothing else to tell them apart
};

// The reason the import's question gives: "ten sam identyfikator UID", "ta sama nazwa i
// miejscowość"…
QString reasonOf(Match match);

// The last nine digits of each telephone number in a field's value (numbers separated
// by ',', ';' or '/'): a number with and without +48 is the same number.
QStringList phoneKeys(const QString &value);
// The key under which streets are compared: folded like names, punctuation ignored and a
// leading "ul." dropped ("ul. Długa 1" and "DLUGA 1" give the same key).
QString streetKey(const QString &street);

// What a contact is compared by: its UID, its folded name in its folded town, its street
// and its telephone numbers (of the Tel field and of its further telephones).
struct Keys
{
    QString uid;
    QString nameTown; // empty for a contact without a name
    QString street;
    QStringList phones;

    static Keys from(const ContactRecord &record);
};

// Whether two contacts are the same one. The same UID makes them so; otherwise they need
// the same name in the same town (no town on either side counts as the same), and then
// the same street or a shared telephone number where both sides have one to compare;
// where neither can be compared, the name and town decide. An e-mail address alone
// makes no duplicate: a firm's branches share their head office's.
Match compare(const Keys &incoming, const Keys &stored);

// The stored contacts, for finding an incoming one among them. Only hashes are kept
// (of the UID, of the name with the town, and of the street), so a million contacts
// cost little memory; a hit is confirmed against the stored record and its further
// values, read from the table.
class DuplicateFinder final
{
public:
    // Takes in the stored contacts of the batch's table, their UIDs included.
    void addStored(TableBatch &batch);
    void add(qint64 id, const Keys &keys);
    void addUid(qint64 id, const QString &uid);

    // The stored contact a record with these keys matches, with its values and extras
    // and how it matches; -1 when none.
    qint64 find(const Keys &keys, TableBatch &batch, const RecordPlaces &places,
                ContactRecord *stored, Match *matched) const;
    // Whether a stored contact has this UID (the table keeps each UID once).
    bool uidTaken(const QString &uid, TableBatch &batch) const;

private:
    struct Named
    {
        qint64 id = -1;
        quint32 street = 0; // a hash of the street key; 0 without a street
        // A bit for each of its telephone keys (phoneBits()); all bits when they are not
        // all known, 0 without a telephone.
        quint64 phones = 0;
    };
    void addNamed(qint64 id, const QString &nameTown, const QString &street, quint64 phones);

    QHash<size_t, qint64> m_uids;
    QMultiHash<size_t, Named> m_names;
};

// A contact needs a name to be found by it: one without takes its e-mail or telephone.
void nameIfNameless(ContactRecord *record);

} // namespace ContactImport
