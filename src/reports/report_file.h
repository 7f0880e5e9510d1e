#pragma once

#include "platform/io_result.h"

#include <QString>
#include <memory>

class PreparedPages;

// The report file (*.KRP): prepared pages saved from the preview and loaded back.
// A versioned binary format: a header with the format version, the title and the
// styles, each protected by a checksum, then the pages, each behind its length and
// checksum, in the form the page spool uses.
namespace ReportFile {

inline constexpr char kExtension[] = "KRP";
inline constexpr quint16 kFormatVersion = 1;

// Writes every page to the file, replacing it only when complete. Not ok, with a
// message for the user, when it cannot be written.
[[nodiscard]] IoResult save(const PreparedPages &pages, const QString &path);

// The pages read from a report file, or why they could not be read.
struct [[nodiscard]] LoadResult
{
    std::unique_ptr<PreparedPages> pages; // null when the file could not be loaded
    QString error;                        // a message for the user when pages is null
};

// Reads a report file into a new set of pages. A file that is not a report file,
// was written by a newer version, is cut short or damaged gives no pages and a
// message for the user; nothing is allocated beyond what the file's size allows.
[[nodiscard]] LoadResult load(const QString &path);

} // namespace ReportFile
