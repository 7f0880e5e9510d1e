#include "dial/call_command.h"
#include "dial/dial_setting.h"
#include "dial/telefon.h"
#include "history/history_window.h"
#include "platform/clock.h"
#include "platform/data_folder.h"
#include "platform/errors.h"
#include "platform/serial_port.h"
#include "platform/settings_store.h"
#include "support/kartax_test_main.h"
#include "support/scripted_dialogs.h"

#include "support/pseudo_terminal.h"
#include "support/recording_shell.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <array>

namespace {
// The history window as the call command's history appender, as the program wires it.
HistoryAppender appender(TForm11 &history)
{
    return [&history](const QString &line) { history.appendLine(line); };
}
} // namespace

// The call command: the dialling setting chooses port and method, the dialler
// dials, and a history line follows each call that was made.
class TestCallCommand final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void settingChoosesPortAndMethod_data();
    void settingChoosesPortAndMethod();
    void invalidSettingPlacesNoCall_data();
    void invalidSettingPlacesNoCall();
    void historyLineOnlyForCallsMade_data();
    void historyLineOnlyForCallsMade();
    void settingIsReadWithoutCase();
    void desktopTelephoneTakesTelUrl();

private:
    std::array<std::unique_ptr<PseudoTerminal>, 4> m_ports;
    std::unique_ptr<QTemporaryDir> m_dataDir;
};

void TestCallCommand::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("KARTAX_TEST_SCRATCH"),
             "run through run_test.sh: this test writes the settings file");
    QCOMPARE(QLocale::system().name(), QStringLiteral("pl_PL"));
    Clock::setSource([] { return QDateTime(QDate(2025, 1, 7), QTime(14, 5, 9)); });
}

void TestCallCommand::init()
{
    m_dataDir = std::make_unique<QTemporaryDir>();
    DataFolder::setOverride(m_dataDir->path());
    SettingsStore store;
    QVERIFY(store.openKey(QStringLiteral("\\Kax\\Porty"), true));
    for (int i = 0; i < 4; ++i) {
        m_ports[i] = std::make_unique<PseudoTerminal>();
        QVERIFY(m_ports[i]->isOpen());
        store.writeString(QStringLiteral("COM%1").arg(i + 1), m_ports[i]->path());
    }
}

void TestCallCommand::cleanup()
{
    DataFolder::setOverride(QString());
}

void TestCallCommand::settingChoosesPortAndMethod_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("0") << "0" << 0 << QByteArray("ATDP");
    QTest::newRow("1") << "1" << 1 << QByteArray("ATDP");
    QTest::newRow("2") << "2" << 2 << QByteArray("ATDP");
    QTest::newRow("3") << "3" << 3 << QByteArray("ATDP");
    QTest::newRow("4") << "4" << 0 << QByteArray("ATDT");
    QTest::newRow("5") << "5" << 1 << QByteArray("ATDT");
    QTest::newRow("6") << "6" << 2 << QByteArray("ATDT");
    QTest::newRow("7") << "7" << 3 << QByteArray("ATDT");
}

void TestCallCommand::settingChoosesPortAndMethod()
{
    QFETCH(QString, setting);
    QFETCH(int, port);
    QFETCH(QByteArray, command);

    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Yes);
    dialogs->queue(DialogButton::Ok);
    TTelefon tt1;
    TForm11 history;
    callCommand(setting, QStringLiteral("123"), tt1, appender(history));

    for (int i = 0; i < 4; ++i) {
        QCOMPARE(m_ports[i]->received(),
                 i == port ? command + QByteArray("123\r\nATH\r\n") : QByteArray());
    }
    QCOMPARE(int(tt1.CPort()), port);
    QCOMPARE(tt1.TelNumber(), QStringLiteral("123"));
    QCOMPARE(history.lines().size(), 2);
}

void TestCallCommand::invalidSettingPlacesNoCall_data()
{
    QTest::addColumn<QString>("setting");
    QTest::newRow("9") << "9";
    QTest::newRow("04") << "04";
    QTest::newRow("leading space") << " 4";
    QTest::newRow("trailing space") << "4 ";
    QTest::newRow("empty") << "";
    QTest::newRow("COM1") << "COM1";
    QTest::newRow("full-width digit") << "\uff14";
}

void TestCallCommand::invalidSettingPlacesNoCall()
{
    QFETCH(QString, setting);
    QVERIFY(!DialSetting::choice(setting));

    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    TTelefon tt1;
    TForm11 history;
    QVERIFY(!callCommand(setting, QStringLiteral("123"), tt1, appender(history)));
    // No call: the user learns why, and the history gets no line.
    QCOMPARE(dialogs->texts(), QStringList{QStringLiteral("Nie wybrano sposobu wybierania numeru.\n"
                                                          "Wybierz modem albo telefon systemowy "
                                                          "w menu „Ustawienia” → „Modem”.")});
    for (auto &port : m_ports)
        QCOMPARE(port->received(), QByteArray());
    QCOMPARE(tt1.PortHandle(), -1);
    QCOMPARE(history.lines(), QStringList{QString()});
}

