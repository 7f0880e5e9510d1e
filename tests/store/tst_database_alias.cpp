#include "platform/errors.h"
#include "platform/settings_store.h"
#include "store/database_alias.h"
#include "support/pg_test_server.h"

#include <QFile>
#include <QHostAddress>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

// The database alias read from the settings store, and opened on a private server.
class TestDatabaseAlias : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void readsSettings_data();
    void readsSettings();
    void opensServer_data();
    void opensServer();

private:
    void writeAlias(const QStringList &values);
    // Writes the alias Kax2000 and reads it: its fields, or the error's message.
    QString readAlias(const QStringList &values);
    // Writes the alias Kax2000 and opens it: the first row of `sql` as "a|b|c", or
    // the error's message.
    QString openAndQuery(const QStringList &values, const QString &sql);

    PgTestServer m_server;
    QTemporaryDir m_serviceDir;
};

void TestDatabaseAlias::initTestCase()
{
    if (!m_server.available())
        return;
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    QVERIFY2(m_server.createDatabase(QStringLiteral("kontakty")), qPrintable(m_server.error()));
    // Passwords the user keeps for libpq; trust lets them go unused, and no message shows them.
    QFile services(m_serviceDir.filePath(QStringLiteral("pg_service.conf")));
    QVERIFY(services.open(QIODevice::WriteOnly));
    const auto service = [&](const char *name, const char *database) {
        services.write(QStringLiteral("[%1]\nhost=127.0.0.1\nport=%2\ndbname=%3\nuser=kartax\n"
                                      "password=tajne-z-uslugi\n\n")
                           .arg(QLatin1String(name))
                           .arg(m_server.port())
                           .arg(QLatin1String(database))
                           .toUtf8());
    };
    service("biuro", "kontakty");
    service("bez-bazy", "nie_ma_takiej");
    services.close();
    qputenv("PGSERVICEFILE", QFile::encodeName(services.fileName()));
    qputenv("PGPASSWORD", "tajne-ze-srodowiska");
}

void TestDatabaseAlias::init()
{
    QFile::remove(SettingsStore::defaultPath());
}

void TestDatabaseAlias::writeAlias(const QStringList &values)
{
    if (values.isEmpty())
        return;
    SettingsStore settings;
    QVERIFY(settings.openKey(QStringLiteral("\\Aliasy\\Kax2000"), true));
    for (const QString &value : values)
        settings.writeString(value.section(QLatin1Char('='), 0, 0),
                             value.section(QLatin1Char('='), 1));
}

QString TestDatabaseAlias::readAlias(const QStringList &values)
{
    writeAlias(values);
    try {
        const DatabaseAlias alias = DatabaseAlias::read(QStringLiteral("Kax2000"));
        return QStringList({alias.isServer() ? QStringLiteral("server") : QStringLiteral("file"),
                            alias.driverName(), alias.service(), alias.host(),
                            QString::number(alias.port()), alias.database(), alias.user(),
                            alias.describe()})
            .join(QLatin1Char('|'));
    } catch (const DatabaseError &error) {
        return error.message();
    }
}

