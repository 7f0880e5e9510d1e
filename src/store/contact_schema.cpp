#include "store/contact_schema.h"

#include "platform/data_folder.h"
#include "platform/errors.h"
#include "platform/settings_store.h"
#include "store/sort_key.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString engineMessage(const QSqlError &error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

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

QString quoted(const QString &identifier)
{
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
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

QString resolveAlias(const QString &alias, bool *named)
{
    SettingsStore settings;
    QString database;
    if (settings.openKey(QStringLiteral("Aliasy\\") + alias, false))
        database = settings.readString(QStringLiteral("Database"));
    if (named)
        *named = !database.isEmpty();
    if (database.isEmpty())
        return DataFolder::filePath(QLatin1String(kDefaultFileName));
    if (QFileInfo(database).isDir())
        return QDir(database).filePath(QLatin1String(kDefaultFileName));
    return database;
}

void create(QSqlDatabase &db, const QString &table)
{
    QStringList columns{QStringLiteral("id INTEGER PRIMARY KEY")};
    for (const QString &field : fieldNames())
        columns << field + QStringLiteral(" TEXT");
    for (const QString &field : keyedFieldNames())
        columns << keyColumn(field) + QStringLiteral(" BLOB");
    const QStringList indexes{QStringLiteral("nInd"), QStringLiteral("bInd"),
                              QStringLiteral("fInd")};
    QStringList statements{QStringLiteral("CREATE TABLE %1 (%2)")
                               .arg(quoted(table), columns.join(QStringLiteral(", ")))};
    for (int i = 0; i < indexes.size(); ++i) {
        statements << QStringLiteral("CREATE INDEX %1 ON %2 (%3, id)")
                          .arg(indexes[i], quoted(table), keyColumn(keyedFieldNames()[i]));
    }
    QString error;
    if (!db.transaction())
        throw DatabaseError(engineMessage(db.lastError()));
    if (!execAll(db, statements, &error) || !ensureBookkeeping(db, table, &error)) {
        db.rollback();
        throw DatabaseError(error);
    }
    if (!db.commit())
        throw DatabaseError(engineMessage(db.lastError()));
}

void createFile(const QString &path, const QString &table)
{
    const QString temporary =
        path + QStringLiteral(".new-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(temporary);
    const QString connection = QStringLiteral("kartax-create-%1").arg(quintptr(&temporary));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(temporary);
        try {
            if (!db.open())
                throw DatabaseError(engineMessage(db.lastError()));
            QSqlQuery pragma(db);
            if (!pragma.exec(QStringLiteral("PRAGMA synchronous=FULL")))
                throw DatabaseError(engineMessage(pragma.lastError()));
            pragma.finish();
            create(db, table);
            db.close();
        } catch (...) {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection);
            QFile::remove(temporary);
            throw;
        }
    }
    QSqlDatabase::removeDatabase(connection);
    if (QFileInfo(path).exists() && QFileInfo(path).size() == 0) {
        // An interrupted first run: its journal belongs to no database now.
        QFile::remove(path + QStringLiteral("-journal"));
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        QFile::remove(path);
    }
    // Renaming never replaces a file: one that another instance created meanwhile wins.
    QFile file(temporary);
    if (!file.rename(path)) {
        const QString reason = file.errorString();
        QFile::remove(temporary);
        if (!QFileInfo(path).isFile() || QFileInfo(path).size() == 0)
            throw DatabaseError(reason + QStringLiteral(": ") + path);
    }
}

bool ensureBookkeeping(QSqlDatabase &db, const QString &table, QString *error)
{
    QSqlQuery query(db);
    const QString dirty = dirtyTable(table);
    int present = 0;
    query.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN (?, ?, ?, ?)"));
    query.addBindValue(dirty);
    query.addBindValue(metaTable(table));
    query.addBindValue(table + QStringLiteral("_keys_ins"));
    query.addBindValue(table + QStringLiteral("_keys_upd"));
    if (query.exec() && query.next())
        present = query.value(0).toInt();
    query.finish();
    if (present == 4)
        return true;

    QStringList keyColumns;
    for (const QString &field : keyedFieldNames())
        keyColumns << field;
    // Any insert, and any update of an indexed field, marks the row; the program
    // clears its own marks when it writes the keys, so marks left behind name rows
    // that another program wrote.
    const QStringList statements{
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (id INTEGER PRIMARY KEY)").arg(quoted(dirty)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (name TEXT PRIMARY KEY, value TEXT)")
            .arg(quoted(metaTable(table))),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER INSERT ON %2 BEGIN "
                       "INSERT OR IGNORE INTO %3 (id) VALUES (NEW.id); END")
            .arg(quoted(table + QStringLiteral("_keys_ins")), quoted(table), quoted(dirty)),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER UPDATE OF %2 ON %3 BEGIN "
                       "INSERT OR IGNORE INTO %4 (id) VALUES (NEW.id); END")
            .arg(quoted(table + QStringLiteral("_keys_upd")), keyColumns.join(QStringLiteral(", ")),
                 quoted(table), quoted(dirty)),
    };
    return execAll(db, statements, error);
}

