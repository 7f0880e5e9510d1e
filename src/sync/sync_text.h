#pragma once

#include "exchange/contact_record.h"

#include <QByteArray>
#include <QString>

// How the sync compares, merges and names cards.
namespace SyncText {

// A contact as a server gives it back: read from this program's own vCard 3.0 of it, which
// puts a further value where the reader takes it (a lone further address into the address
// fields). Compared and merged so, a contact equals the card made of it.
ContactRecord asServerGives(const ContactRecord &record);
// A contact as the sync compares it: this program's vCard of it as the server gives it back,
// without its revision, with further values grouped by kind and kept lines in order, so
// that a server that reorders properties changes nothing.
QByteArray key(const ContactRecord &record);
// The same of the record as it is, not read back first: for a record that is already as the
// server gives it, the same key at less cost.
QByteArray plainKey(ContactRecord record);
// The first card of a vCard text; `ok` false when there is none.
ContactRecord parse(const QByteArray &card, bool *ok);
// Whether two ETags name the same version: quotes and a weak prefix aside.
bool sameEtag(const QByteArray &a, const QByteArray &b);
// The name of a new card on the server: its UID where it is safe in an address.
QString fileName(const QString &uid);
// The program's and the server's versions merged against the version both had (none on a
// first sync): per field, per kind of further value and per kept line, a value changed on
// one side only takes that side; where both changed it differently the server's is taken
// and `conflict` set.
ContactRecord merge(const ContactRecord *base, const ContactRecord &local,
                    const ContactRecord &server, bool *conflict);

} // namespace SyncText
