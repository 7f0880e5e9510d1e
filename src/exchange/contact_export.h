#pragma once

#include "platform/io_result.h"

#include <QString>
#include <functional>
#include <optional>

class TTable;

// Export of the whole contact table, in the order of the index in use, to a vCard
// or CSV file that is written whole or not at all.
namespace ContactExport {

enum class Format { VCard4, VCard3, CsvUtf8, CsvWindows1250 };

// The format a file name asks for by its extension: .vcf or .vcard give vCard 4.0,
// .csv gives CSV in UTF-8, and an existing folder vCard 4.0; nullopt for any other name.
std::optional<Format> formatForPath(const QString &path);

struct Result : IoResult
{
    qint64 written = 0; // contacts in the file
};

// Called after each contact with the count written so far and the table's count;
// returning false cancels the export and leaves the file as it was.
using Progress = std::function<bool(qint64 written, qint64 total)>;

// Writes every stored contact, with its further values, UID and kept vCard lines, through
// a cursor of its own, so the table's current record stays where it is. An existing file
// is replaced only once the new one is complete, keeping its mode; a pipe or a device is
// written into as a stream. Into an existing folder vCards go one per file, named by
// the contact's UID, as vCard-folder tools (khard, vdirsyncer) keep them.
[[nodiscard]] Result exportTable(const TTable &contacts, const QString &path, Format format,
                                 const Progress &progress = {});

} // namespace ContactExport
