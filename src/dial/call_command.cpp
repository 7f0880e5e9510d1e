#include "dial/call_command.h"

#include "dial/dial_setting.h"
#include "dial/telefon.h"
#include "history/history_line.h"
#include "platform/shell_open.h"
#include "platform/widgets/dialogs.h"

namespace {

// Hands the number to the desktop's tel: handler; says so when there is none.
void callThroughDesktop(const QString &number)
{
    const QString url = ShellOpen::telUri(number);
    if (url.isEmpty())
        return; // nothing to dial, as the modem would dial nothing
    ShellOpen &shell = ShellOpen::current();
    if (!shell.hasHandler(QStringLiteral("tel"))) {
        showMessage(DialogKind::Warning, QStringLiteral("Kartax2000®"),
                    QStringLiteral("Brak programu, który dzwoni pod numery telefonów (tel:).\n"
                                   "Zainstaluj np. KDE Connect, GNOME Calls lub inny telefon "
                                   "internetowy albo wybierz modem w ustawieniach "
                                   "telefonicznych."));
        return;
    }
    if (!shell.openUrl(url))
        showMessage(DialogKind::Error, QStringLiteral("Kartax2000®"),
                    QStringLiteral("Nie udało się przekazać numeru %1 do programu telefonu.")
                        .arg(url.mid(4)));
}

} // namespace

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
    } else if (setting == DialSetting::kDesktopTelephone) {
        callThroughDesktop(number);
    }
    if (history)
        history(callHistoryLine(number));
}
