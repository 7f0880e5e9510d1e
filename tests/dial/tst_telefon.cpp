#include "dial/telefon.h"
#include "platform/serial_port.h"
#include "platform/settings_store.h"
#include "support/scripted_dialogs.h"

#include "support/pseudo_terminal.h"

#include <QMetaProperty>
#include <QTest>

namespace {

void mapPort(const QString &port, const QString &device)
{
    SettingsStore store;
    QVERIFY(store.openKey(QStringLiteral("\\Kax\\Porty"), true));
    store.writeString(port, device);
}

const QString kQuestion = QStringLiteral("Czy to jest właściwy numer: %1. Czy dokonać połączenia?");
const QString kFinalText =
    QStringLiteral("Po zakończeniu wybierania przez modem, podnieś słuchawkę. Nciśnij OK ");

} // namespace

// The modem dialler against a pseudo-terminal standing in for the modem.
class TestTelefon final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void construction();
    void dialSendsCommandAndHangsUp_data();
    void dialSendsCommandAndHangsUp();
    void initStringGoesBeforeTheQuestion();
    void refusalClosesAndSendsNothing_data();
    void refusalClosesAndSendsNothing();
    void retryTriesAgainUntilThePortIsFree();
    void abortReportsNoConnection();
    void portsMapToTheirDevices();
    void secondDialReopensWithoutWarning();
    void failedWritesAreReportedAndClose();
    void controlCharactersNeverReachTheModem();
    void destructionReleasesThePortSilently();

private:
    std::unique_ptr<PseudoTerminal> m_modem;
};

void TestTelefon::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("KARTAX_TEST_SCRATCH"),
             "run through run_test.sh: this test writes the settings file");
}

void TestTelefon::init()
{
    m_modem = std::make_unique<PseudoTerminal>();
    QVERIFY(m_modem->isOpen());
    mapPort(QStringLiteral("COM1"), m_modem->path());
}

void TestTelefon::construction()
{
    TTelefon tt;
    QCOMPARE(tt.CPort(), TTelefon::COM2);
    QCOMPARE(tt.DMethod(), TTelefon::dmTone);
    QVERIFY(tt.InitStr().isEmpty());
    QCOMPARE(tt.TelNumber().size(), 7);
    QCOMPARE(tt.PortHandle(), -1);

    // Published properties, in order, readable through the property system.
    const QMetaObject *meta = tt.metaObject();
    QStringList names;
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
        names << QString::fromLatin1(meta->property(i).name());
    QCOMPARE(names, QStringList({"CPort", "InitStr", "DMethod", "TelNumber"}));
    QVERIFY(tt.setProperty("CPort", QVariant::fromValue(TTelefon::COM5)));
    QCOMPARE(tt.CPort(), TTelefon::COM5);
    QCOMPARE(TTelefon::portName(TTelefon::COM5), QStringLiteral("COM5"));
}

void TestTelefon::dialSendsCommandAndHangsUp_data()
{
    QTest::addColumn<TTelefon::TDMethod>("method");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("tone") << TTelefon::dmTone << "123" << QByteArray("ATDT123\r\n");
    QTest::newRow("pulse") << TTelefon::dmPulse << "123" << QByteArray("ATDP123\r\n");
    QTest::newRow("empty number") << TTelefon::dmTone << "" << QByteArray("ATDT\r\n");
    QTest::newRow("spaces kept") << TTelefon::dmPulse << "0 22 123-45"
                                 << QByteArray("ATDP0 22 123-45\r\n");
}

void TestTelefon::dialSendsCommandAndHangsUp()
{
    QFETCH(TTelefon::TDMethod, method);
    QFETCH(QString, number);
    QFETCH(QByteArray, command);

    InstalledScriptedDialogs dialogs;
    QByteArray atQuestion, atFinalBox;
    dialogs->queue([&](const DialogRequest &) {
        atQuestion = m_modem->received();
        return DialogButton::Yes;
    });
    dialogs->queue([&](const DialogRequest &) {
        atFinalBox = m_modem->received();
        return DialogButton::Ok;
    });

    TTelefon tt;
    tt.setCPort(TTelefon::COM1);
    tt.setDMethod(method);
    tt.setTelNumber(number);
    QVERIFY(tt.Dial());

    QCOMPARE(dialogs->requests().size(), 2);
    const DialogRequest &question = dialogs->requests().at(0);
    QCOMPARE(question.kind, DialogKind::Confirmation);
    QCOMPARE(question.caption, QStringLiteral("Confirm"));
    QCOMPARE(question.text, kQuestion.arg(number));
    QCOMPARE(question.buttons, QList<DialogButton>({DialogButton::Yes, DialogButton::No}));
    QCOMPARE(question.defaultButton, DialogButton::Yes);
    QCOMPARE(question.escapeButton, DialogButton::No);

    const DialogRequest &box = dialogs->requests().at(1);
    QCOMPARE(box.kind, DialogKind::Plain);
    QCOMPARE(box.caption, QStringLiteral("Komunikat połączenia ..."));
    QCOMPARE(box.text, kFinalText);
    QCOMPARE(box.buttons, QList<DialogButton>({DialogButton::Ok}));

    QCOMPARE(atQuestion, QByteArray()); // no initialisation string
    QCOMPARE(atFinalBox, command);
    QCOMPARE(m_modem->received(), QByteArray("ATH\r\n"));
    QVERIFY(tt.PortHandle() != -1); // a completed call keeps the port
}

