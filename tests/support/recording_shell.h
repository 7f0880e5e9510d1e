#pragma once

#include "platform/shell_open.h"

#include <QStringList>

// Stands in for the desktop while alive: records every URL handed to the shell
// instead of opening it.
class RecordingShell final : public ShellOpen
{
public:
    RecordingShell();
    ~RecordingShell() override;
    RecordingShell(const RecordingShell &) = delete;
    RecordingShell &operator=(const RecordingShell &) = delete;

    bool openUrl(const QString &url) override;
    bool hasHandler(const QString &scheme) override { return handled.contains(scheme); }

    QStringList urls;
    // Whether the desktop takes the URLs handed over; false stands for a failing one.
    bool accepts = true;
    // The schemes the desktop has a handler for; a test clears it for none.
    QStringList handled{QStringLiteral("tel")};
    // The last URL handed over; empty when none was.
    QString last() const { return urls.isEmpty() ? QString() : urls.last(); }
};
