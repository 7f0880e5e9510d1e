#include "messaging/web_command.h"

#include "history/history_line.h"
#include "platform/shell_open.h"

void webCommand(const QString &http, const HistoryAppender &history)
{
    ShellOpen::openWebAddress(http);
    if (history)
        history(http + historyDateTimeSuffix());
}
