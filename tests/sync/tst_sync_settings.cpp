#include "platform/settings_store.h"
#include "support/memory_password_store.h"
#include "sync/sync_settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The CardDAV settings in the settings file, and where the password comes from.
class TestSyncSettings : public QObject
{
    Q_OBJECT

private slots:
    void roundTripThroughTheFile();
    void bookAndKey_data();
    void bookAndKey();
    void passwordSources();
};

void TestSyncSettings::roundTripThroughTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("k.ini"));
    {
        SettingsStore store(path);
        QCOMPARE(CardDavSettings::load(store).interval, 0); // nothing stored yet
        CardDavSettings settings{QStringLiteral("https://dav.example.pl/"), QStringLiteral("ewa"),
                                 QStringLiteral("https://dav.example.pl/ewa/firma/"), 15,
                                 QStringLiteral("pass show carddav")};
        settings.save(store);
    }
    SettingsStore store(path);
    const CardDavSettings loaded = CardDavSettings::load(store);
    QCOMPARE(loaded.url, QStringLiteral("https://dav.example.pl/"));
    QCOMPARE(loaded.user, QStringLiteral("ewa"));
    QCOMPARE(loaded.addressBook, QStringLiteral("https://dav.example.pl/ewa/firma/"));
    QCOMPARE(loaded.interval, 15);
    QCOMPARE(loaded.passwordCommand, QStringLiteral("pass show carddav"));
    QVERIFY(loaded.configured());

    // An interval that is no count of minutes reads as "by hand".
    for (const char *interval : {"-5", "co godzinę"}) {
        QVERIFY(store.openKey(QStringLiteral("\\Kax\\CardDAV"), false));
        store.writeString(QStringLiteral("interval"), QString::fromUtf8(interval));
        QCOMPARE(CardDavSettings::load(store).interval, 0);
    }
}

void TestSyncSettings::bookAndKey_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("addressBook");
    QTest::addColumn<QString>("book");
    QTest::addColumn<QString>("key");
    QTest::newRow("chosen book") << "http://127.0.0.1:5232/"
                                 << "http://127.0.0.1:5232/ewa/k/"
                                 << "http://127.0.0.1:5232/ewa/k/"
                                 << "CardDAV ewa@127.0.0.1";
    QTest::newRow("server is the book") << "https://dav.example.pl/ewa/"
                                        << ""
                                        << "https://dav.example.pl/ewa/"
                                        << "CardDAV ewa@dav.example.pl";
    QTest::newRow("no scheme: https") << "dav.example.pl:8443/dav"
                                      << ""
                                      << "https://dav.example.pl:8443/dav"
                                      << "CardDAV ewa@dav.example.pl";
    QTest::newRow("path alone") << "/dav/"
                                << ""
                                << ""
                                << "CardDAV ewa@";
    QTest::newRow("not a web address") << "ftp://dav.example.pl/"
                                       << ""
                                       << ""
                                       << "CardDAV ewa@";
}

void TestSyncSettings::bookAndKey()
{
    QFETCH(QString, url);
    QFETCH(QString, addressBook);
    QFETCH(QString, book);
    QFETCH(QString, key);
    const CardDavSettings settings{url, QStringLiteral("ewa"), addressBook, 0, {}};
    QCOMPARE(settings.book().toString(), book);
    QCOMPARE(settings.configured(), !book.isEmpty());
    QCOMPARE(settings.keyringKey(), key);
}

void TestSyncSettings::passwordSources()
{
    MemoryPasswordStore keyring;
    CardDavSettings settings{
        QStringLiteral("https://dav.example.pl/"), QStringLiteral("ewa"), {}, 0, {}};
    QString password;
    QString error;
    QVERIFY(!settings.password(keyring, &password, &error));
    QCOMPARE(error, QStringLiteral("Brak hasła w pęku kluczy dla „CardDAV ewa@dav.example.pl”."));
    QVERIFY(keyring.write(settings.keyringKey(), QStringLiteral("z pęku"), &error));
    QVERIFY(settings.password(keyring, &password, &error));
    QCOMPARE(password, QStringLiteral("z pęku"));
    // A command, when set, comes before the keyring.
    settings.passwordCommand = QStringLiteral("echo z polecenia");
    QVERIFY(settings.password(keyring, &password, &error));
    QCOMPARE(password, QStringLiteral("z polecenia"));
    settings.passwordCommand = QStringLiteral("exit 2");
    QVERIFY(!settings.password(keyring, &password, &error));
    QCOMPARE(error, QStringLiteral("Polecenie hasła „exit 2” zakończyło się kodem 2."));
}

QTEST_GUILESS_MAIN(TestSyncSettings)
#include "tst_sync_settings.moc"
