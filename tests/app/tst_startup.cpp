#include "app/application.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/startup.h"
#include "dbcontrols/db_edit.h"
#include "dbcontrols/db_memo.h"
#include "entry/data_entry_window.h"
#include "platform/data_folder.h"
#include "platform/settings_store.h"
#include "support/report_fakes.h"
#include "support/scripted_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <unistd.h>

// Start-up: the splash wait, the creation order with its progress steps, and a
// failure to open the contact table.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void createsEverythingInOrderWithProgress();
    void splashStaysForOneTimerInterval();
    void missingTableEndsStartupWithoutMainWindow();
    void goneDataFolderIsNamedWithAChoice();
    void staleTemporariesOfInterruptedRunsAreRemoved();

private:
    static QWidget *topLevel(const QString &name);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestStartup::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    DataFolder::setOverride(m_dir->path());
}

void TestStartup::cleanup()
{
    DataFolder::setOverride(QString());
    m_dir.reset();
}

QWidget *TestStartup::topLevel(const QString &name)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == name)
            return widget;
    }
    return nullptr;
}

void TestStartup::createsEverythingInOrderWithProgress()
{
    QStringList names;
    QList<int> progress;
    QString titleAtFirstWindow;
    QString helpFileAtFirstWindow;
    Startup::Options options;
    options.splashInterval = 20;
    options.databaseFile = m_dir->filePath(QStringLiteral("Kartax2000.db"));
    options.onCreated = [&](const QString &name, int value) {
        if (names.isEmpty()) {
            titleAtFirstWindow = KartaxApplication::title();
            helpFileAtFirstWindow = KartaxApplication::helpFile();
        }
        names << name;
        progress << value;
    };
    std::unique_ptr<Program> program = Startup(options).start();
    QVERIFY(program);
    QCOMPARE(names, QStringList({"Form1", "Form16", "Form17", "Form2", "Form3", "Form4", "Form5",
                                 "Form6", "Form7", "Form8", "DM9", "Form10", "Form11", "Form13",
                                 "Form14", "Form15"}));
    // Nothing for the first two; 8 for each of the next ten; 4 for the last four.
    QCOMPARE(progress, QList<int>({0, 0, 8, 16, 24, 32, 40, 48, 56, 64, 72, 80, 84, 88, 92, 96}));
    QCOMPARE(titleAtFirstWindow, QStringLiteral("Kartax2000®"));
    // Qt appends its display name to every window title the window system gets.
    QVERIFY(!QGuiApplication::applicationDisplayName().contains(QStringLiteral("Kartax2000")));
    QCOMPARE(helpFileAtFirstWindow, QStringLiteral("Kartax.hlp"));
    QVERIFY(program->object<TForm1>()->isVisible());
    QCOMPARE(topLevel(QStringLiteral("SplashFrm")), nullptr);
    // Every other window and report container exists; the windows are hidden.
    for (const QString &name : Program::creationOrder()) {
        QVERIFY2(program->object(name), qPrintable(name));
        if (name != QLatin1String("Form1") && program->form(name))
            QVERIFY2(!program->form(name)->isVisible(), qPrintable(name));
    }
    QCOMPARE(program->form(QStringLiteral("Form8")), nullptr); // a report container

    // New collation rules: the splash shows the rebuild of the sort keys, then goes on.
    program.reset();
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rules"));
        db.setDatabaseName(options.databaseFile);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("UPDATE Kartax2000_meta SET value = 'old' "
                                                  "WHERE name = 'collation'")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("rules"));
    QList<int> rebuilding;
    options.onRebuilding = [&](int value) { rebuilding << value; };
    progress.clear();
    program = Startup(options).start();
    QVERIFY(program);
    QVERIFY(!rebuilding.isEmpty() && rebuilding.last() == 100);
    QVERIFY(std::is_sorted(rebuilding.begin(), rebuilding.end()));
    QCOMPARE(progress, QList<int>({0, 0, 8, 16, 24, 32, 40, 48, 56, 64, 72, 80, 84, 88, 92, 96}));
    QCOMPARE(program->object<TForm1>()->windowTitle(), QStringLiteral("Kartax2000®"));

    // A book in a folder that may not be written opens for reading; the title says so.
    // As root nothing stops writing: the program then starts as the user nobody.
    program.reset();
    const passwd *nobody = ::getpwnam("nobody");
    const bool root = ::geteuid() == 0;
    if (root && !nobody)
        QSKIP("running as root without the user nobody");
    QVERIFY(::chmod(QFile::encodeName(m_dir->path()), root ? 0755 : 0555) == 0);
    QVERIFY(!root || ::seteuid(nobody->pw_uid) == 0);
    program = Startup(options).start();
    QVERIFY(!root || ::seteuid(0) == 0);
    ::chmod(QFile::encodeName(m_dir->path()), 0700);
    QVERIFY(program);
    QCOMPARE(program->object<TForm1>()->windowTitle(),
             QStringLiteral("Kartax2000® (tylko do odczytu)"));
    // Its fields take no typing, so no keystroke raises the refusal.
    const auto *entry = program->object<TForm10>();
    QVERIFY(entry->findChild<DBMemo *>(QStringLiteral("DBMemo1"))->isReadOnly());
    const auto edits = entry->findChildren<DBEdit *>();
    QVERIFY(!edits.isEmpty());
    for (const DBEdit *edit : edits)
        QVERIFY(edit->isReadOnly());
}

