#pragma once

#include <QString>
#include <QStringList>

class QTextStream;
class TTable;
struct ContactMatch;

// The answer to a mail client's address-book query (the query_command of mutt, neomutt
// and aerc): a status line, then one line per e-mail address, "address<TAB>name<TAB>
// representative, town". Contacts are looked up by name, representative and e-mail
// through the search index, without regard to case or Polish letters.
namespace ContactQuery {

// Contacts listed at most for one query.
inline constexpr int kLimit = 200;

// The lines of one contact: one per address of its Email field (addresses separated by
// ',' or ';'); none without an address.
QStringList addressLines(const ContactMatch &match);

// Looks up text in the table and writes the answer to out. Returns how many contacts
// it lists. A search that fails writes its message as the status line, then raises
// KaxError with it.
int write(TTable &table, const QString &text, QTextStream &out);

// The status line of a query that failed: "Kartax2000: " and the message on one line,
// for a client that shows only that line.
void writeFailure(const QString &message, QTextStream &out);

} // namespace ContactQuery
