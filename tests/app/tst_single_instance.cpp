#include "app/single_instance.h"

#include <QDBusConnection>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

// One running copy: a later start hands its request to it over a private session bus.
class TestSingleInstance final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void laterStartsHandTheirRequestsToTheRunningCopy();
    void withoutBusTheProgramRunsAlone();

private:
    QProcess m_daemon;
    QString m_address;
};

void TestSingleInstance::initTestCase()
{
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--print-address"),
                    QStringLiteral("--nofork")});
    QVERIFY2(m_daemon.waitForStarted(), "dbus-daemon (package dbus-daemon) is needed");
    QVERIFY(m_daemon.waitForReadyRead(10000));
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    QVERIFY(!m_address.isEmpty());
}

void TestSingleInstance::cleanupTestCase()
{
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

void TestSingleInstance::laterStartsHandTheirRequestsToTheRunningCopy()
{
    // Each copy of the program has a connection of its own.
    const auto connection = [this](const char *name) {
        return QDBusConnection::connectToBus(m_address, QString::fromLatin1(name));
    };
    {
        DBusSingleInstance first(connection("first"));
        QSignalSpy requests(&first, &SingleInstance::requested);
        QCOMPARE(first.claim(QString()), SingleInstance::Claim::First);
        DBusSingleInstance second(connection("second"));
        QCOMPARE(second.claim(QStringLiteral("karta ż.vcf")), SingleInstance::Claim::Forwarded);
        DBusSingleInstance third(connection("third"));
        QCOMPARE(third.claim(QString()), SingleInstance::Claim::Forwarded);
        QTRY_COMPARE(requests.size(), 2);
        QCOMPARE(requests.at(0).at(0).toString(),
                 QDir::current().absoluteFilePath(QStringLiteral("karta ż.vcf")));
        QCOMPARE(requests.at(1).at(0).toString(), QString());
    }
    // Once the running copy has ended, the next start runs the program.
    DBusSingleInstance next(connection("next"));
    QCOMPARE(next.claim(QString()), SingleInstance::Claim::First);
}

void TestSingleInstance::withoutBusTheProgramRunsAlone()
{
    DBusSingleInstance alone(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none")));
    QCOMPARE(alone.claim(QStringLiteral("karta.vcf")), SingleInstance::Claim::Alone);
}

QTEST_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
