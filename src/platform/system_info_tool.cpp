#include "platform/system_info_tool.h"

#include <QProcess>
#include <QStandardPaths>

namespace {
ProgramStarter *&installed()
{
    static ProgramStarter *starter = nullptr;
    return starter;
}
} // namespace

ProgramStarter &ProgramStarter::current()
{
    static DetachedProgramStarter real;
    return installed() ? *installed() : real;
}

void ProgramStarter::install(ProgramStarter *starter)
{
    installed() = starter;
}

bool DetachedProgramStarter::startDetached(const QString &program)
{
    if (program.isEmpty())
        return false;
    return QProcess::startDetached(program, {});
}

namespace SystemInfoTool {

QStringList candidates()
{
    return {QStringLiteral("hardinfo"),
            QStringLiteral("hardinfo2"),
            QStringLiteral("gnome-system-monitor"),
            QStringLiteral("kinfocenter"),
            QStringLiteral("mate-system-monitor"),
            QStringLiteral("xfce4-taskmanager")};
}

QString locate()
{
    for (const QString &name : candidates()) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

} // namespace SystemInfoTool
