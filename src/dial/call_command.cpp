#include "dial/call_command.h"

#include "dial/dial_setting.h"
#include "dial/telefon.h"
#include "history/history_line.h"
#include "platform/shell_open.h"
#include "platform/widgets/dialogs.h"

namespace {

const QString kCaption = QStringLiteral("Kartax2000®");

// Hands the number to the desktop's tel: handler; says why when it cannot. True
// when the desktop took the call.
bool callThroughDesktop(const QString &number)
{
    const QString url = ShellOpen::telUri(number);
    if (url.isEmpty()) {
        showMessage(DialogKind::Information, kCaption,
                    QStringLiteral("Ten kontakt nie ma numeru telefonu do wybrania."));
        return false;
    }
    ShellOpen &shell = ShellOpen::current();
    if (!shell.hasHandler(QStringLiteral("tel"))) {
        showMessage(DialogKind::Warning, kCaption,
                    QStringLiteral("Brak programu, który dzwoni pod numery telefonów (tel:).\n"
                                   "Zainstaluj np. KDE Connect, GNOME Calls lub inny telefon "
                                   "internetowy albo wybierz modem w ustawieniach "
                                   "telefonicznych."));
        return false;
    }
    if (!shell.openUrl(url)) {
        showMessage(DialogKind::Error, kCaption,
                    QStringLiteral("Nie udało się przekazać numeru %1 do programu telefonu.")
                        .arg(url.mid(4)));
        return false;
    }
    return true;
}

} // namespace

QString callHistoryLine(const QString &number)
{
    // Control characters would split the line (and were never dialled).
    return QStringLiteral("Połączenie telefoniczne z numerem :  ") + TTelefon::cleanNumber(number) +
           historyDateTimeSuffix();
}

bool callCommand(const QString &setting, const QString &number, TTelefon &tt1,
                 const HistoryAppender &history)
{
    bool started = false;
    if (const auto choice = DialSetting::choice(setting)) {
        tt1.setCPort(choice->port);
        tt1.setDMethod(choice->method);
        tt1.setTelNumber(number);
        started = tt1.Dial();
    } else if (setting == DialSetting::kDesktopTelephone) {
        started = callThroughDesktop(number);
    } else {
        showMessage(DialogKind::Information, kCaption,
                    QStringLiteral("Nie wybrano sposobu wybierania numeru.\n"
                                   "Wybierz modem albo telefon systemowy w menu "
                                   "„Ustawienia” → „Modem”."));
    }
    // The history records calls that were made, not attempts.
    if (started && history)
        history(callHistoryLine(number));
    return started;
}
