#include "dial/call_command.h"

#include "dial/dial_setting.h"
#include "dial/telefon.h"
#include "history/history_line.h"

QString callHistoryLine(const QString &number)
{
    // Control characters would split the line (and were never dialled).
    return QStringLiteral("Połączenie telefoniczne z numerem :  ") + TTelefon::cleanNumber(number) +
           historyDateTimeSuffix();
}

void callCommand(const QString &setting, const QString &number, TTelefon &tt1,
                 const HistoryAppender &history)
{
    if (const auto choice = DialSetting::choice(setting)) {
        tt1.setCPort(choice->port);
        tt1.setDMethod(choice->method);
        tt1.setTelNumber(number);
        tt1.Dial();
    }
    if (history)
        history(callHistoryLine(number));
}
