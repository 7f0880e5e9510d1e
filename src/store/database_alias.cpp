#include "store/database_alias.h"

#include "platform/errors.h"
#include "platform/settings_store.h"

#include <QDir>
#include <QSqlError>

namespace {

const char kSQLite[] = "QSQLITE";
const char kPostgreSQL[] = "QPSQL";

// A value of a libpq connection string, quoted so that spaces and quotes survive.
QString conninfoValue(QString value)
{
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

} // namespace

DatabaseAlias DatabaseAlias::read(const QString &alias)
{
    DatabaseAlias result;
    result.m_name = alias;
    SettingsStore settings;
    if (!settings.openKey(QStringLiteral("Aliasy\\") + alias, false))
        return result;
    const QString driver = settings.readString(QStringLiteral("Driver")).trimmed();
    result.m_database = settings.readString(QStringLiteral("Database"));
    if (driver.isEmpty() || driver.compare(QLatin1String(kSQLite), Qt::CaseInsensitive) == 0)
        return result;
    if (driver.compare(QLatin1String(kPostgreSQL), Qt::CaseInsensitive) != 0)
        throw DatabaseError(
            QStringLiteral("Nieznany sterownik bazy danych „%1” w ustawieniach aliasu %2 "
                           "(klucz Aliasy\\%2, wartość Driver). Dozwolone są QSQLITE i QPSQL.")
                .arg(driver, alias));
    result.m_server = true;
    result.m_service = settings.readString(QStringLiteral("Service")).trimmed();
    result.m_host = settings.readString(QStringLiteral("Host")).trimmed();
    result.m_user = settings.readString(QStringLiteral("User"));
    const QString port = settings.readString(QStringLiteral("Port")).trimmed();
    if (!port.isEmpty()) {
        bool ok = false;
        result.m_port = port.toInt(&ok);
        if (!ok || result.m_port < 1 || result.m_port > 65535)
            throw DatabaseError(QStringLiteral("Nieprawidłowy port „%1” w ustawieniach aliasu %2 "
                                               "(klucz Aliasy\\%2, wartość Port).")
                                    .arg(port, alias));
    }
    return result;
}

QString DatabaseAlias::driverName() const
{
    return QLatin1String(m_server ? kPostgreSQL : kSQLite);
}

QString DatabaseAlias::serverPlace() const
{
    QString place = m_host.isEmpty() ? QStringLiteral("(gniazdo lokalne)") : m_host;
    if (m_port > 0)
        place += m_host.isEmpty() ? QStringLiteral(" port %1").arg(m_port)
                                  : QStringLiteral(":%1").arg(m_port);
    return place;
}

QString DatabaseAlias::describe() const
{
    if (!m_server)
        return m_database.isEmpty()
                   ? QStringLiteral("domyślny plik Kartax2000.db")
                   : QStringLiteral("plik ") + QDir::toNativeSeparators(m_database);
    if (!m_service.isEmpty())
        return QStringLiteral("usługa ") + m_service;
    QString text = QStringLiteral("serwer ") + serverPlace();
    if (!m_database.isEmpty())
        text += QStringLiteral(", baza ") + m_database;
    return text;
}

QSqlDatabase DatabaseAlias::open(const QString &connectionName) const
{
    if (!m_server)
        throw DatabaseError(
            QStringLiteral("Alias %1 wskazuje plik bazy danych, nie serwer.").arg(m_name));
    QSqlError error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(kPostgreSQL), connectionName);
        // Qt hands the connect options to libpq as part of its connection string.
        if (!m_service.isEmpty())
            db.setConnectOptions(QStringLiteral("service=") + conninfoValue(m_service));
        if (!m_host.isEmpty())
            db.setHostName(m_host);
        if (m_port > 0)
            db.setPort(m_port);
        if (!m_database.isEmpty())
            db.setDatabaseName(m_database);
        if (!m_user.isEmpty())
            db.setUserName(m_user);
        if (db.open())
            return db;
        error = db.lastError();
    }
    QSqlDatabase::removeDatabase(connectionName);
    const QString place =
        m_service.isEmpty() ? serverPlace() : QStringLiteral("usługi ") + m_service;
    const QString message =
        error.databaseText().trimmed().isEmpty() ? error.text() : error.databaseText().trimmed();
    throw DatabaseError(
        QStringLiteral("Nie można połączyć z serwerem bazy danych %1: %2").arg(place, message));
}
