#include "messaging/favourites_window.h"
#include "messaging/web_command.h"
#include "platform/clock.h"
#include "platform/data_folder.h"
#include "platform/shell_open.h"
#include "support/kartax_test_main.h"
#include "support/recording_shell.h"
#include "support/scripted_dialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

// The main window's web command, and which addresses any command may hand to
// the browser at all.
class TestWebCommand final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void webAddressesAreOpened_data();
    void webAddressesAreOpened();
    void otherAddressesAreRefused_data();
    void otherAddressesAreRefused();
    void emptyOrUntakenHttpIsExplained();
    void favouriteOfAnotherSchemeIsNotOpened();
    void telAndMapUrls_data();
    void telAndMapUrls();

private:
    RecordingShell *m_shell = nullptr;
    std::unique_ptr<InstalledScriptedDialogs> m_dialogs;
    QStringList m_history;
};

void TestWebCommand::init()
{
    Clock::setSource([] { return QDateTime(QDate(2024, 3, 5), QTime(14, 5, 9)); });
    m_shell = new RecordingShell;
    m_dialogs = std::make_unique<InstalledScriptedDialogs>();
    m_history.clear();
}

void TestWebCommand::cleanup()
{
    m_dialogs.reset();
    delete m_shell;
    Clock::setSource({});
}

void TestWebCommand::webAddressesAreOpened_data()
{
    QTest::addColumn<QString>("http");
    QTest::addColumn<QString>("opened");
    QTest::newRow("no scheme") << "www.onet.pl"
                               << "http://www.onet.pl";
    QTest::newRow("http") << "http://x.pl/a?b=c&d#e"
                          << "http://x.pl/a?b=c&d#e";
    QTest::newRow("https") << "https://www.wp.pl"
                           << "https://www.wp.pl";
    QTest::newRow("ftp") << "ftp://ftp.icm.edu.pl/pub"
                         << "ftp://ftp.icm.edu.pl/pub";
    QTest::newRow("capitals") << "HTTP://WWW.ONET.PL"
                              << "HTTP://WWW.ONET.PL";
    QTest::newRow("host and port") << "intranet:8080/strona"
                                   << "http://intranet:8080/strona";
    QTest::newRow("Polish host") << "żółw.pl"
                                 << "http://żółw.pl";
}

void TestWebCommand::webAddressesAreOpened()
{
    QFETCH(QString, http);
    QFETCH(QString, opened);
    webCommand(http, [this](const QString &line) { m_history << line; });
    QCOMPARE(m_shell->urls, QStringList{opened});
    QCOMPARE(m_history, QStringList{http + " dnia 05 wtorek marzec 2024 godzina 14:05:09"});
}

void TestWebCommand::otherAddressesAreRefused_data()
{
    QTest::addColumn<QString>("http");
    QTest::newRow("file URL") << "file:///etc/passwd";
    QTest::newRow("program path") << "/usr/bin/xterm";
    QTest::newRow("drive path") << "C:\\Windows\\notepad.exe";
    QTest::newRow("network share") << "\\\\serwer\\udzial\\program.exe";
    QTest::newRow("script") << "javascript:alert(1)";
    QTest::newRow("letter") << "mailto:jan@firma.pl";
    QTest::newRow("other scheme") << "smb://serwer/udzial";
}

void TestWebCommand::otherAddressesAreRefused()
{
    QFETCH(QString, http);
    (*m_dialogs)->queue(DialogButton::Ok);
    QVERIFY(!webCommand(http, [this](const QString &line) { m_history << line; }));
    QVERIFY2(m_shell->urls.isEmpty(), qPrintable(m_shell->last()));
    // Nothing was visited: the user is told why, and the history stays as it was.
    QCOMPARE((*m_dialogs)->texts(),
             QStringList{QStringLiteral("„%1” nie jest adresem strony internetowej.\n"
                                        "Otwierane są tylko adresy http, https i ftp.")
                             .arg(http)});
    QCOMPARE(m_history, QStringList());
}

void TestWebCommand::emptyOrUntakenHttpIsExplained()
{
    (*m_dialogs)->queue(DialogButton::Ok);
    (*m_dialogs)->queue(DialogButton::Ok);
    const HistoryAppender log = [this](const QString &line) { m_history << line; };
    QVERIFY(!webCommand(QStringLiteral("  "), log));
    QVERIFY(m_shell->urls.isEmpty());
    m_shell->accepts = false; // the desktop has no browser that takes it
    QVERIFY(!webCommand(QStringLiteral("www.onet.pl"), log));
    QCOMPARE(m_shell->urls, QStringList{QStringLiteral("http://www.onet.pl")});
    QCOMPARE((*m_dialogs)->texts(),
             (QStringList{QStringLiteral("Ten kontakt nie ma adresu internetowego."),
                          QStringLiteral("Nie udało się otworzyć adresu www.onet.pl w "
                                         "przeglądarce.")}));
    QCOMPARE(m_history, QStringList());
}

void TestWebCommand::favouriteOfAnotherSchemeIsNotOpened()
{
    QTemporaryDir dir;
    DataFolder::setOverride(dir.path());
    TForm2 window;
    window.setHistory([this](const QString &line) { m_history << line; });
    QTest::keyClicks(window.findChild<QLineEdit *>("Edit1"), QStringLiteral("file:///bin/sh"));
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::Ok);
    window.SpeedButton13Click();
    QVERIFY(m_shell->urls.isEmpty());
    // Not opened: said why, and no history line.
    QCOMPARE(dialogs->texts(), QStringList{"„file:///bin/sh” nie jest adresem strony "
                                           "internetowej.\nOtwierane są tylko adresy http, "
                                           "https i ftp."});
    QCOMPARE(m_history, QStringList());
    DataFolder::setOverride(QString());
}

void TestWebCommand::telAndMapUrls_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("tel");
    QTest::addColumn<QStringList>("address");
    QTest::addColumn<QString>("map");
    const QString search = QStringLiteral("https://www.openstreetmap.org/search?query=");
    QTest::newRow("spaces, Polish letters")
        << "22 555 01 02"
        << "tel:225550102" << QStringList{"Żółta 5", "00-950", "Łódź", "Polska"}
        << search + "%C5%BB%C3%B3%C5%82ta%205%2C%2000-950%2C%20"
                    "%C5%81%C3%B3d%C5%BA%2C%20Polska";
    QTest::newRow("extension, & and #")
        << "+48 (22) 555-01-02 wew. 31"
        << "tel:+48225550102" << QStringList{"Al. Jana & Anny 3/5 #2", "", " Kraków ", ""}
        << search + "Al.%20Jana%20%26%20Anny%203%2F5%20%232%2C%20Krak%C3%B3w";
    QTest::newRow("plus inside, Wew")
        << "0 22 555+01 Wew.12"
        << "tel:02255501" << QStringList{"a+b=c?", "", "", ""} << search + "a%2Bb%3Dc%3F";
    QTest::newRow("nothing to dial or find") << "brak"
                                             << "" << QStringList{"", " ", "", ""} << "";
}

void TestWebCommand::telAndMapUrls()
{
    QFETCH(QString, number);
    QFETCH(QStringList, address);
    QTEST(ShellOpen::telUri(number), "tel");
    QTEST(ShellOpen::mapUrl(address[0], address[1], address[2], address[3]), "map");
}

KARTAX_POLISH_TEST_MAIN(TestWebCommand)

#include "tst_web_command.moc"
