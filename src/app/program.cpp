#include "app/program.h"

#include "app/empty_book_hint.h"
#include "app/main_window.h"
#include "dbcontrols/db_edit.h"
#include "dbcontrols/db_navigator.h"
#include "dbcontrols/field_data_link.h"
#include "dial/call_command.h"
#include "dial/dial_settings_window.h"
#include "entry/data_entry_window.h"
#include "entry/full_record_view.h"
#include "find/find_window.h"
#include "forms/form.h"
#include "history/history_window.h"
#include "info/about_window.h"
#include "info/help_system.h"
#include "info/information_window.h"
#include "messaging/email_composer.h"
#include "messaging/favourites_window.h"
#include "messaging/signature_window.h"
#include "messaging/web_command.h"
#include "platform/errors.h"
#include "platform/password_store.h"
#include "platform/settings_store.h"
#include "platform/shell_open.h"
#include "platform/termination_signals.h"
#include "platform/widgets/dialogs.h"
#include "reports/report_definitions.h"
#include "reports/report_runs.h"
#include "store/backup_keeper.h"
#include "store/book_backup.h"
#include "store/data_module.h"
#include "store/import_journal.h"
#include "store/table.h"
#include "store/table_batch.h"
#include "store/widgets/backup_window.h"
#include "store/widgets/deleted_contacts_window.h"
#include "sync/widgets/carddav_settings_window.h"
#include "sync/widgets/sync_conflict_window.h"
#include "sync/widgets/sync_runner.h"
#include "sync/widgets/sync_status_label.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QScopeGuard>
#include <QTimer>
#include <QToolButton>

#include <QWidget>

Program::Program(const QString &databaseFile, QObject *parent)
    : QObject(parent), m_databaseFile(databaseFile)
{
}

Program::~Program()
{
    saveAtExit();
    m_find.reset(); // it reads the contact table of the data module
    // The sync first: it waits for its worker, and it and its window use the table.
    m_syncConflicts.reset();
    m_deleted.reset();
    m_backupWindow.reset(); // it waits for its counting of contacts
    m_sync.reset();
    m_backups.reset(); // a copy under way is cancelled
    // Destroy in reverse order of creation: the windows go before the data module
    // their controls are bound to.
    while (!m_objects.empty())
        m_objects.pop_back();
}

// One entry of the start-up order: the object's name, the progress step after its
// creation, and the creation itself.
struct Program::Creation
{
    const char *name;
    int step;
    QObject *(*create)(Program &program);
};

