#include "platform/errors.h"
#include "platform/settings_store.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// The registry-like settings store over an INI file.
class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void defaultPathIsUnderConfigHome();
    void missingKeyOrValueReadsEmpty();
    void valueNamesIgnoreCase();
    void keyNamesIgnoreCaseAndRootPaths();
    void valueOfAnotherTypeRaises();
    void failedWriteRaises();
};

void TestSettingsStore::defaultPathIsUnderConfigHome()
{
    QCOMPARE(SettingsStore::defaultPath(), qEnvironmentVariable("XDG_CONFIG_HOME") +
                                               QStringLiteral("/Kartax2000/Kartax2000.ini"));
}

void TestSettingsStore::missingKeyOrValueReadsEmpty()
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("s.ini")));
    QVERIFY(!store.openKey(QStringLiteral("Kax"), false));
    QCOMPARE(store.readString(QStringLiteral("tel")), QString());
    QVERIFY(store.openKey(QStringLiteral("\\Kax"), true));
    QCOMPARE(store.readString(QStringLiteral("tel")), QString());
    store.writeString(QStringLiteral("Tel"), QStringLiteral("4"));
    store.closeKey();
    QVERIFY(store.openKey(QStringLiteral("Kax"), false));
    QCOMPARE(store.readString(QStringLiteral("Inna")), QString());
}

void TestSettingsStore::valueNamesIgnoreCase()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.ini"));
    {
        SettingsStore store(path);
        QVERIFY(store.openKey(QStringLiteral("\\Kax\\Podpis"), true));
        store.writeString(QStringLiteral("Nazwa3"), QStringLiteral("stara"));
        store.writeString(QStringLiteral("nazwa3"), QStringLiteral("nowa"));
        QCOMPARE(store.valueNames(), QStringList({QStringLiteral("Nazwa3")}));
    }
    SettingsStore again(path);
    QVERIFY(again.openKey(QStringLiteral("kax\\podpis"), false));
    QCOMPARE(again.readString(QStringLiteral("NAZWA3")), QStringLiteral("nowa"));
    QCOMPARE(again.currentPath(), QStringLiteral("Kax\\Podpis"));
}

void TestSettingsStore::keyNamesIgnoreCaseAndRootPaths()
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("s.ini")));
    QVERIFY(store.openKey(QStringLiteral("\\Kax"), true));
    store.writeString(QStringLiteral("Tel"), QStringLiteral("7"));
    // A relative path continues from the key that is open.
    QVERIFY(store.openKey(QStringLiteral("Porty"), true));
    store.writeString(QStringLiteral("COM1"), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(store.currentPath(), QStringLiteral("Kax\\Porty"));
    QVERIFY(store.openKey(QStringLiteral("\\KAX"), false));
    QCOMPARE(store.readString(QStringLiteral("tel")), QStringLiteral("7"));
    QVERIFY(store.openKey(QStringLiteral("\\kax\\porty"), false));
    QCOMPARE(store.readString(QStringLiteral("com1")), QStringLiteral("/dev/ttyUSB0"));
}

void TestSettingsStore::valueOfAnotherTypeRaises()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.ini"));
    {
        QSettings raw(path, QSettings::IniFormat);
        raw.setValue(QStringLiteral("Kax/Tel"), QByteArray("\x01\x02", 2));
    }
    SettingsStore store(path);
    QVERIFY(store.openKey(QStringLiteral("Kax"), false));
    try {
        store.readString(QStringLiteral("tel"));
        QFAIL("a binary value read as a string");
    } catch (const SettingsError &error) {
        QCOMPARE(error.message(), QStringLiteral("Invalid data type for 'tel'"));
    }
}

void TestSettingsStore::failedWriteRaises()
{
    QTemporaryDir dir;
    // The INI file's folder is a regular file, so nothing can be written.
    QFile blocker(dir.filePath(QStringLiteral("blocked")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsStore store(dir.filePath(QStringLiteral("blocked/s.ini")));
    QVERIFY(store.openKey(QStringLiteral("\\Kax"), true));
    try {
        store.writeString(QStringLiteral("Tel"), QStringLiteral("1"));
        QFAIL("a write into an impossible file succeeded");
    } catch (const SettingsError &error) {
        QCOMPARE(error.message(), QStringLiteral("Failed to set data for 'Tel'"));
    }
    SettingsStore closed(dir.filePath(QStringLiteral("other.ini")));
    QVERIFY_THROWS_EXCEPTION(SettingsError, closed.writeString(QStringLiteral("Tel"), "1"));
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