void TestTelefon::initStringGoesBeforeTheQuestion()
{
    InstalledScriptedDialogs dialogs;
    QByteArray atQuestion;
    dialogs->queue([&](const DialogRequest &) {
        atQuestion = m_modem->received();
        return DialogButton::No;
    });
    TTelefon tt;
    tt.setCPort(TTelefon::COM1);
    tt.setInitStr(QStringLiteral("ATZ"));
    QVERIFY(!tt.Dial());
    QCOMPARE(atQuestion, QByteArray("ATZ\r\n"));
    QCOMPARE(dialogs->requests().size(), 1);
    QCOMPARE(m_modem->received(), QByteArray());
    QCOMPARE(tt.PortHandle(), -1);
}

void TestTelefon::refusalClosesAndSendsNothing_data()
{
    QTest::addColumn<DialogButton>("answer");
    QTest::newRow("No") << DialogButton::No;
    QTest::newRow("closed") << DialogButton::None;
}

void TestTelefon::refusalClosesAndSendsNothing()
{
    QFETCH(DialogButton, answer);
    InstalledScriptedDialogs dialogs;
    dialogs->queue(answer);
    TTelefon tt;
    tt.setCPort(TTelefon::COM1);
    tt.setTelNumber(QStringLiteral("123"));
    QVERIFY(!tt.Dial()); // declined: no call was made
    QCOMPARE(dialogs->requests().size(), 1);
    QCOMPARE(m_modem->received(), QByteArray());
    QCOMPARE(tt.PortHandle(), -1);
    // Closed for real: another program may take the port now.
    const int other = SerialPort::openDevice(m_modem->path());
    QVERIFY(other != SerialPort::InvalidHandle);
    SerialPort::close(other);
}

void TestTelefon::retryTriesAgainUntilThePortIsFree()
{
    int holder = SerialPort::openDevice(m_modem->path());
    QVERIFY(holder != SerialPort::InvalidHandle);

    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Retry);
    dialogs->queue(DialogButton::None); // closing the warning also retries
    dialogs->queue([&](const DialogRequest &) {
        SerialPort::close(holder); // the other program lets the port go
        holder = SerialPort::InvalidHandle;
        return DialogButton::Retry;
    });
    dialogs->queue(DialogButton::Yes);
    dialogs->queue(DialogButton::Ok);

    TTelefon tt;
    tt.setCPort(TTelefon::COM1);
    tt.setTelNumber(QStringLiteral("55"));
    tt.Dial();

    QCOMPARE(dialogs->requests().size(), 5);
    for (int i = 0; i < 3; ++i) {
        const DialogRequest &warning = dialogs->requests().at(i);
        QCOMPARE(warning.kind, DialogKind::Warning);
        QCOMPARE(warning.caption, QStringLiteral("Warning"));
        QCOMPARE(warning.text, QStringLiteral("Błąd operatora COM1"));
        QCOMPARE(warning.buttons, QList<DialogButton>({DialogButton::Abort, DialogButton::Retry}));
        QCOMPARE(warning.defaultButton, DialogButton::Retry);
    }
    QCOMPARE(dialogs->requests().at(3).text, kQuestion.arg(QStringLiteral("55")));
    QCOMPARE(m_modem->received(), QByteArray("ATDT55\r\nATH\r\n"));
}

void TestTelefon::abortReportsNoConnection()
{
    const int holder = SerialPort::openDevice(m_modem->path());
    QVERIFY(holder != SerialPort::InvalidHandle);
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Retry);
    dialogs->queue(DialogButton::Abort);
    dialogs->queue(DialogButton::Ok);
    TTelefon tt;
    tt.setCPort(TTelefon::COM1);
    tt.setInitStr(QStringLiteral("ATZ"));
    QVERIFY(!tt.Dial());
    SerialPort::close(holder);

    QCOMPARE(dialogs->texts(), QStringList({"Błąd operatora COM1", "Błąd operatora COM1",
                                            "Brak połączenia z portem "}));
    const DialogRequest &error = dialogs->requests().at(2);
    QCOMPARE(error.kind, DialogKind::Error);
    QCOMPARE(error.caption, QStringLiteral("Error"));
    QCOMPARE(error.buttons, QList<DialogButton>({DialogButton::Ok}));
    QCOMPARE(m_modem->received(), QByteArray());
    QCOMPARE(tt.PortHandle(), -1);
}