std::span<const Program::Creation> Program::creations()
{
    // The start-up order of the windows and the data module.
    static const Creation kCreations[] = {
        {"Form1", 0, [](Program &p) -> QObject * { return p.createMainWindow(); }},
        {"Form16", 0,
         [](Program &p) -> QObject * {
             p.Form16 = new TForm16;
             p.Form16->setHistory([&p](const QString &line) { p.appendHistory(line); });
             return p.Form16;
         }},
        {"Form17", 8,
         [](Program &p) -> QObject * {
             p.Form17 = new TForm17;
             p.Form16->setSignatureWindow(p.Form17);
             return p.Form17;
         }},
        {"Form2", 8,
         [](Program &p) -> QObject * {
             p.Form2 = new TForm2;
             p.Form2->setHistory([&p](const QString &line) { p.appendHistory(line); });
             p.Form2->setShowHistory([&p] { p.show<TForm11>(); });
             return p.Form2;
         }},
        {"Form3", 8, [](Program &) -> QObject * { return new TForm3; }},
        {"Form4", 8,
         [](Program &p) -> QObject * {
             auto *form4 = new TForm4;
             // A chosen dialling method holds for the main window's next call.
             connect(form4, &TForm4::settingStored, &p,
                     [&p](const QString &setting) { p.Form1->Edit1->setText(setting); });
             return form4;
         }},
        {"Form5", 8, [](Program &) -> QObject * { return new TForm5; }},
        {"Form6", 8, [](Program &p) -> QObject * { return p.Form6 = new TForm6(p.contacts()); }},
        {"Form7", 8, [](Program &p) -> QObject * { return p.Form7 = new TForm7(p.contacts()); }},
        {"Form8", 8, [](Program &p) -> QObject * { return new TForm8(p.contacts()); }},
        {"DM9", 8,
         [](Program &p) -> QObject * {
             p.DM9 = new TDM9(nullptr, p.m_databaseFile, p.m_opening);
             // A book that may not be written says so in the main window's title.
             if (p.Form1 && p.DM9->t1->readOnly())
                 p.Form1->setWindowTitle(p.Form1->windowTitle() +
                                         QStringLiteral(" (tylko do odczytu)"));
             return p.DM9;
         }},
        {"Form10", 8,
         [](Program &p) -> QObject * {
             p.Form10 = new TForm10;
             p.Form10->setContacts(p.contacts());
             p.Form10->setShowFind([&p] { p.showFind(); });
             return p.Form10;
         }},
        {"Form11", 4,
         [](Program &p) -> QObject * {
             p.Form11 = new TForm11;
             connect(p.Form11, &TForm11::printRequested, &p, &Program::printHistory);
             return p.Form11;
         }},
        {"Form13", 4,
         [](Program &p) -> QObject * {
             p.Form13 = new TForm13;
             p.wireFullRecordView();
             return p.Form13;
         }},
        {"Form14", 4, [](Program &p) -> QObject * { return new TForm14(p.contacts()); }},
        {"Form15", 4, [](Program &p) -> QObject * { return p.Form15 = new TForm15(p.contacts()); }},
    };
    return kCreations;
}

QStringList Program::creationOrder()
{
    QStringList names;
    for (const Creation &creation : creations())
        names << QLatin1String(creation.name);
    return names;
}

std::function<TTable *()> Program::contacts()
{
    return [this]() -> TTable * { return DM9 ? DM9->t1 : nullptr; };
}

TForm1 *Program::createMainWindow()
{
    TForm1::Commands commands;
    commands.show = [this](TForm1::Window window) {
        switch (window) {
        case TForm1::Window::Composer:
            return show<TForm16>();
        case TForm1::Window::Signature:
            return show<TForm17>();
        case TForm1::Window::Favourites:
            return show<TForm2>();
        case TForm1::Window::DialSettings:
            return show<TForm4>();
        case TForm1::Window::Information:
            return show<TForm5>();
        case TForm1::Window::About:
            return show<TForm3>();
        case TForm1::Window::DataEntry:
            return show<TForm10>();
        case TForm1::Window::History:
            return show<TForm11>();
        case TForm1::Window::FullRecord:
            return show<TForm13>();
        }
    };
    commands.call = [this] { callCommand(); };
    commands.openWeb = [this] { webCommand(); };
    commands.showFind = [this] { showFind(); };
    commands.previewFullData = [this] { previewReport<TForm8>(); };
    commands.previewLabels = [this] { previewReport<TForm14>(); };
    commands.showHelp = [this] { showHelpFinder(); };
    commands.postOpenEdit = [this] { return postOpenEdit(); };
    commands.contacts = contacts();
    commands.syncNow = [this] {
        if (m_sync)
            m_sync->syncNow();
    };
    commands.showSyncSettings = [this] { showSyncSettings(); };
    commands.showSyncConflicts = [this] { showSyncConflicts(); };
    commands.showBackups = [this] { showBackups(); };
    commands.showDeleted = [this] { showDeleted(); };
    commands.undoImport = [this] { undoImport(); };
    Form1 = new TForm1(std::move(commands));
    // "Cofnij ostatni import" only while there is an import to undo.
    for (QObject *owner : Form1->CofnijImport1->associatedObjects())
        if (auto *menu = qobject_cast<QMenu *>(owner))
            connect(menu, &QMenu::aboutToShow, Form1,
                    [this] { Form1->CofnijImport1->setEnabled(importUndoable()); });
    return Form1;
}