qint64 repairKeys(QSqlDatabase &db, const QString &table, const QStringList &keyedFields,
                  QString *error)
{
    const SortKeyCollator &collator = SortKeyCollator::instance();
    QSqlQuery query(db);
    query.setForwardOnly(true);

    QString storedVersion;
    query.prepare(QStringLiteral("SELECT value FROM %1 WHERE name = 'collation'")
                      .arg(quoted(metaTable(table))));
    if (query.exec() && query.next())
        storedVersion = query.value(0).toString();
    query.finish();
    const bool rebuildAll = storedVersion != collator.version();

    // Collect the rows to repair: every row, or the marked rows and rows lacking a key.
    QList<qint64> ids;
    QStringList sources;
    if (rebuildAll) {
        sources << QStringLiteral("SELECT id FROM %1").arg(quoted(table));
    } else {
        sources << QStringLiteral("SELECT id FROM %1").arg(quoted(dirtyTable(table)));
        for (const QString &field : keyedFields) {
            sources << QStringLiteral("SELECT id FROM %1 WHERE %2 IS NULL")
                           .arg(quoted(table), keyColumn(field));
        }
    }
    for (const QString &sql : sources) {
        if (!query.exec(sql)) {
            *error = engineMessage(query.lastError());
            return -1;
        }
        while (query.next())
            ids << query.value(0).toLongLong();
        query.finish();
    }
    if (ids.isEmpty() && !rebuildAll)
        return 0;

    QStringList fieldList;
    QStringList assignments;
    for (const QString &field : keyedFields) {
        fieldList << field;
        assignments << keyColumn(field) + QStringLiteral(" = ?");
    }
    if (!db.transaction()) {
        *error = engineMessage(db.lastError());
        return -1;
    }
    QSqlQuery select(db);
    QSqlQuery update(db);
    QSqlError failure;
    const auto check = [&failure](QSqlQuery &q, bool ok) {
        if (!ok && !failure.isValid())
            failure = q.lastError();
        return ok;
    };
    bool ok =
        check(select,
              select.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE id = ?")
                                 .arg(fieldList.join(QStringLiteral(", ")), quoted(table)))) &&
        check(update,
              update.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE id = ?")
                                 .arg(quoted(table), assignments.join(QStringLiteral(", ")))));
    qint64 repaired = 0;
    for (auto it = ids.cbegin(); ok && it != ids.cend(); ++it) {
        select.addBindValue(*it);
        ok = check(select, select.exec());
        if (!ok)
            break;
        if (!select.next()) {
            select.finish();
            continue; // marked, then deleted
        }
        for (int i = 0; i < keyedFields.size(); ++i)
            update.addBindValue(collator.key(select.value(i).toString()));
        select.finish();
        update.addBindValue(*it);
        ok = check(update, update.exec());
        ++repaired;
    }
    if (ok)
        ok = check(query,
                   query.exec(QStringLiteral("DELETE FROM %1").arg(quoted(dirtyTable(table)))));
    if (ok && rebuildAll) {
        ok = check(query, query.prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (name, value) "
                                                       "VALUES ('collation', ?)")
                                            .arg(quoted(metaTable(table)))));
        query.addBindValue(collator.version());
        ok = ok && check(query, query.exec());
    }
    if (!ok) {
        *error = engineMessage(failure);
        db.rollback();
        return -1;
    }
    if (!db.commit()) {
        *error = engineMessage(db.lastError());
        db.rollback();
        return -1;
    }
    return repaired;
}

} // namespace ContactSchema
