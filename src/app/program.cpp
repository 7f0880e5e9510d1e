#include "app/program.h"

#include "app/form.h"
#include "app/main_window.h"
#include "dbcontrols/db_navigator.h"
#include "dbcontrols/field_data_link.h"
#include "store/data_module.h"

#include <QWidget>

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

struct Placeholder
{
    const char *name;
    const char *caption;
    int width;
    int height;
    int helpContext;
};

// Windows shown by later work start as hidden windows with their caption, client
// size and help context.
constexpr Placeholder kPlaceholders[] = {
    {"Form16", "Napisz list E-mail", 581, 378, 16},
    {"Form17", "Podpis", 583, 374, 17},
    {"Form2", "Ulubione- Serwis WWW", 587, 384, 6},
    {"Form3", "About", 279, 338, 7},
    {"Form4", "Ustawienia telefoniczne modemu", 369, 205, 8},
    {"Form5", "Informacje", 587, 227, 9},
    {"Form6", "Pełne dane", 586, 381, 0},
    {"Form7", "Wybrane dane", 586, 381, 0},
    {"Form8", "Pełne dane", 586, 381, 0},
    {"Form10", "Wpisywanie danych do bazy programu Kartax2000®", 583, 380, 2},
    {"Form11", "Historia", 536, 348, 3},
    {"Form13", "Pełne dane", 586, 381, 5},
    {"Form14", "Etykiety", 586, 381, 0},
    {"Form15", "Historia", 586, 381, 0},
};

} // namespace

Program::Program(const QString &databaseFile, QObject *parent)
    : QObject(parent), m_databaseFile(databaseFile)
{
}

Program::~Program()
{
    saveAtExit();
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
    if (name == QLatin1String("DM9")) {
        DM9 = new TDM9(nullptr, m_databaseFile);
        return DM9;
    }
    for (const Placeholder &placeholder : kPlaceholders) {
        if (name == QLatin1String(placeholder.name)) {
            return new KaxForm(name, QString::fromUtf8(placeholder.caption),
                               QSize(placeholder.width, placeholder.height),
                               placeholder.helpContext);
        }
    }
    return nullptr;
}

void Program::attachDataSource(QObject *root)
{
    FieldDataLink::attachAll(root, DM9->d1);
    for (DBNavigator *navigator : root->findChildren<DBNavigator *>())
        navigator->setDataSource(DM9->d1);
}

void Program::create(const CreatedHook &created)
{
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
        m_objects.emplace_back(createObject(name));
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
}

KaxForm *Program::form(const QString &name) const
{
    for (const auto &object : m_objects) {
        if (object->objectName() == name)
            return qobject_cast<KaxForm *>(object.get());
    }
    return nullptr;
}

void Program::showForm(const QString &name)
{
    if (KaxForm *window = form(name))
        window->showForm();
}

void Program::callCommand() {}

void Program::webCommand() {}

void Program::previewReport(const QString &container)
{
    Q_UNUSED(container);
}

void Program::showHelpFinder() {}

void Program::saveAtExit()
{
    if (m_saved)
        return;
    m_saved = true;
}