void Program::wireFullRecordView()
{
    TForm13::Commands commands;
    // Its links run the main window's buttons as clicks on them would.
    commands.call = [this] { Form1->tel1->click(); };
    commands.openWeb = [this] { Form1->SpeedButton3->click(); };
    // The composer's send command, as a click on its button, without showing it.
    commands.sendLetter = [this] { Form16->pocztaClick(); };
    // A further value of the contact takes the same paths with its own number or address.
    commands.callNumber = [this](const QString &number) {
        if (Form1 && Form1->tt1)
            ::callCommand(Form1->Edit1->text(), number, *Form1->tt1,
                          [this](const QString &line) { appendHistory(line); });
    };
    commands.sendLetterTo = [this](const QString &address) { Form16->sendTo(address); };
    commands.openWebAddress = [this](const QString &address) {
        ::webCommand(address, [this](const QString &line) { appendHistory(line); });
    };
    commands.printRecord = [this](const QStringList &notes) {
        // The notes of the record on show at the moment of the click.
        Form6->m1->lines = notes;
        Reports::print(Form6->Report1);
    };
    commands.printLabel = [this] { Reports::print(Form7->Report1); };
    commands.showFind = [this] { showFind(); };
    commands.showMap = [](const QString &street, const QString &postCode, const QString &town,
                          const QString &country) {
        if (ShellOpen::mapUrl(street, postCode, town, country).isEmpty())
            showMessage(DialogKind::Information, QStringLiteral("Kartax2000®"),
                        QStringLiteral("Ten kontakt nie ma adresu."));
        else if (!ShellOpen::openMap(street, postCode, town, country))
            showMessage(DialogKind::Error, QStringLiteral("Kartax2000®"),
                        QStringLiteral("Nie udało się otworzyć mapy w przeglądarce."));
    };
    Form13->setCommands(std::move(commands));
}

void Program::showFind()
{
    if (!m_find) {
        m_find = std::make_unique<TFindWindow>();
        m_find->setContacts(contacts());
        m_find->setKeepInSight([this] { return Form1 ? Form1->cardOnScreen() : QRect(); });
    }
    m_find->showForm();
}

void Program::attachDataSource(QObject *root)
{
    FieldDataLink::attachAll(root, DM9->d1);
    for (DBNavigator *navigator : root->findChildren<DBNavigator *>())
        navigator->setDataSource(DM9->d1);
}

void Program::create(const CreatedHook &created, const OpeningHook &opening)
{
    m_opening = opening;
    const auto forget = qScopeGuard([this] { m_opening = nullptr; });
    try {
        createAll(created);
    } catch (...) {
        // Start-up stopped: nothing was used, so nothing is written back.
        m_saved = true;
        throw;
    }
}

void Program::createAll(const CreatedHook &created)
{
    for (const Creation &creation : creations()) {
        const QString name = QLatin1String(creation.name);
        m_objects.emplace_back(creation.create(*this));
        if (name == QLatin1String("DM9")) {
            // Controls of the windows made so far are bound now that the data exists.
            for (const auto &object : m_objects)
                attachDataSource(object.get());
        } else if (DM9) {
            attachDataSource(m_objects.back().get());
        }
        if (created)
            created(name, creation.step);
    }
    if (auto *card = Form1->findChild<QWidget *>(QStringLiteral("Panel2")))
        new EmptyBookHint(card, DM9->d1); // owned by the card
    createSync();
    createBackups();
}

void Program::usePasswordStore(std::unique_ptr<PasswordStore> keyring)
{
    m_keyring = std::move(keyring);
}

void Program::createSync()
{
    if (!m_keyring)
        m_keyring = PasswordStore::system();
    m_sync = std::make_unique<SyncRunner>(*DM9->t1, *m_keyring);
    auto *status = new SyncStatusLabel(*m_sync); // owned by the status bar
    Form1->addStatusPanel(status);
    connect(status, &SyncStatusLabel::conflictsRequested, this, &Program::showSyncConflicts);
    connect(m_sync.get(), &SyncRunner::conflictsChanged, Form1->KonfliktySynchronizacji1,
            [this](int count) { Form1->KonfliktySynchronizacji1->setEnabled(count > 0); });
    m_sync->reloadSettings();
}

