#include "messaging/web_command.h"

#include "history/history_line.h"
#include "platform/shell_open.h"
#include "platform/widgets/dialogs.h"

bool webCommand(const QString &http, const HistoryAppender &history)
{
    if (!openWebAddressOrSay(http, QStringLiteral("Ten kontakt nie ma adresu internetowego.")))
        return false;
    // The history records visits that were started, not attempts.
    if (history)
        history(http + historyDateTimeSuffix());
    return true;
}

bool openWebAddressOrSay(const QString &http, const QString &whenEmpty)
{
    const QString caption = QStringLiteral("Kartax2000®");
    if (http.trimmed().isEmpty()) {
        showMessage(DialogKind::Information, caption, whenEmpty);
        return false;
    }
    if (ShellOpen::webUrl(http).isEmpty()) {
        showMessage(DialogKind::Warning, caption,
                    QStringLiteral("„%1” nie jest adresem strony internetowej.\n"
                                   "Otwierane są tylko adresy http, https i ftp.")
                        .arg(http));
        return false;
    }
    if (!ShellOpen::openWebAddress(http)) {
        showMessage(DialogKind::Error, caption,
                    QStringLiteral("Nie udało się otworzyć adresu %1 w przeglądarce.").arg(http));
        return false;
    }
    return true;
}
