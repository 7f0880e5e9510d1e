#include "support/contact_fixture.h"

#include "platform/settings_store.h"
#include "store/data_module.h"
#include "store/table.h"
#include "support/pg_test_server.h"

#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

void writeServerAlias(const PgTestServer &server, const QString &database)
{
    SettingsStore settings;
    settings.openKey(QStringLiteral("\\Aliasy\\Kax2000"), true);
    settings.writeString(QStringLiteral("Driver"), QStringLiteral("QPSQL"));
    settings.writeString(QStringLiteral("Host"), server.socketDir());
    settings.writeString(QStringLiteral("Port"), QString::number(server.port()));
    settings.writeString(QStringLiteral("Database"), database);
    settings.writeString(QStringLiteral("User"), server.user());
}

bool testingOnServer()
{
    return qgetenv("KARTAX_TEST_ENGINE") == "QPSQL";
}

namespace {

// The private server of a server run, started once for the whole test program.
PgTestServer &testServer()
{
    static PgTestServer server;
    if (!server.isRunning() && !server.start())
        qFatal("cannot start the private PostgreSQL server: %s",
               qPrintable(server.available() ? server.error() : server.unavailableReason()));
    return server;
}

} // namespace

ContactFixture::ContactFixture(bool inFile)
{
    if (testingOnServer() && !inFile) {
        static int databases = 0;
        m_serverDatabase = QStringLiteral("fixture%1").arg(++databases);
        if (!testServer().createDatabase(m_serverDatabase))
            qFatal("cannot create a database: %s", qPrintable(testServer().error()));
    }
    open();
}

ContactFixture::~ContactFixture() = default;

QString ContactFixture::databasePath() const
{
    return m_dir.filePath(QStringLiteral("Kartax2000.db"));
}

TTable &ContactFixture::table()
{
    return *m_dm->t1;
}

void ContactFixture::open()
{
    if (m_serverDatabase.isEmpty()) {
        m_dm = std::make_unique<TDM9>(nullptr, databasePath());
        return;
    }
    // The alias names the fixture's database; a test may have cleared the settings.
    writeServerAlias(testServer(), m_serverDatabase);
    m_dm = std::make_unique<TDM9>(nullptr, QString());
}

void ContactFixture::configure(TTable &other) const
{
    if (m_serverDatabase.isEmpty())
        other.setDatabaseFile(databasePath());
    else
        other.setDatabaseName(QStringLiteral("Kax2000"));
    other.setTableName(QStringLiteral("Kartax2000"));
}

QString ContactFixture::sql(const QString &statement)
{
    QSqlQuery query(table().database());
    if (!query.exec(statement))
        return QStringLiteral("<error: %1>").arg(query.lastError().text());
    QString rows;
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns << query.value(i).toString();
        rows += columns.join(QLatin1Char('|')) + QLatin1Char('\n');
    }
    return rows;
}

void ContactFixture::close()
{
    m_dm.reset();
}

void ContactFixture::add(const QString &name, const QString &branch, const QString &representative,
                         const QStringList &rest)
{
    insertContact(table(), name, branch, representative, rest);
}

void insertContact(TTable &t, const QString &name, const QString &branch,
                   const QString &representative, const QStringList &rest)
{
    t.insert();
    t.setFieldText(QStringLiteral("Nazwa"), name);
    t.setFieldText(QStringLiteral("Branza"), branch);
    t.setFieldText(QStringLiteral("Filia"), representative);
    const QStringList others{QStringLiteral("Kraj"),   QStringLiteral("Miasto"),
                             QStringLiteral("Kod"),    QStringLiteral("Ulica"),
                             QStringLiteral("Region"), QStringLiteral("Tel"),
                             QStringLiteral("Fax"),    QStringLiteral("Email"),
                             QStringLiteral("Http"),   QStringLiteral("Uwagi")};
    for (int i = 0; i < rest.size() && i < others.size(); ++i)
        t.setFieldText(others[i], rest[i]);
    t.post();
}

QStringList ContactFixture::walkForward(const QString &field)
{
    return ::walkForward(table(), field);
}

QStringList walkForward(TTable &t, const QString &field)
{
    QStringList values;
    t.first();
    while (!t.eof()) {
        values << t.fieldText(field);
        t.next();
    }
    return values;
}

QStringList ContactFixture::walkBackward(const QString &field)
{
    QStringList values;
    TTable &t = table();
    t.last();
    while (!t.bof()) {
        values << t.fieldText(field);
        t.prior();
    }
    return values;
}

QString ContactFixture::sqlite3Against(const QString &database, const QString &sql)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {database, sql});
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        qWarning("sqlite3 failed: %s", process.readAllStandardError().constData());
        return QStringLiteral("<sqlite3 failed>");
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}
