#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

class DatabaseAlias;
class TTable;

// Backups of the contact book: consistent copies in the folder "Kopie", named by the
// time they were made ("Kartax2000-2026-12-09-0815.db") and thinned out by a rotation.
// Failures raise DatabaseError with the reason in Polish.
namespace BookBackup {

// One automatic copy in the folder.
struct Copy
{
    QString path;
    QDateTime time; // local time, read from the name
    qint64 size = 0;
};

// The name of an automatic copy made at this local time.
QString fileName(const QDateTime &time);
// The time an automatic copy's name reads; invalid for any other file name.
QDateTime timeOfName(const QString &fileName);

// Where the book of an open table lies, for a connection of the backup's own.
DatabaseAlias bookOf(const TTable &table);
// The folder of automatic copies: the settings value Kax\Kopie, Folder when set,
// otherwise "Kopie" beside the database file (for a server book, in the data folder).
QString folder(const DatabaseAlias &book);
// Stores the folder chosen in the settings; an empty one restores the default.
void setFolder(const QString &folder);

// The automatic copies in a folder, newest first.
QList<Copy> list(const QString &folder);
// The copies the rotation drops at `now`: it keeps every copy of the last 7 days, the
// newest of each of the last 5 weeks and the newest of each of the last 12 months, and
// never the newest copy.
QStringList toDrop(const QList<Copy> &copies, const QDateTime &now);

// Writes a consistent copy of the book's contact table `table` to `target`, on a
// connection of its own (any thread): a file through SQLite's online backup, a server
// book's contacts with their further values into a new Kartax2000 file. The copy is
// checked with PRAGMA integrity_check before it is renamed into place, so `target`
// is either a good copy or untouched. `progress` hears per cent; false cancels.
void write(const DatabaseAlias &book, const QString &table, const QString &target,
           const std::function<bool(int percent)> &progress = {});
// Writes an automatic copy into the book's folder, named by the clock, then drops what
// the rotation drops. Returns the copy made.
Copy makeAutomatic(const DatabaseAlias &book, const QString &table,
                   const std::function<bool(int percent)> &progress = {});
// The same for the book of an open table, before a bulk change (an import, a restore,
// a first sync).
Copy makeBeforeChange(const TTable &table, const std::function<bool(int percent)> &progress = {});

// Raises DatabaseError unless `path` is a readable, undamaged Kartax2000 book holding
// the contact table `table` with its fields.
void verifyBook(const QString &path, const QString &table);
// The number of contacts in a copy.
qint64 contactCount(const QString &path, const QString &table);

// Tests: limits the pages of the copies written from now on (0: no limit), as a full
// disk does.
void setPageLimitForTests(int pages);

} // namespace BookBackup
