#pragma once

#include <QString>

// The folder that holds the program's data files (history, favourites, default
// database): the executable's folder when it is writable, as a portable install
// always was, otherwise $XDG_DATA_HOME/Kartax2000.
namespace DataFolder {

QString path();
QString filePath(const QString &fileName);
// Replaces the rule with a fixed folder (tests and tools); an empty path restores it.
void setOverride(const QString &folder);

} // namespace DataFolder