void Program::startSync()
{
    if (m_sync)
        m_sync->startUp();
}

void Program::createBackups()
{
    try {
        m_backups =
            std::make_unique<BackupKeeper>(BookBackup::bookOf(*DM9->t1), DM9->t1->tableName());
    } catch (const KaxError &error) {
        reportError(error.message());
        return;
    }
    // Said once, and work goes on: the next start tries again.
    connect(m_backups.get(), &BackupKeeper::failed, this, [](const QString &message) {
        showMessage(DialogKind::Warning, QStringLiteral("Kopia zapasowa"),
                    QStringLiteral("Nie udało się zrobić kopii zapasowej książki adresowej.\n"
                                   "%1\n\nMożesz dalej pracować; program spróbuje ponownie "
                                   "przy następnym uruchomieniu.")
                        .arg(message));
    });
}

void Program::startBackups()
{
    if (m_backups && DM9->t1->active())
        m_backups->startUp();
}

void Program::showSyncConflicts()
{
    if (!m_syncConflicts) {
        m_syncConflicts = std::make_unique<TSyncConflictWindow>(contacts());
        connect(m_syncConflicts.get(), &TSyncConflictWindow::resolved, this, [this] {
            if (m_sync)
                m_sync->countConflicts();
        });
        // A sync that kept more copies while the window is open shows them.
        connect(m_sync.get(), &SyncRunner::conflictsChanged, m_syncConflicts.get(), [this] {
            if (m_syncConflicts->isVisible())
                m_syncConflicts->reload();
        });
    }
    m_syncConflicts->reload();
    m_syncConflicts->showForm();
}

void Program::showDeleted()
{
    if (!postOpenEdit())
        return;
    if (!m_deleted)
        m_deleted = std::make_unique<TDeletedContactsWindow>(contacts());
    m_deleted->reload();
    m_deleted->showForm(); // modal to the other windows; "Zamknij" hides it
}

void Program::undoImport()
{
    // The undo writes in a transaction of its own, as the import did.
    if (!postOpenEdit())
        return;
    TTable *table = DM9 ? DM9->t1 : nullptr;
    if (!table || !table->active())
        return;
    const QString caption = QStringLiteral("Cofnij ostatni import");
    try {
        ImportJournal journal(table->database(), table->tableName(), table->fieldNames());
        const auto last = journal.summary();
        if (!last) {
            showMessage(DialogKind::Information, caption,
                        QStringLiteral("Nie ma importu, który można cofnąć."));
            return;
        }
        DialogRequest question;
        question.kind = DialogKind::Confirmation;
        question.caption = caption;
        question.text =
            QStringLiteral("Cofnąć import z %1 z pliku %2?\n\nDodane kontakty (%3) zostaną "
                           "usunięte (pozostaną wśród usuniętych kontaktów), a w uzupełnionych "
                           "kontaktach (%4) wrócą poprzednie dane.")
                .arg(last->at.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")),
                     last->file)
                .arg(last->added)
                .arg(last->updated);
        question.buttons = {DialogButton::Yes, DialogButton::No};
        question.defaultButton = DialogButton::No;
        question.escapeButton = DialogButton::No;
        if (Dialogs::current().ask(question) != DialogButton::Yes)
            return;
        TableBatch batch(*table);
        const ImportJournal::Undone undone = journal.undo(batch);
        batch.commit();
        table->refresh();
        QString report = QStringLiteral("Cofnięto import: usunięto %1, przywrócono %2.")
                             .arg(undone.removed)
                             .arg(undone.restored);
        if (!undone.changedSince.isEmpty())
            report += QStringLiteral("\n\nNie cofnięto zmian w kontaktach zmienionych od "
                                     "importu: %1.")
                          .arg(undone.changedSince.join(QStringLiteral(", ")));
        showMessage(DialogKind::Information, caption, report);
    } catch (const KaxError &error) {
        reportError(error.message());
    }
}