void TestDatabaseAlias::readsSettings_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("read"); // kind|driver|service|host|port|database|user|description

    QTest::newRow("no alias") << QStringList() << "file|QSQLITE|||0|||domyślny plik Kartax2000.db";
    QTest::newRow("file") << QStringList{"Driver=", "Database=/srv/kartax/Kartax2000.db"}
                          << "file|QSQLITE|||0|/srv/kartax/Kartax2000.db||"
                             "plik /srv/kartax/Kartax2000.db";
    QTest::newRow("server") << QStringList{"Driver=QPSQL", "Host=127.0.0.1", "Port=5432",
                                           "Database=kontakty", "User=ania"}
                            << "server|QPSQL||127.0.0.1|5432|kontakty|ania|"
                               "serwer 127.0.0.1:5432, baza kontakty";
    QTest::newRow("service") << QStringList{"driver= qpsql ", "Service=biuro"}
                             << "server|QPSQL|biuro||0|||usługa biuro";
    QTest::newRow("local socket") << QStringList{"Driver=QPSQL", "Port=5433"}
                                  << "server|QPSQL|||5433|||serwer (gniazdo lokalne) port 5433";
    QTest::newRow("unknown driver") << QStringList{"Driver=MYSQL", "Host=db"}
                                    << "Nieznany sterownik bazy danych „MYSQL” w ustawieniach "
                                       "aliasu Kax2000 (klucz Aliasy\\Kax2000, wartość Driver). "
                                       "Dozwolone są QSQLITE i QPSQL.";
    QTest::newRow("bad port") << QStringList{"Driver=QPSQL", "Port=54x32"}
                              << "Nieprawidłowy port „54x32” w ustawieniach aliasu Kax2000 "
                                 "(klucz Aliasy\\Kax2000, wartość Port).";
}

void TestDatabaseAlias::readsSettings()
{
    QFETCH(QStringList, values);
    QFETCH(QString, read);
    QCOMPARE(readAlias(values), read);
}

QString TestDatabaseAlias::openAndQuery(const QStringList &values, const QString &sql)
{
    writeAlias(values);
    QString row;
    try {
        QSqlDatabase db =
            DatabaseAlias::read(QStringLiteral("Kax2000")).open(QStringLiteral("alias"));
        QSqlQuery query(db);
        if (!query.exec(sql))
            row = QStringLiteral("error: ") + query.lastError().text();
        else if (query.next())
            for (int i = 0; i < query.record().count(); ++i)
                row += (i ? QStringLiteral("|") : QString()) + query.value(i).toString();
    } catch (const DatabaseError &error) {
        row = error.message();
        if (QSqlDatabase::contains(QStringLiteral("alias")))
            row += QStringLiteral(" (and the connection was left behind)");
    }
    QSqlDatabase::removeDatabase(QStringLiteral("alias"));
    return row;
}

void TestDatabaseAlias::opensServer_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("serverSays");

    const QString port = QString::number(m_server.port());
    const QString opened = "kontakty|kartax|127.0.0.1|" + port;
    QTest::newRow("host and port") << QStringList{"Driver=QPSQL", "Host=127.0.0.1", "Port=" + port,
                                                  "Database=kontakty", "User=kartax"}
                                   << opened << "";
    QTest::newRow("service") << QStringList{"Driver=QPSQL", "Service=biuro"} << opened << "";

    QTcpServer probe; // a port nothing listens on once the probe lets it go
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const QString closed = QString::number(probe.serverPort());
    probe.close();
    QTest::newRow("closed port") << QStringList{"Driver=QPSQL", "Host=127.0.0.1", "Port=" + closed,
                                                "User=kartax"}
                                 << "Nie można połączyć z serwerem bazy danych 127.0.0.1:" +
                                        closed + ": "
                                 << "Connection refused";
    QTest::newRow("service without its database")
        << QStringList{"Driver=QPSQL", "Service=bez-bazy"}
        << "Nie można połączyć z serwerem bazy danych usługi bez-bazy: "
        << "database \"nie_ma_takiej\" does not exist";
}

void TestDatabaseAlias::opensServer()
{
    if (!m_server.available())
        QSKIP(qPrintable(m_server.unavailableReason()));
    QFETCH(QStringList, values);
    QFETCH(QString, start);
    QFETCH(QString, serverSays);
    // The passwords in the service file and PGPASSWORD never show.
    const QString result = openAndQuery(values, QStringLiteral("SELECT current_database(), "
                                                               "current_user, inet_server_addr(), "
                                                               "inet_server_port()"));
    QVERIFY2(result.startsWith(start) && result.contains(serverSays) &&
                 !result.contains(QStringLiteral("tajne")) && !result.contains(" (and"),
             qPrintable(result));
}

QTEST_GUILESS_MAIN(TestDatabaseAlias)
#include "tst_database_alias.moc"
