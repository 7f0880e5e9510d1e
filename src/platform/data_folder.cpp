#include "platform/data_folder.h"

#include "platform/errors.h"
#include "platform/settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString &overrideFolder()
{
    static QString folder;
    return folder;
}

const QString kSettingsKey = QStringLiteral("Kax");
const QString kFolderValue = QStringLiteral("Folder");

QString portableFolder()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (exeDir.isEmpty() || !QFileInfo(exeDir).isWritable() ||
        !DataFolder::sharedFolder().isEmpty())
        return {};
    return exeDir;
}

} // namespace

namespace DataFolder {

QString sharedFolder()
{
    // Installed, the command is in bin/ and the window program in libexec/kartax2000/.
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QFileInfo exe(exeDir);
    QString up;
    if (exe.fileName() == u"bin")
        up = QStringLiteral("/..");
    else if (exe.fileName() == u"kartax2000" && QFileInfo(exe.path()).fileName() == u"libexec")
        up = QStringLiteral("/../..");
    if (exeDir.isEmpty() || up.isEmpty())
        return {};
    const QString shared = QDir::cleanPath(exeDir + up + QStringLiteral("/share/kartax2000"));
    return QFileInfo(shared).isDir() ? shared : QString();
}

void rememberPortable()
{
    if (!overrideFolder().isEmpty())
        return;
    const QString folder = portableFolder();
    if (folder.isEmpty())
        return;
    SettingsStore settings;
    if (!settings.openKey(QStringLiteral("\\") + kSettingsKey, true))
        return;
    if (settings.readString(kFolderValue) != folder)
        settings.writeString(kFolderValue, folder);
}

QString earlierFile(const QString &fileName)
{
    if (!overrideFolder().isEmpty())
        return {};
    SettingsStore settings;
    QString folder;
    try {
        if (settings.openKey(kSettingsKey, false))
            folder = settings.readString(kFolderValue);
    } catch (const KaxError &) {
        return {}; // a value of another type records no folder
    }
    if (folder.isEmpty() || QDir(folder) == QDir(path()))
        return {};
    const QString file = QDir(folder).filePath(fileName);
    return QFileInfo(file).isFile() ? file : QString();
}

QString path()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    if (const QString portable = portableFolder(); !portable.isEmpty())
        return portable;
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                            QStringLiteral("/Kartax2000");
    QDir().mkpath(dataDir);
    return dataDir;
}

QString filePath(const QString &fileName)
{
    return QDir(path()).filePath(fileName);
}

void setOverride(const QString &folder)
{
    overrideFolder() = folder;
}

} // namespace DataFolder
