#pragma once

#include <QString>

// The folder that holds the program's data files (history, favourites, default
// database): the executable's folder when it is writable and not an installed
// program's bin/ (beside share/kartax2000), as a portable install always was,
// otherwise $XDG_DATA_HOME/Kartax2000.
namespace DataFolder {

QString path();
QString filePath(const QString &fileName);
// The installed program's shared files (share/kartax2000 beside its bin/ and
// libexec/); empty when the program runs from a folder of its own.
QString sharedFolder();
// Records a portable copy's folder in the settings (Kax, value Folder), so that an
// installed copy started later can find the data left there. Does nothing for an
// installed copy or under an override.
void rememberPortable();
// The file of that name in the folder a portable copy recorded, when it is not this
// copy's data folder and the file exists there; empty otherwise.
QString earlierFile(const QString &fileName);
// Replaces the rule with a fixed folder (tests and tools); an empty path restores it.
void setOverride(const QString &folder);

} // namespace DataFolder
