#include "app/application.h"

#include "platform/dialogs.h"
#include "platform/errors.h"
#include "store/data_module.h"

#include <QLabel>
#include <exception>

KartaxApplication::KartaxApplication(int &argc, char **argv) : QApplication(argc, argv) {}

void KartaxApplication::reportError(const QString &message)
{
    showMessage(DialogKind::Error, QStringLiteral("Kartax2000®"), message);
}

bool KartaxApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const KaxError &error) {
        reportError(error.message());
    } catch (const std::exception &error) {
        reportError(QString::fromLocal8Bit(error.what()));
    }
    return false;
}

int KartaxApplication::run()
{
    try {
        TDM9 dm9;
        QLabel card(QStringLiteral("Kartax2000®"));
        card.show();
        return exec();
    } catch (const KaxError &error) {
        reportError(error.message());
        return 1;
    }
}
