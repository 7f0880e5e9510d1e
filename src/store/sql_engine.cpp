#include "store/sql_engine.h"

#include <QSqlDatabase>

#include "platform/errors.h"

const SqlEngine &sqliteEngine();
const SqlEngine &postgresEngine();

const SqlEngine &SqlEngine::of(const QSqlDatabase &db)
{
    return forDriver(db.driverName());
}

const SqlEngine &SqlEngine::forDriver(const QString &driverName)
{
    for (const SqlEngine *engine : {&sqliteEngine(), &postgresEngine()}) {
        if (engine->driverName() == driverName)
            return *engine;
    }
    throw DatabaseError(QStringLiteral("Nieobsługiwany rodzaj bazy danych: %1.").arg(driverName));
}