void TestStartup::splashStaysForOneTimerInterval()
{
    constexpr int interval = 300;
    QElapsedTimer clock;
    qint64 firstWindowAt = -1;
    bool splashShown = false;
    Startup::Options options;
    options.splashInterval = interval;
    options.databaseFile = m_dir->filePath(QStringLiteral("Kartax2000.db"));
    options.onCreated = [&](const QString &, int) {
        if (firstWindowAt >= 0)
            return;
        firstWindowAt = clock.elapsed();
        const QWidget *splash = topLevel(QStringLiteral("SplashFrm"));
        splashShown = splash && splash->isVisible();
    };
    clock.start();
    std::unique_ptr<Program> program = Startup(options).start();
    QVERIFY(program);
    QVERIFY2(firstWindowAt >= interval, qPrintable(QString::number(firstWindowAt)));
    QVERIFY(splashShown);
}

void TestStartup::missingTableEndsStartupWithoutMainWindow()
{
    const QString path = m_dir->filePath(QStringLiteral("other.db"));
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery(db).exec(QStringLiteral("CREATE TABLE something (x)"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    QStringList created;
    Startup::Options options;
    options.splashInterval = 10;
    options.databaseFile = path;
    options.onCreated = [&](const QString &name, int) { created << name; };
    std::unique_ptr<Program> program = Startup(options).start();
    QVERIFY(!program);
    QCOMPARE(
        dialogs->texts(),
        QStringList(
            {QStringLiteral("W bazie danych %1 nie ma tabeli kontaktów Kartax2000.").arg(path)}));
    QVERIFY(!created.contains(QStringLiteral("DM9")));
    QCOMPARE(topLevel(QStringLiteral("Form1")), nullptr);
    QCOMPARE(topLevel(QStringLiteral("SplashFrm")), nullptr);
}

void TestStartup::goneDataFolderIsNamedWithAChoice()
{
    // A portable copy recorded its folder, which is gone since.
    const QString gone = m_dir->filePath(QStringLiteral("build"));
    const auto record = [](const QString &folder) {
        SettingsStore settings;
        QVERIFY(settings.openKey(QStringLiteral("\\Kax"), true));
        settings.writeString(QStringLiteral("Folder"), folder);
    };
    record(gone);
    const QString own = m_dir->filePath(QStringLiteral("Kartax2000.db"));
    Startup::Options options;
    options.splashInterval = 10;
    InstalledScriptedDialogs dialogs;
    ReportFakeFileDialogs files;

    // "Zakończ": the program ends, and nothing is created.
    dialogs->queue(DialogButton::Cancel);
    QVERIFY(!Startup(options).start());
    QCOMPARE(dialogs->requests().size(), 1);
    const DialogRequest asked = dialogs->requests().at(0);
    QVERIFY2(asked.text.contains(gone), qPrintable(asked.text));
    QCOMPARE(asked.buttonTexts, QStringList({"&Wskaż plik…", "&Nowa książka", "&Zakończ"}));
    QVERIFY(!QFile::exists(own));

    // "Wskaż plik…": the book found elsewhere is used where it is.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("moved")));
    const QString moved = m_dir->filePath(QStringLiteral("moved/Kartax2000.db"));
    {
        Startup::Options create = options;
        create.databaseFile = moved;
        QVERIFY(Startup(create).start());
    }
    // The file dialog cancelled, then a file that is no address book: asked again.
    const QString notABook = m_dir->filePath(QStringLiteral("notes.db"));
    QFile notes(notABook);
    QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a database") > 0);
    notes.close();
    files.openAnswers << QString() << notABook << moved;
    for (DialogButton answer :
         {DialogButton::Yes, DialogButton::Yes, DialogButton::Ok, DialogButton::Yes})
        dialogs->queue(answer);
    QVERIFY(Startup(options).start());
    QCOMPARE(dialogs->requests().size(), 5);
    QCOMPARE(dialogs->requests().at(3).kind, DialogKind::Error);
    QVERIFY(!QFile::exists(own));
    // Recorded: the next start uses it without asking.
    QVERIFY(Startup(options).start());
    QCOMPARE(dialogs->requests().size(), 5);

    // "Nowa książka": a new, empty book in this copy's own data folder.
    record(gone);
    dialogs->queue(DialogButton::No);
    QVERIFY(Startup(options).start());
    QVERIFY(QFile::exists(own));
    QCOMPARE(dialogs->unexpected(), 0);
}

void TestStartup::staleTemporariesOfInterruptedRunsAreRemoved()
{
    // A process id that no process has (above the kernel's largest), and one that runs.
    const QStringList stale{"Kartax2000.db.new-99999999", "Kartax2000.db.new-99999999-journal"};
    const QString live = QStringLiteral("Kartax2000.db.new-%1").arg(::getppid());
    for (const QString &name : stale + QStringList{live, "Kartax2000.db.new-x"}) {
        QFile file(m_dir->filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    Startup::Options options;
    options.splashInterval = 10;
    QVERIFY(Startup(options).start());
    const QStringList left = QDir(m_dir->path()).entryList({"*.new-*"}, QDir::Files);
    QCOMPARE(left, QStringList({live, "Kartax2000.db.new-x"}));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
