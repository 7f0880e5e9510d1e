#include "app/application.h"

#include "app/application_title.h"
#include "app/program.h"
#include "app/single_instance.h"
#include "app/startup.h"
#include "cli/command_line.h"
#include "info/help_system.h"
#include "platform/errors.h"
#include "platform/restart.h"
#include "platform/translations.h"
#include "platform/widgets/dialogs.h"

#include <QSessionManager>
#include <QTimer>

#include <exception>

KartaxApplication::KartaxApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setQuitOnLastWindowClosed(false);
    Translations::install(*this); // Qt's stock dialogs and menus in the user's language
    HelpSystem::installF1Handler(*this);
}

void KartaxApplication::setTitle(const QString &title)
{
    ApplicationTitle::set(title);
}

QString KartaxApplication::title()
{
    return ApplicationTitle::get();
}

void KartaxApplication::setHelpFile(const QString &name)
{
    HelpSystem::setHelpFile(name);
}

QString KartaxApplication::helpFile()
{
    return HelpSystem::helpFile();
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
    DBusSingleInstance instance;
    return run(instance);
}

int KartaxApplication::run(SingleInstance &instance)
{
    // A file given as the only argument ("Otwórz za pomocą") is imported once the
    // main window is up, by the copy that runs already when there is one.
    const QString file = CommandLine::fileToOpen(arguments());
    if (instance.claim(file) == SingleInstance::Claim::Forwarded)
        return 0;
    // Only the running program may ask the system to restart; tests never install it.
    Restart::installSystemRestart();
    std::unique_ptr<Program> program;
    // Requests of later starts made while this one starts wait for its main window.
    QStringList waiting;
    if (!file.isEmpty())
        waiting << file;
    connect(&instance, &SingleInstance::requested, this,
            [&program, &waiting](const QString &request) {
                if (program)
                    program->takeRequest(request);
                else
                    waiting << request;
            });
    program = Startup(Startup::Options()).start();
    if (!program)
        return 1;
    for (const QString &request : std::as_const(waiting)) {
        QTimer::singleShot(0, program.get(),
                           [&program, request] { program->takeRequest(request); });
    }
    // Every ending writes what a normal exit writes: by signal, and at the session's end.
    program->watchTerminationSignals();
#ifndef QT_NO_SESSIONMANAGER
    connect(this, &QGuiApplication::commitDataRequest, program.get(),
            [&program](QSessionManager &) { program->commitData(); });
#endif
    const int result = exec();
    // Every window is destroyed at the end; the history and favourites are written as they go.
    program.reset();
    return result;
}