void TestCallCommand::historyLineOnlyForCallsMade_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QList<DialogButton>>("answers");
    QTest::addColumn<QString>("line"); // empty: no line
    const QString prefix = QStringLiteral("Połączenie telefoniczne z numerem :  ");
    const QString suffix = QStringLiteral(" dnia 07 wtorek styczeń 2025 godzina 14:05:09");
    const QList<DialogButton> dialled{DialogButton::Yes, DialogButton::Ok};
    QTest::newRow("completed") << "22 555 01 02" << dialled << prefix + "22 555 01 02" + suffix;
    QTest::newRow("declined") << "123" << QList<DialogButton>{DialogButton::No} << QString();
    QTest::newRow("empty number") << "" << dialled << prefix + suffix;
    QTest::newRow("control characters") << "12\r\n3" << dialled << prefix + "123" + suffix;
}

void TestCallCommand::historyLineOnlyForCallsMade()
{
    QFETCH(QString, number);
    QFETCH(QList<DialogButton>, answers);
    QFETCH(QString, line);

    InstalledScriptedDialogs dialogs;
    for (DialogButton answer : answers)
        dialogs->queue(answer);
    TTelefon tt1;
    TForm11 history;
    QCOMPARE(callCommand(QStringLiteral("4"), number, tt1, appender(history)), !line.isEmpty());
    QCOMPARE(dialogs->pending(), 0);
    const QStringList lines = line.isEmpty() ? QStringList{QString()} : QStringList{{}, line};
    QCOMPARE(history.lines(), lines);

    // A port that cannot be opened leaves no line.
    const int holder = SerialPort::openDevice(m_ports[1]->path());
    dialogs->queue(DialogButton::Abort);
    dialogs->queue(DialogButton::Ok);
    QVERIFY(!callCommand(QStringLiteral("5"), number, tt1, appender(history)));
    SerialPort::close(holder);
    QCOMPARE(dialogs->texts().last(), QStringLiteral("Brak połączenia z portem "));
    QCOMPARE(history.lines(), lines);
}

void TestCallCommand::settingIsReadWithoutCase()
{
    QCOMPARE(DialSetting::read(QStringLiteral("tel")), QString());
    QVERIFY(DialSetting::store(QStringLiteral("5")));
    QCOMPARE(DialSetting::read(QStringLiteral("tel")), QStringLiteral("5"));
    QCOMPARE(DialSetting::read(QStringLiteral("Tel")), QStringLiteral("5"));

    // A value of another type is an error for the reader to report.
    {
        QSettings ini(SettingsStore::defaultPath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Kax/Tel"), QStringList({"4", "5"}));
    }
    try {
        DialSetting::read(QStringLiteral("tel"));
        QFAIL("a value of another type must raise");
    } catch (const SettingsError &error) {
        QCOMPARE(error.message(), QStringLiteral("Invalid data type for 'tel'"));
    }
}

void TestCallCommand::desktopTelephoneTakesTelUrl()
{
    const QString line = QStringLiteral("Połączenie telefoniczne z numerem :  +48 22 555-01-02 "
                                        "wew. 7 dnia 07 wtorek styczeń 2025 godzina 14:05:09");
    InstalledScriptedDialogs dialogs;
    RecordingShell shell;
    TTelefon tt1;
    TForm11 history;
    const QString number = QStringLiteral("+48 22 555-01-02 wew. 7");
    QVERIFY(callCommand(QStringLiteral("8"), number, tt1, appender(history)));
    QCOMPARE(shell.urls, QStringList{QStringLiteral("tel:+48225550102")});
    // No call made, each told and none logged: nothing to dial, a desktop that
    // refuses the number, no telephone program on the desktop.
    for (int i = 0; i < 3; ++i)
        dialogs->queue(DialogButton::Ok);
    QVERIFY(!callCommand(QStringLiteral("8"), QStringLiteral("brak"), tt1, appender(history)));
    shell.accepts = false;
    QVERIFY(!callCommand(QStringLiteral("8"), number, tt1, appender(history)));
    shell.handled.clear();
    QVERIFY(!callCommand(QStringLiteral("8"), number, tt1, appender(history)));
    QCOMPARE(shell.urls.size(), 2);
    const QStringList texts = dialogs->texts();
    QCOMPARE(texts.size(), 3);
    QCOMPARE(texts[0], QStringLiteral("Ten kontakt nie ma numeru telefonu do wybrania."));
    QCOMPARE(texts[1],
             QStringLiteral("Nie udało się przekazać numeru +48225550102 do programu telefonu."));
    QVERIFY(texts[2].startsWith(QStringLiteral("Brak programu")));
    for (auto &port : m_ports)
        QCOMPARE(port->received(), QByteArray());
    QCOMPARE(history.lines(), QStringList({QString(), line}));
}

KARTAX_POLISH_TEST_MAIN(TestCallCommand)

#include "tst_call_command.moc"
