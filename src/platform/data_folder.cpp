#include "platform/data_folder.h"

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
} // namespace

namespace DataFolder {

QString path()
{
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty() && QFileInfo(exeDir).isWritable())
        return exeDir;
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
