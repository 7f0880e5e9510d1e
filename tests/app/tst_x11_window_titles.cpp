#include "app/application.h"
#include "app/program.h"
#include "app/startup.h"
#include "forms/form.h"
#include "platform/data_folder.h"
#include "support/kartax_test_main.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// The titles the X server holds for the program's windows, as a window manager and
// the taskbar read them: exactly the windows' captions.
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
    const QList<std::pair<const char *, const char *>> windows{
        {"Form1", "Kartax2000®"},
        {"Form3", "About"},
        {"Form13", "Pełne dane"},
        {"Form10", "Wpisywanie danych do bazy programu Kartax2000®"}};
    for (const auto &[name, caption] : windows) {
        KaxForm *window = program->form(QLatin1String(name));
        window->showForm();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTRY_COMPARE(netWmName(*window), QString::fromUtf8(caption));
    }
    program.reset();
    DataFolder::setOverride(QString());
}

KARTAX_TEST_MAIN(TestX11WindowTitles)
#include "tst_x11_window_titles.moc"
