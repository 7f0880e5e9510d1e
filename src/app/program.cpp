#include "app/program.h"

#include "app/application.h"
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
#include "platform/shell_open.h"
#include "platform/termination_signals.h"
#include "platform/widgets/dialogs.h"
#include "reports/report_definitions.h"
#include "reports/report_runs.h"
#include "store/data_module.h"
#include "store/table.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTimer>
#include <QToolButton>

#include <QWidget>

#include <stdexcept>

namespace {

struct Creation
{
    const char *name;
    int step; // progress step after the creation
};

// The start-up order of the windows and the data module.
constexpr Creation kCreations[] = {
    {"Form1", 0},  {"Form16", 0}, {"Form17", 8}, {"Form2", 8},  {"Form3", 8}, {"Form4", 8},
    {"Form5", 8},  {"Form6", 8},  {"Form7", 8},  {"Form8", 8},  {"DM9", 8},   {"Form10", 8},
    {"Form11", 4}, {"Form13", 4}, {"Form14", 4}, {"Form15", 4},
};

} // namespace

Program::Program(const QString &databaseFile, QObject *parent)
    : QObject(parent), m_databaseFile(databaseFile)
{
}

Program::~Program()
{
    saveAtExit();
    m_find.reset(); // it reads the contact table of the data module
    // Destroy in reverse order of creation: the windows go before the data module
    // their controls are bound to.
    while (!m_objects.empty())
        m_objects.pop_back();
}

QStringList Program::creationOrder()
{
    QStringList names;
    for (const Creation &creation : kCreations)
        names << QLatin1String(creation.name);
    return names;
}

QObject *Program::createObject(const QString &name)
{
    if (name == QLatin1String("Form1")) {
        Form1 = new TForm1;
        return Form1;
    }
    if (name == QLatin1String("Form16")) {
        Form16 = new TForm16;
        Form16->setHistory([this](const QString &line) { appendHistory(line); });
        return Form16;
    }
    if (name == QLatin1String("Form17")) {
        Form17 = new TForm17;
        Form16->setSignatureWindow(Form17);
        return Form17;
    }
    if (name == QLatin1String("Form2")) {
        Form2 = new TForm2;
        Form2->setHistory([this](const QString &line) { appendHistory(line); });
        Form2->setShowHistory([this] { show<TForm11>(); });
        return Form2;
    }
    if (name == QLatin1String("Form3"))
        return new TForm3;
    if (name == QLatin1String("Form4")) {
        auto *form4 = new TForm4;
        // A chosen dialling method holds for the main window's next call.
        connect(form4, &TForm4::settingStored, this,
                [this](const QString &setting) { Form1->Edit1->setText(setting); });
        return form4;
    }
    if (name == QLatin1String("Form5"))
        return new TForm5;
    if (name == QLatin1String("DM9")) {
        DM9 = new TDM9(nullptr, m_databaseFile, m_opening);
        // A book that may not be written says so in the main window's title.
        if (Form1 && DM9->t1->readOnly())
            Form1->setWindowTitle(Form1->windowTitle() + QStringLiteral(" (tylko do odczytu)"));
        return DM9;
    }
    const auto contacts = [this]() -> TTable * { return DM9 ? DM9->t1 : nullptr; };
    if (name == QLatin1String("Form6"))
        return Form6 = new TForm6(contacts);
    if (name == QLatin1String("Form7"))
        return Form7 = new TForm7(contacts);
    if (name == QLatin1String("Form8"))
        return new TForm8(contacts);
    if (name == QLatin1String("Form14"))
        return new TForm14(contacts);
    if (name == QLatin1String("Form15"))
        return Form15 = new TForm15(contacts);
    if (name == QLatin1String("Form10")) {
        Form10 = new TForm10;
        Form10->setContacts(contacts);
        Form10->setShowFind([this] { showFind(); });
        return Form10;
    }
    if (name == QLatin1String("Form11")) {
        Form11 = new TForm11;
        connect(Form11, &TForm11::printRequested, this, &Program::printHistory);
        return Form11;
    }
    if (name == QLatin1String("Form13")) {
        Form13 = new TForm13;
        wireFullRecordView();
        return Form13;
    }
    return nullptr;
}

void Program::wireFullRecordView()
{
    TForm13::Commands commands;
    // Its links run the main window's buttons as clicks on them would.
    commands.call = [this] { Form1->tel1->click(); };
    commands.openWeb = [this] { Form1->SpeedButton3->click(); };
    // The composer's send command, as a click on its button, without showing it.
    commands.sendLetter = [this] { Form16->pocztaClick(); };
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
        m_find->setContacts([this]() -> TTable * { return DM9 ? DM9->t1 : nullptr; });
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
    for (const Creation &creation : kCreations) {
        const QString name = QLatin1String(creation.name);
        QObject *object = createObject(name);
        if (!object) // the creation order names an object that nothing here creates
            throw std::logic_error("no creation for " + name.toStdString());
        m_objects.emplace_back(object);
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
    Form1->setProgram(this);
    if (auto *card = Form1->findChild<QWidget *>(QStringLiteral("Panel2")))
        new EmptyBookHint(card, DM9->d1); // owned by the card
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
