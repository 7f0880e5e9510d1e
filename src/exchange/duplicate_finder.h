#pragma once

#include "exchange/contact_record.h"

#include <QHash>
#include <QString>
#include <QStringList>

class TableBatch;

namespace ContactImport {

// A contact's keys for finding its duplicates, by kind.
enum Kind { EmailKey, PhoneKey, NameKey, kKinds };

// The keys of one kind a field's value gives: each e-mail address case-folded, the last
// nine digits of each telephone number, the folded name.
QStringList keysOf(Kind kind, const QString &value);

// The field each kind of key is taken from.
inline constexpr ContactRecord::Field kKeyField[kKinds] = {ContactRecord::Email, ContactRecord::Tel,
                                                           ContactRecord::Nazwa};

// Why a contact is taken for a duplicate, by the kind of key it shares.
inline const char *const kReason[kKinds] = {"ten sam adres e-mail", "ten sam numer telefonu",
                                            "ta sama nazwa"};

// A contact's keys of every kind.
struct Keys
{
    QStringList of[kKinds];

    static Keys from(const ContactRecord &record);
};

// The stored contacts' keys. Only hashes are kept, so a million contacts cost little
// memory; a hit is confirmed against the stored record's own keys.
class DuplicateFinder final
{
public:
    void add(qint64 id, Kind kind, const QString &value);
    void add(qint64 id, const Keys &keys);
    // The stored contact a record with these keys matches, with the kind of match;
    // -1 when none.
    qint64 find(const Keys &keys, TableBatch &batch, const RecordPlaces &places,
                ContactRecord *stored, Kind *matched) const;

private:
    QHash<size_t, qint64> m_ids[kKinds];
};

// A contact needs a name to be found by it: one without takes its e-mail or telephone.
void nameIfNameless(ContactRecord *record);

} // namespace ContactImport
