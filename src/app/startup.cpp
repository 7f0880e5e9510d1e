#include "app/startup.h"

#include "app/application.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/splash_window.h"
#include "platform/data_folder.h"
#include "platform/errors.h"
#include "platform/widgets/dialogs.h"

#include <QApplication>
#include <QProgressBar>
#include <QTimer>

std::unique_ptr<Program> Startup::start()
{
    auto splash = std::make_unique<TSplashFrm>();
    splash->time->setInterval(m_options.splashInterval);
    splash->time->start();
    splash->show();
    splash->repaint();
    // Wait for the splash timer's first tick, sleeping between messages.
    while (splash->time->isActive())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);

    splash->ProgressBar1->setMaximum(100);
    KartaxApplication::setHelpFile(QStringLiteral("Kartax.hlp"));
    KartaxApplication::setTitle(QStringLiteral("Kartax2000®"));

    try {
        DataFolder::rememberPortable();
    } catch (const KaxError &error) {
        reportError(error.message()); // the program runs on; only the record is missing
    }
    auto program = std::make_unique<Program>(m_options.databaseFile);
    try {
        int created = 0;
        program->create(
            [&](const QString &name, int step) {
                created += step;
                splash->ProgressBar1->setValue(created);
                if (m_options.onCreated)
                    m_options.onCreated(name, created);
            },
            [&](int percent) {
                // A rebuild of the sort keys, the long wait, fills the bar on its own;
                // the next creation puts back how far the start-up has got.
                splash->ProgressBar1->setValue(percent);
                splash->ProgressBar1->repaint();
                if (m_options.onRebuilding)
                    m_options.onRebuilding(percent);
            });
    } catch (const KaxError &error) {
        splash->hide();
        splash.reset();
        reportError(error.message());
        return nullptr;
    } catch (const std::exception &error) {
        splash->hide();
        splash.reset();
        reportError(QString::fromLocal8Bit(error.what()));
        return nullptr;
    }
    splash->hide();
    splash.reset();
    program->object<TForm1>()->show();
    return program;
}
