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

// Writes the text with CR LF for every line break ('\n', and the paragraph and line
// separators of a text document) atomically: a failure leaves the old file whole.
[[nodiscard]] TextFile::WriteResult save(const QString &path, const QString &text);

} // namespace HistoryFile
