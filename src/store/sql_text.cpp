#include "store/sql_text.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <limits>

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

bool indexesOf(QSqlDatabase &db, const QString &table, QList<std::pair<QString, QString>> *indexes,
               QSqlError *failure)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' "
                                 "AND tbl_name = ? COLLATE NOCASE AND sql IS NOT NULL"));
    query.addBindValue(table);
    if (!query.exec()) {
        *failure = query.lastError();
        return false;
    }
    while (query.next())
        indexes->append({query.value(0).toString(), query.value(1).toString()});
    return true;
}

bool forEachBatch(QSqlDatabase &db, const QString &table, const QString &columns, int batchRows,
                  const std::function<void(const QSqlQuery &)> &row,
                  const std::function<bool(const std::vector<qint64> &, int)> &batch,
                  QSqlError *failure)
{
    const auto fail = [failure](const QSqlQuery &q) {
        *failure = q.lastError();
        return false;
    };
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT min(id), max(id) FROM %1").arg(quoted(table))) ||
        !query.next())
        return fail(query);
    const qint64 lowest = query.value(0).toLongLong();
    const qint64 span = std::max<qint64>(1, query.value(1).toLongLong() - lowest + 1);
    query.finish();

    QSqlQuery select(db);
    select.setForwardOnly(true);
    if (!select.prepare(QStringLiteral("SELECT id, %1 FROM %2 WHERE id > ? ORDER BY id LIMIT %3")
                            .arg(columns, quoted(table))
                            .arg(batchRows)))
        return fail(select);
    std::vector<qint64> ids;
    qint64 after = std::numeric_limits<qint64>::min();
    for (;;) {
        ids.clear();
        select.bindValue(0, after);
        if (!select.exec())
            return fail(select);
        while (select.next()) {
            ids.push_back(select.value(0).toLongLong());
            row(select);
        }
        select.finish();
        if (ids.empty())
            return true;
        after = ids.back();
        if (!batch(ids, int(std::min<qint64>(100, (after - lowest) * 100 / span))))
            return false;
    }
}

} // namespace SqlText
