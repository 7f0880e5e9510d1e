#include "platform/password_store.h"

#include <QTest>

// The keyring without a desktop session, and the password command: its first output
// line, or why it gave none.
class TestPasswordStore : public QObject
{
    Q_OBJECT

private slots:
    void unreachableKeyringSaysSo();
    void passwordCommand_data();
    void passwordCommand();
};

void TestPasswordStore::unreachableKeyringSaysSo()
{
    // No session bus to reach a keyring through: every call fails at once, and says why.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("DISPLAY");
    const auto keyring = PasswordStore::system();
    QString password;
    QString error;
    QVERIFY(!keyring->write(QStringLiteral("CardDAV ewa@example.pl"), "x", &error));
    QVERIFY2(error.startsWith(QStringLiteral("Pęk kluczy pulpitu jest niedostępny: ")),
             qPrintable(error));
    QVERIFY(!keyring->read(QStringLiteral("CardDAV ewa@example.pl"), &password, &error));
    QVERIFY2(error.startsWith(QStringLiteral("Pęk kluczy pulpitu jest niedostępny: ")),
             qPrintable(error));
}

void TestPasswordStore::passwordCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("expected"); // the password, or the error
    QTest::newRow("first line, without its end")
        << QStringLiteral("printf 'zażółć gęślą\\r\\ndrugi wiersz\\n'") << true
        << QStringLiteral("zażółć gęślą");
    QTest::newRow("no line end") << QStringLiteral("printf x") << true << QStringLiteral("x");
    QTest::newRow("exit code and error line")
        << QStringLiteral("echo brak klucza >&2; echo nie; exit 3") << false
        << QStringLiteral("Polecenie hasła „echo brak klucza >&2; echo nie; exit 3” "
                          "zakończyło się kodem 3: brak klucza");
    QTest::newRow("no output") << QStringLiteral("true") << false
                               << QStringLiteral("Polecenie hasła „true” zakończyło się kodem 0, "
                                                 "lecz nie podało hasła.");
    QTest::newRow("killed") << QStringLiteral("kill -KILL $$") << false
                            << QStringLiteral("Polecenie hasła „kill -KILL $$” przerwało "
                                              "działanie.");
    QTest::newRow("waits for no input") << QStringLiteral("cat") << false
                                        << QStringLiteral("Polecenie hasła „cat” zakończyło się "
                                                          "kodem 0, lecz nie podało hasła.");
}

void TestPasswordStore::passwordCommand()
{
    QFETCH(QString, command);
    QFETCH(bool, ok);
    QFETCH(QString, expected);
    QString password;
    QString error;
    QCOMPARE(runPasswordCommand(command, &password, &error), ok);
    QCOMPARE(ok ? password : error, expected);
}

QTEST_GUILESS_MAIN(TestPasswordStore)
#include "tst_password_store.moc"
