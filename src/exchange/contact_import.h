#pragma once

#include "exchange/contact_record.h"
#include "exchange/csv.h"
#include "platform/io_result.h"

#include <QString>
#include <QVector>
#include <functional>
#include <optional>

class TTable;

// Import of a vCard or CSV file, or of another Kartax2000 database, into the contact
// table with each contact's further values, UID and kept vCard lines, all in one
// transaction: a cancel or an error anywhere leaves the table as it was. A contact that
// is one already stored (or imported earlier from the same file), by its UID or by its
// name in its town with its street or telephone (see DuplicateFinder), is put to a
// question: skip, fill the stored one's empty fields and add its other values, or add
// anyway.
namespace ContactImport {

enum class Format { VCard, Csv, Database };

// The format of a file: from its extension (.vcf, .vcard, .csv, .db), else from its
// first bytes (an SQLite database begins with "SQLite format 3", a vCard with
// BEGIN:VCARD, in UTF-8 or UTF-16); nullopt, with the reason in `error`, when the file
// cannot be read. Only a regular file is read: a pipe or a device may never end.
std::optional<Format> formatOf(const QString &path, QString *error = nullptr);

// UpdateEmpty fills the stored contact's empty fields; an incoming value that differs from
// a stored field's (telephone, fax, e-mail, web address, representative, an address on
// another street) and incoming further values it lacks become further values of it.
// Add gives a contact whose UID another has a UID of its own.
enum class Choice { Skip, UpdateEmpty, Add };

// An incoming contact and the stored one it matches.
struct Duplicate
{
    ContactRecord incoming;
    ContactRecord stored;
    QString reason; // "ten sam identyfikator UID", "ta sama nazwa i miejscowość"…
};

struct Decision
{
    Choice choice = Choice::Skip;
    bool forAllTheRest = false; // the same choice for every later duplicate, unasked
};

struct Options
{
    Format format = Format::VCard;
    CsvEncoding encoding = CsvEncoding::Detect; // CSV only
    CsvMapping mapping;                         // CSV only: per column; empty = guessed
    // Asked for each duplicate; without it duplicates are skipped.
    std::function<Decision(const Duplicate &)> askDuplicate;
    // Called now and then with the contacts read so far and how much of the file
    // was read, in per cent; returning false cancels the import.
    std::function<bool(qint64 contacts, int percent)> progress;
};

struct Result : IoResult
{
    qint64 added = 0;
    qint64 updated = 0;
    qint64 skipped = 0;     // duplicates skipped, blank contacts, and cards the reader
                            // could not use
    qint64 blank = 0;       // of the skipped: contacts without a value in any field
    qint64 firstId = -1;    // the first contact added or updated, or -1
    bool cancelled = false; // error then says that nothing was imported
    // What the reader had to say beside the counts, a sentence each: columns of a CSV
    // file kept as further values under their header, what a card held beyond 1 MB.
    QStringList notices;

    // "Dodano N, zaktualizowano M, pominięto K", and ", w tym pustych B" when some were
    // blank.
    QString summary() const;
};

// Imports the file and, when anything was added or updated, moves the table to the
// first such contact so that every window shows it. An edit open in the table is
// posted first. A vCard or CSV contact without any value is passed over and counted as
// skipped. Only a regular file is read, and of a database only a table of stored rows;
// while the file is read, `progress` is called at least ten times a second.
[[nodiscard]] Result importFile(TTable &contacts, const QString &path, const Options &options);

// The key under which names are compared: case, Polish letters and other marks, and
// runs of blanks ignored ("Łódź  Sp." and "lodz sp." give the same key).
QString foldedName(const QString &name);

} // namespace ContactImport
