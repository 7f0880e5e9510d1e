#include "app/application.h"

#include "app/program.h"
#include "app/startup.h"
#include "platform/dialogs.h"
#include "platform/errors.h"

#include <exception>

namespace {
QString &helpFileName()
{
    static QString name;
    return name;
}
} // namespace

KartaxApplication::KartaxApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setQuitOnLastWindowClosed(false);
}

void KartaxApplication::reportError(const QString &message)
{
    showMessage(DialogKind::Error, QStringLiteral("Kartax2000®"), message);
}

void KartaxApplication::setHelpFile(const QString &name)
{
    helpFileName() = name;
}

QString KartaxApplication::helpFile()
{
    return helpFileName();
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
    std::unique_ptr<Program> program = Startup(Startup::Options()).start();
    if (!program)
        return 1;
    const int result = exec();
    // Every window is destroyed at the end; the history and favourites are written as they go.
    program.reset();
    return result;
}
