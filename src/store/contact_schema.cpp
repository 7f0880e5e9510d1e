#include "store/contact_schema.h"

#include "platform/errors.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

using SqlText::engineMessage;
using SqlText::quoted;

bool execAll(QSqlDatabase &db, const QStringList &statements, QString *error)
{
    QSqlQuery query(db);
    for (const QString &sql : statements) {
        if (!query.exec(sql)) {
            *error = engineMessage(query.lastError());
            return false;
        }
    }
    return true;
}

} // namespace

namespace ContactSchema {

QStringList fieldNames()
{
    return {QStringLiteral("Nazwa"), QStringLiteral("Branza"), QStringLiteral("Filia"),
            QStringLiteral("Kraj"),  QStringLiteral("Miasto"), QStringLiteral("Kod"),
            QStringLiteral("Ulica"), QStringLiteral("Region"), QStringLiteral("Tel"),
            QStringLiteral("Fax"),   QStringLiteral("Email"),  QStringLiteral("Http"),
            QStringLiteral("Uwagi")};
}

QStringList keyedFieldNames()
{
    return {QStringLiteral("Nazwa"), QStringLiteral("Branza"), QStringLiteral("Filia")};
}

QString keyColumn(const QString &field)
{
    return field + QStringLiteral("_k");
}

QString dirtyTable(const QString &table)
{
    return table + QStringLiteral("_dirty");
}

QString metaTable(const QString &table)
{
    return table + QStringLiteral("_meta");
}

void create(QSqlDatabase &db, const QString &table)
{
    const SqlEngine &engine = SqlEngine::of(db);
    QStringList columns{engine.idColumn()};
    for (const QString &field : fieldNames())
        columns << engine.schemaName(field) + QStringLiteral(" TEXT");
    for (const QString &field : keyedFieldNames())
        columns << engine.schemaName(keyColumn(field)) + QLatin1Char(' ') + engine.keyType();
    const QStringList indexes{QStringLiteral("nInd"), QStringLiteral("bInd"),
                              QStringLiteral("fInd")};
    QStringList statements{QStringLiteral("CREATE TABLE %1 (%2)")
                               .arg(quoted(table), columns.join(QStringLiteral(", ")))};
    for (int i = 0; i < indexes.size(); ++i) {
        statements << QStringLiteral("CREATE INDEX %1 ON %2 (%3, id)")
                          .arg(engine.schemaName(indexes[i]), quoted(table),
                               engine.schemaName(keyColumn(keyedFieldNames()[i])));
    }
    if (!db.transaction())
        throw DatabaseError(engineMessage(db.lastError()));
    try {
        if (QString error; !execAll(db, statements, &error))
            throw DatabaseError(error);
        ensureBookkeeping(db, table);
    } catch (const DatabaseError &) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw DatabaseError(engineMessage(db.lastError()));
}

void ensureBookkeeping(QSqlDatabase &db, const QString &table)
{
    const SqlEngine &engine = SqlEngine::of(db);
    if (engine.bookkeepingComplete(db, table))
        return;
    QStringList statements{
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (id %2 PRIMARY KEY)")
            .arg(quoted(dirtyTable(table)), engine.idType()),
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (name TEXT PRIMARY KEY, value TEXT)")
            .arg(quoted(metaTable(table))),
    };
    statements << engine.markingStatements(table);
    if (QString error; !execAll(db, statements, &error))
        throw DatabaseError(error);
}

QString notifyChannel(const QString &table)
{
    // Lower case and letters only, so that it needs no quoting in LISTEN.
    QString channel;
    for (const QChar c : table.toLower()) {
        if (c.isLetterOrNumber() && c.unicode() < 0x80)
            channel += c;
    }
    return QStringLiteral("kartax_") + channel;
}

} // namespace ContactSchema
