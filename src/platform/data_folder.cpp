#include "platform/data_folder.h"

#include "platform/errors.h"
#include "platform/settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif

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

// Whether the process of that id may still run; unknown counts as running.
bool processRuns(qint64 pid)
{
#ifdef Q_OS_UNIX
    return pid <= 0 || ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
#else
    Q_UNUSED(pid);
    return true;
#endif
}

} // namespace

MissingDataFolder::MissingDataFolder(const QString &folder, const QString &fileName)
    : KaxError(QFileInfo(folder).isDir()
                   ? QStringLiteral("W folderze %1, który ustawienia programu (klucz Kax, "
                                    "wartość Folder) wskazują jako folder danych, nie ma już "
                                    "pliku %2.")
                         .arg(QDir::toNativeSeparators(folder), fileName)
                   : QStringLiteral("Nie ma folderu %1, który ustawienia programu (klucz Kax, "
                                    "wartość Folder) wskazują jako folder danych z plikiem %2: "
                                    "folder usunięto lub przeniesiono.")
                         .arg(QDir::toNativeSeparators(folder), fileName)),
      m_folder(folder), m_fileName(fileName)
{
}

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
    if (!QFileInfo(file).isFile())
        throw MissingDataFolder(folder, fileName);
    return file;
}

void recordFolder(const QString &folder)
{
    SettingsStore settings;
    if (!settings.openKey(QStringLiteral("\\") + kSettingsKey, true))
        throw SettingsError(QStringLiteral("Failed to set data for '%1'").arg(kFolderValue));
    settings.writeString(kFolderValue, folder.isEmpty() ? QString() : QDir::cleanPath(folder));
}

QStringList removeStaleTemporaries()
{
    static const QRegularExpression stale(
        QStringLiteral("^.+\\.db\\.new-(\\d+)(-journal|-wal|-shm)?$"));
    QStringList failures;
    const QDir folder(path());
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch match = stale.match(name);
        if (!match.hasMatch() || processRuns(match.captured(1).toLongLong()))
            continue;
        QFile file(folder.filePath(name));
        if (!file.remove())
            failures << QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
    }
    return failures;
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