bool Program::importUndoable() const
{
    TTable *table = DM9 ? DM9->t1 : nullptr;
    if (!table || !table->active())
        return false;
    try {
        return ImportJournal(table->database(), table->tableName(), table->fieldNames())
            .summary()
            .has_value();
    } catch (const KaxError &) {
        return false; // the item then stays off; its use would show the error
    }
}

void Program::showBackups()
{
    if (!m_backupWindow)
        m_backupWindow = std::make_unique<TBackupWindow>(contacts());
    m_backupWindow->reload();
    m_backupWindow->showForm();
}

void Program::showSyncSettings()
{
    try {
        SettingsStore settings;
        if (!TCardDavWindow::execute(Form1, settings, *m_keyring))
            return;
    } catch (const KaxError &error) {
        reportError(error.message());
        return;
    }
    // The new settings hold from now on; a book just set up is synced at once (a first
    // sync asks before it changes anything).
    m_sync->reloadSettings();
    if (m_sync->configured())
        m_sync->syncNow();
}

QObject *Program::object(const QString &name) const
{
    for (const auto &object : m_objects) {
        if (object->objectName() == name)
            return object.get();
    }
    return nullptr;
}

KaxForm *Program::form(const QString &name) const
{
    return qobject_cast<KaxForm *>(object(name));
}

void Program::appendHistory(const QString &line)
{
    // Lines are appended only once the message loop runs, after every window exists.
    if (Form11)
        Form11->appendLine(line);
}

void Program::takeRequest(const QString &file)
{
    if (!Form1)
        return;
    if (QApplication::activeModalWidget()) {
        // A dialog or an import is under way: the request waits for its end.
        QTimer::singleShot(500, this, [this, file] { takeRequest(file); });
        return;
    }
    Form1->setWindowState((Form1->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    Form1->show();
    Form1->raise();
    Form1->activateWindow();
    if (!file.isEmpty())
        Form1->importFile(file);
}

void Program::callCommand()
{
    if (Form1 && Form1->tt1 && Form11)
        ::callCommand(Form1->Edit1->text(), Form1->DBEdit3->text(), *Form1->tt1,
                      [this](const QString &line) { appendHistory(line); });
}

void Program::webCommand()
{
    if (Form1)
        ::webCommand(Form1->DBEdit1->text(), [this](const QString &line) { appendHistory(line); });
}

void Program::preview(ReportContainer *reports)
{
    if (reports)
        Reports::preview(reports->Report1);
}

void Program::printHistory()
{
    // The history as the window shows it, unsaved changes included.
    Form15->m1->lines = Form11->lines();
    Reports::preview(Form15->Report1);
}

void Program::showHelpFinder()
{
    HelpSystem::setHelpFile(QStringLiteral("Kartax.HLP"));
    HelpSystem::showFinder();
}

bool Program::postOpenEdit()
{
    if (!DM9 || !DM9->t1->active())
        return true;
    try {
        DM9->t1->checkBrowseMode();
    } catch (const KaxError &error) {
        reportError(error.message());
        return false;
    }
    return true;
}

void Program::commitData()
{
    postOpenEdit();
    saveFiles();
}

void Program::watchTerminationSignals()
{
    m_signals = std::make_unique<TerminationSignals>();
    connect(m_signals.get(), &TerminationSignals::received, this, &Program::endOnSignal);
}

void Program::endOnSignal()
{
    // The first signal ends the program as "Zamknij" does: when an open edit cannot
    // be posted, its message is on screen and the program stays. A second one ends it.
    if (++m_signalsReceived == 1 && Form1) {
        Form1->endProgram();
        return;
    }
    QCoreApplication::exit(0);
}

void Program::saveAtExit()
{
    if (m_saved)
        return;
    m_saved = true;
    saveFiles();
}

void Program::saveFiles()
{
    if (Form11)
        Form11->saveAtExit();
    if (Form2)
        Form2->saveAtExit();
}
