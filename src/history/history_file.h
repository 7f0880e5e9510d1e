#pragma once

#include "platform/text_file.h"

#include <QString>

// The history file Historia.kax in the data folder: the history window's text,
// lines separated by CR LF, in the program's text encoding.
namespace HistoryFile {

QString path();

// Reads the file; the text comes back with '\n' for every line break, a lone CR
// and a lone LF counting as one break each, like CR LF.
TextFile::ReadResult load(const QString &path);

// Writes the text with CR LF for every line break ('\n', and the paragraph and line
// separators of a text document) atomically: a failure leaves the old file whole.
TextFile::WriteResult save(const QString &path, const QString &text);

} // namespace HistoryFile
