#pragma once

#include "platform/system_info_tool.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QStringList>
#include <QWidget>

// Records the programs that would be started, instead of starting them.
class RecordingStarter final : public ProgramStarter
{
public:
    RecordingStarter() { ProgramStarter::install(this); }
    ~RecordingStarter() override { ProgramStarter::install(nullptr); }
    RecordingStarter(const RecordingStarter &) = delete;
    RecordingStarter &operator=(const RecordingStarter &) = delete;

    bool startDetached(const QString &program) override
    {
        started.append(program);
        return true;
    }

    QStringList started;
};

// Replaces PATH for its lifetime.
class ScopedPath final
{
public:
    explicit ScopedPath(const QString &path) : m_saved(qgetenv("PATH"))
    {
        qputenv("PATH", path.toLocal8Bit());
    }
    ~ScopedPath() { qputenv("PATH", m_saved); }
    ScopedPath(const ScopedPath &) = delete;
    ScopedPath &operator=(const ScopedPath &) = delete;

private:
    QByteArray m_saved;
};

// Writes an executable shell script; returns its path.
inline QString writeScript(const QString &folder, const QString &name, const QByteArray &body)
{
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// Saves a picture of the widget when KARTAX_SCREENSHOTS names a folder.
inline void saveScreenshot(QWidget *widget, const QString &name)
{
    const QString folder = qEnvironmentVariable("KARTAX_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    widget->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}