void TestTelefon::portsMapToTheirDevices()
{
    PseudoTerminal fifth;
    mapPort(QStringLiteral("COM5"), fifth.path());
    mapPort(QStringLiteral("COM3"), QStringLiteral("/nonexistent/ttyS2"));

    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Yes);
    dialogs->queue(DialogButton::Ok);
    TTelefon tt;
    tt.setCPort(TTelefon::COM5);
    tt.setTelNumber(QStringLiteral("5"));
    tt.Dial();
    QCOMPARE(fifth.received(), QByteArray("ATDT5\r\nATH\r\n"));
    QCOMPARE(m_modem->received(), QByteArray());

    dialogs->clear();
    dialogs->queue(DialogButton::Abort);
    dialogs->queue(DialogButton::Ok);
    tt.setCPort(TTelefon::COM3);
    tt.Dial();
    QCOMPARE(dialogs->texts(), QStringList({"Błąd operatora COM3", "Brak połączenia z portem "}));
    QCOMPARE(tt.PortHandle(), -1); // the open COM5 was released first
}

void TestTelefon::secondDialReopensWithoutWarning()
{
    InstalledScriptedDialogs dialogs;
    for (int i = 0; i < 2; ++i) {
        dialogs->queue(DialogButton::Yes);
        dialogs->queue(DialogButton::Ok);
    }
    TTelefon tt;
    tt.setCPort(TTelefon::COM1);
    tt.setTelNumber(QStringLiteral("1"));
    tt.Dial();
    QVERIFY(tt.PortHandle() != -1);
    tt.setDMethod(TTelefon::dmPulse);
    tt.setTelNumber(QStringLiteral("2"));
    tt.Dial();
    QCOMPARE(dialogs->requests().size(), 4);
    QCOMPARE(dialogs->requests().at(2).kind, DialogKind::Confirmation);
    QCOMPARE(m_modem->received(), QByteArray("ATDT1\r\nATH\r\nATDP2\r\nATH\r\n"));
}

void TestTelefon::failedWritesAreReportedAndClose()
{
    QVERIFY(m_modem->fill() > 0);
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    TTelefon tt;
    tt.setCPort(TTelefon::COM1);
    tt.setInitStr(QStringLiteral("ATZ"));
    QVERIFY(!tt.Dial());
    QCOMPARE(dialogs->texts(), QStringList({"Błąd initializing modemu "}));
    QCOMPARE(dialogs->requests().at(0).kind, DialogKind::Error);
    QCOMPARE(tt.PortHandle(), -1);

    dialogs->clear();
    dialogs->queue(DialogButton::Yes);
    dialogs->queue(DialogButton::Ok);
    tt.setInitStr(QString());
    QVERIFY(!tt.Dial());
    QCOMPARE(dialogs->texts(),
             QStringList({kQuestion.arg(tt.TelNumber()), "Błąd wybierania numeru "}));
    QCOMPARE(dialogs->requests().at(1).caption, QStringLiteral("Error"));
    QCOMPARE(tt.PortHandle(), -1);
    QVERIFY(!m_modem->received().contains("AT"));
}

void TestTelefon::controlCharactersNeverReachTheModem()
{
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Yes);
    dialogs->queue(DialogButton::Ok);
    TTelefon tt;
    tt.setCPort(TTelefon::COM1);
    tt.setTelNumber(QStringLiteral("12\r\nATH0\t3\x7f\u2028"));
    tt.Dial();
    QCOMPARE(dialogs->requests().at(0).text, kQuestion.arg(QStringLiteral("12ATH03")));
    QCOMPARE(m_modem->received(), QByteArray("ATDT12ATH03\r\nATH\r\n"));
}

void TestTelefon::destructionReleasesThePortSilently()
{
    {
        InstalledScriptedDialogs dialogs;
        dialogs->queue(DialogButton::Yes);
        dialogs->queue(DialogButton::Ok);
        TTelefon tt;
        tt.setCPort(TTelefon::COM1);
        tt.Dial();
        QVERIFY(tt.PortHandle() != -1);
        m_modem->received();
    }
    QCOMPARE(m_modem->received(), QByteArray());
    const int other = SerialPort::openDevice(m_modem->path());
    QVERIFY(other != SerialPort::InvalidHandle);
    SerialPort::close(other);
}

QTEST_GUILESS_MAIN(TestTelefon)
#include "tst_telefon.moc"
