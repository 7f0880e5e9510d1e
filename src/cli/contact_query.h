#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QTextStream;
class TTable;
struct ContactDetail;
struct ContactMatch;

// The answer to a mail client's address-book query (the query_command of mutt, neomutt
// and aerc): a status line, then one line per e-mail address, "address<TAB>person<TAB>
// name" where a person is known, else "address<TAB>name<TAB>town". Contacts are looked
// up by name, representative and e-mail (further addresses and persons included)
// through the search index, without regard to case or Polish letters.
namespace ContactQuery {

// Contacts listed at most for one query.
inline constexpr int kLimit = 200;

// The lines of one contact: one per address of its Email field (addresses separated by
// ',' or ';'), with its representative as the person, then one per further e-mail
// address, with the address's label as the person when it has one; each address once,
// none without an address.
QStringList addressLines(const ContactMatch &match, const QList<ContactDetail> &details = {});

// Looks up text in the table and writes the answer to out. Returns how many contacts
// it lists. A search that fails writes its message as the status line, then raises
// KaxError with it.
int write(TTable &table, const QString &text, QTextStream &out);

// The status line of a query that failed: "Kartax2000: " and the message on one line,
// for a client that shows only that line.
void writeFailure(const QString &message, QTextStream &out);

} // namespace ContactQuery
