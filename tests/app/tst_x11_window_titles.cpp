#include "app/application.h"
#include "app/program.h"
#include "app/startup.h"
#include "forms/form.h"
#include "platform/data_folder.h"
#include "store/data_module.h"
#include "store/table.h"
#include "support/contact_fixture.h"
#include "support/kartax_test_main.h"

#include <QAbstractButton>
#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The program's windows on a real window system: the titles the X server holds, as a
// window manager and the taskbar read them, are exactly the windows' captions, and no
// window opens with a button focused.
class TestX11WindowTitles : public QObject
{
    Q_OBJECT

private slots:
    void titlesAreTheCaptions();

private:
    static QString netWmName(const QWidget &window);
};

QString TestX11WindowTitles::netWmName(const QWidget &window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()),
                                          QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(5000))
        return QStringLiteral("<xprop failed>");
    static const QRegularExpression value(QStringLiteral("= \"(.*)\"\\s*$"));
    return value.match(QString::fromUtf8(xprop.readAllStandardOutput())).captured(1);
}

void TestX11WindowTitles::titlesAreTheCaptions()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QTemporaryDir dir;
    DataFolder::setOverride(dir.path());
    Startup::Options options;
    options.splashInterval = 10;
    options.databaseFile = dir.filePath(QStringLiteral("Kartax2000.db"));
    std::unique_ptr<Program> program = Startup(options).start();
    QVERIFY(program);
    // Two contacts, so that the navigators' buttons can act.
    TTable &contacts = *program->object<TDM9>()->t1;
    insertContact(contacts, QStringLiteral("Alfa"));
    insertContact(contacts, QStringLiteral("Beta"));
    contacts.first();
    const QList<std::pair<const char *, const char *>> windows{
        {"Form1", "Kartax2000®"}, {"Form3", "About"},
        {"Form13", "Pełne dane"}, {"Form10", "Wpisywanie danych do bazy programu Kartax2000®"},
        {"Form2", nullptr},       {"Form4", nullptr},
        {"Form5", nullptr},       {"Form11", nullptr},
        {"Form16", nullptr},      {"Form17", nullptr}};
    for (const auto &[name, caption] : windows) {
        KaxForm *window = program->form(QLatin1String(name));
        window->showForm();
        QVERIFY(QTest::qWaitForWindowActive(window));
        if (caption)
            QTRY_COMPARE(netWmName(*window), QString::fromUtf8(caption));
        // No button opens with the focus: a stray Space would run it.
        QVERIFY2(!qobject_cast<QAbstractButton *>(QApplication::focusWidget()), name);
    }
    program.reset();
    DataFolder::setOverride(QString());
}

KARTAX_TEST_MAIN(TestX11WindowTitles)
#include "tst_x11_window_titles.moc"
