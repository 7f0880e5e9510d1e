#include "store/sql_text.h"

#include <QSqlDatabase>
#include <QSqlError>

namespace SqlText {

QString engineMessage(const QSqlError &error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

QString quoted(const QString &identifier)
{
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

bool isSqlite(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QSQLITE");
}

} // namespace SqlText
