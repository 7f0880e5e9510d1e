#pragma once

#include "platform/text_file.h"

#include <QString>
#include <functional>

// The history file Historia.kax in the data folder: the history window's text,
// lines separated by CR LF, in the program's text encoding.
namespace HistoryFile {

QString path();

// Reads the file and hands its text to `sink` in pieces, in order, with '\n' for
// every line break (a lone CR and a lone LF count as one break each, like CR LF).
// Reading in pieces keeps a history of many MB from passing through whole-file
// copies. On failure some pieces may have been handed over already.
[[nodiscard]] TextFile::ReadResult load(const QString &path,
                                        const std::function<void(const QString &)> &sink);

// The whole file as one text, with '\n' for every line break; a missing file is
// not ok and not `exists`.
[[nodiscard]] TextFile::ReadResult read(const QString &path);

// `tail` after `base`, both with '\n' breaks, as lines of a log: a break goes
// between them where neither has one, and one of two meeting breaks is dropped.
QString appendLines(const QString &base, const QString &tail);

// Writes the text with CR LF for every line break ('\n', and the paragraph and line
// separators of a text document) atomically: a failure leaves the old file whole.
[[nodiscard]] TextFile::WriteResult save(const QString &path, const QString &text);

} // namespace HistoryFile
