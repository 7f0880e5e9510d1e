#include "app/startup.h"

#include "app/application_title.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/splash_window.h"
#include "info/help_system.h"
#include "platform/data_folder.h"
#include "platform/errors.h"
#include "platform/settings_store.h"
#include "platform/widgets/dialogs.h"
#include "platform/widgets/file_dialogs.h"
#include "store/contact_schema.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QTimer>

#include <optional>

namespace {

// Makes the file the user found the address book the one the alias resolves to:
// the default file name by recording its folder, any other through the alias.
void useBook(const QString &file)
{
    const QFileInfo info(file);
    if (info.fileName() == QLatin1String(ContactSchema::kDefaultFileName)) {
        DataFolder::recordFolder(info.absolutePath());
        return;
    }
    SettingsStore settings;
    if (!settings.openKey(QStringLiteral("\\Aliasy\\") + QLatin1String(ContactSchema::kAlias),
                          true))
        throw SettingsError(QStringLiteral("Failed to set data for 'Database'"));
    settings.writeString(QStringLiteral("Database"), info.absoluteFilePath());
}

// Asks what to do when the folder recorded for the address book is gone: look for
// the book (its file), or start a new, empty one in this copy's own data folder (an
// empty file name). Nothing when the user ends the program instead.
std::optional<QString> askForBook(const QString &why)
{
    DialogRequest request;
    request.kind = DialogKind::Warning;
    request.caption = QStringLiteral("Kartax2000®");
    request.text = why + QStringLiteral("\n\nWskaż plik książki adresowej, jeśli ją przeniesiono, "
                                        "albo zacznij nową, pustą książkę w folderze %1.")
                             .arg(QDir::toNativeSeparators(DataFolder::path()));
    request.buttons = {DialogButton::Yes, DialogButton::No, DialogButton::Cancel};
    request.buttonTexts = {QStringLiteral("&Wskaż plik…"), QStringLiteral("&Nowa książka"),
                           QStringLiteral("&Zakończ")};
    request.defaultButton = DialogButton::Yes;
    request.escapeButton = DialogButton::Cancel;
    for (;;) {
        switch (Dialogs::current().ask(request)) {
        case DialogButton::Yes: {
            const QString file = FileDialogs::current().openFileName(
                nullptr, {QStringLiteral("Wskaż książkę adresową"),
                          QStringLiteral("Książka adresowa Kartax2000 (*.db);;Wszystkie pliki (*)"),
                          QString()});
            if (!file.isEmpty())
                return file;
            break; // the question again
        }
        case DialogButton::No:
            return QString();
        default:
            return std::nullopt;
        }
    }
}

} // namespace

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
    HelpSystem::setHelpFile(QStringLiteral("Kartax.hlp"));
    ApplicationTitle::set(QStringLiteral("Kartax2000®"));

    try {
        DataFolder::rememberPortable();
    } catch (const KaxError &error) {
        reportError(error.message()); // the program runs on; only the record is missing
    }
    for (const QString &failure : DataFolder::removeStaleTemporaries())
        reportError(QStringLiteral("Nie można usunąć pliku pozostawionego przez przerwane "
                                   "uruchomienie programu: %1")
                        .arg(failure));
    std::unique_ptr<Program> program;
    QString found; // a book the user looked for: recorded once it has opened
    QString why;   // why the user was asked for it
    for (;;) {
        program = std::make_unique<Program>(found.isEmpty() ? m_options.databaseFile : found);
        try {
            createProgram(*program, *splash);
            break;
        } catch (const MissingDataFolder &missing) {
            why = missing.message();
        } catch (const std::exception &error) {
            const auto *kaxError = dynamic_cast<const KaxError *>(&error);
            const QString message =
                kaxError ? kaxError->message() : QString::fromLocal8Bit(error.what());
            if (found.isEmpty()) {
                splash->hide();
                splash.reset();
                reportError(message);
                return nullptr;
            }
            reportError(message); // the file found is no address book: ask again
        }
        program.reset();
        splash->hide();
        const std::optional<QString> choice = askForBook(why);
        if (!choice)
            return nullptr;
        found = *choice;
        if (found.isEmpty()) {
            try {
                DataFolder::recordFolder(QString());
            } catch (const KaxError &error) {
                reportError(error.message());
                return nullptr;
            }
        }
        splash->show();
    }
    if (!found.isEmpty()) {
        try {
            useBook(found);
        } catch (const KaxError &error) {
            reportError(error.message()); // it is in use now; only the record is missing
        }
    }
    splash->hide();
    splash.reset();
    program->object<TForm1>()->show();
    program->startSync();
    program->startBackups();
    return program;
}

void Startup::createProgram(Program &program, TSplashFrm &splash)
{
    int created = 0;
    program.create(
        [&](const QString &name, int step) {
            created += step;
            splash.ProgressBar1->setValue(created);
            if (m_options.onCreated)
                m_options.onCreated(name, created);
        },
        [&](int percent) {
            // A rebuild of the sort keys, the long wait, fills the bar on its own;
            // the next creation puts back how far the start-up has got.
            splash.ProgressBar1->setValue(percent);
            splash.ProgressBar1->repaint();
            if (m_options.onRebuilding)
                m_options.onRebuilding(percent);
        });
}
