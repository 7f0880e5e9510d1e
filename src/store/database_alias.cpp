#include "store/database_alias.h"

#include "platform/data_folder.h"
#include "platform/errors.h"
#include "platform/settings_store.h"
#include "store/contact_schema.h"
#include "store/sql_engine.h"

#include <QDir>
#include <QFileInfo>

namespace {

const char kSQLite[] = "QSQLITE";
const char kPostgreSQL[] = "QPSQL";

} // namespace

DatabaseAlias::DatabaseAlias() : m_engine(&SqlEngine::forDriver(QLatin1String(kSQLite))) {}

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
    result.m_engine = &SqlEngine::forDriver(QLatin1String(kPostgreSQL));
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

DatabaseAlias DatabaseAlias::ofFile(const QString &path)
{
    DatabaseAlias result;
    result.m_database = path;
    result.m_namesFile = false;
    return result;
}

bool DatabaseAlias::isServer() const
{
    return !m_engine->inFile();
}

QString DatabaseAlias::driverName() const
{
    return m_engine->driverName();
}

QString DatabaseAlias::file() const
{
    if (!m_namesFile)
        return m_database;
    if (m_database.isEmpty()) {
        // An installed copy without a database of its own uses the one a portable
        // copy left in its folder, where it is; nothing is copied or moved.
        const QString own = DataFolder::filePath(QLatin1String(ContactSchema::kDefaultFileName));
        if (QFileInfo::exists(own))
            return own;
        const QString earlier =
            DataFolder::earlierFile(QLatin1String(ContactSchema::kDefaultFileName));
        return earlier.isEmpty() ? own : earlier;
    }
    if (QFileInfo(m_database).isDir())
        return QDir(m_database).filePath(QLatin1String(ContactSchema::kDefaultFileName));
    return m_database;
}

QString DatabaseAlias::describe() const
{
    return m_engine->describe(*this);
}

QSqlDatabase DatabaseAlias::open(const QString &connectionName) const
{
    return m_engine->openAlias(*this, connectionName);
}
