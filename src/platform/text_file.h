#pragma once

#include "platform/io_result.h"

#include <QString>

// Whole-file text reading and atomic writing with the program's encoding rule.
// Both return a result that the caller must look at; nothing is thrown.
namespace TextFile {

struct [[nodiscard]] ReadResult
{
    bool ok = false;
    bool exists = false;
    QString text;
    QString error; // the system's reason when !ok, in Polish
};

using WriteResult = IoResult;

[[nodiscard]] ReadResult read(const QString &path);
// Why a path that exists cannot be read as a text file (a pipe, a device or a folder
// would block or fail); empty for a regular file or a missing one.
[[nodiscard]] QString irregularFileError(const QString &path);
// Writes to a temporary file beside the target, flushes it to disk and renames
// it over the target, so a failure never leaves a half-written file; the target's
// mode is kept, and a read-only target, a pipe or a device is refused (the reason in
// Polish).
[[nodiscard]] WriteResult writeAtomic(const QString &path, const QString &text);
// The same for text already encoded.
[[nodiscard]] WriteResult writeBytesAtomic(const QString &path, const QByteArray &bytes);

} // namespace TextFile
