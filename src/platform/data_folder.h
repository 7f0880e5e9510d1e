#pragma once

#include "platform/errors.h"

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
// copy's data folder and the file exists there; empty when no other folder is
// recorded. Throws MissingDataFolder when the recorded folder no longer holds it
// (removed or moved), so that no empty file is made in its place unasked.
QString earlierFile(const QString &fileName);
// Records `folder` as the one that holds the data (the user found the book there);
// an empty folder forgets the record, so this copy's own data folder is used.
void recordFolder(const QString &folder);
// Removes what interrupted runs left in the data folder: "<name>.db.new-<pid>"
// files (and their journals) whose process no longer runs. Returns the files that
// could not be removed, each with its reason.
QStringList removeStaleTemporaries();
// Replaces the rule with a fixed folder (tests and tools); an empty path restores it.
void setOverride(const QString &folder);

} // namespace DataFolder

// The folder recorded in the settings as the one that holds the data is gone, or no
// longer holds the file asked for.
class MissingDataFolder final : public KaxError
{
public:
    MissingDataFolder(const QString &folder, const QString &fileName);
    QString folder() const { return m_folder; }
    QString fileName() const { return m_fileName; }

private:
    QString m_folder;
    QString m_fileName;
};
