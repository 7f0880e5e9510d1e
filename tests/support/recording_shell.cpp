#include "support/recording_shell.h"

RecordingShell::RecordingShell()
{
    ShellOpen::install(this);
}

RecordingShell::~RecordingShell()
{
    ShellOpen::install(nullptr);
}

bool RecordingShell::openUrl(const QString &url)
{
    urls << url;
    return accepts;
}
