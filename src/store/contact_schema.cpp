#include "store/contact_schema.h"

#include "platform/data_folder.h"
#include "platform/errors.h"
#include "platform/settings_store.h"
#include "store/sort_key.h"
#include "store/sql_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <limits>

using namespace Qt::StringLiterals;

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

// Rows read at a time while every key is rebuilt.
constexpr int kRebuildBatch = 10000;
// The part of a rebuild's progress, in per cent, that rewriting the rows takes; making
// the indexes again takes the rest.
constexpr int kRowsShare = 50;

// Rebuilds the sort keys of every row, within the caller's transaction, reading the
// rows in the order of their ids a batch at a time. The indexes over the keys are
// dropped first and made again at the end from the statements that made them, so
// that the updates need not keep them in order row by row.
bool rebuildEveryKey(QSqlDatabase &db, const QString &table, const QStringList &keyedFields,
                     const std::function<void(int)> &progress, qint64 *rebuilt, QSqlError *failure)
{
    const auto fail = [failure](const QSqlQuery &q) {
        *failure = q.lastError();
        return false;
    };
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QStringList keyColumns;
    for (const QString &field : keyedFields)
        keyColumns << ContactSchema::keyColumn(field);

    QStringList indexes;
    QStringList creations;
    // A server keeps its indexes in order as rows change; SQLite writes faster when the
    // indexes are dropped and made again.
    if (SqlText::isSqlite(db)) {
        QList<std::pair<QString, QString>> all;
        if (!SqlText::indexesOf(db, table, &all, failure))
            return false;
        for (const auto &[name, create] : std::as_const(all)) {
            indexes << name;
            creations << create;
        }
        for (qsizetype i = 0; i < indexes.size();) {
            QSqlQuery columns(db);
            if (!columns.exec(QStringLiteral("PRAGMA index_info(%1)").arg(quoted(indexes[i]))))
                return fail(columns);
            bool overKey = false;
            while (columns.next())
                overKey = overKey ||
                          keyColumns.contains(columns.value(2).toString(), Qt::CaseInsensitive);
            if (overKey) {
                ++i;
            } else {
                indexes.removeAt(i);
                creations.removeAt(i);
            }
        }
        for (const QString &index : std::as_const(indexes)) {
            if (!query.exec(QStringLiteral("DROP INDEX %1").arg(quoted(index))))
                return fail(query);
        }
    }

    QStringList assignments;
    for (const QString &column : std::as_const(keyColumns))
        assignments << quoted(column) + QStringLiteral(" = ?");
    QSqlQuery update(db);
    if (!update.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE id = ?")
                            .arg(quoted(table), assignments.join(QStringLiteral(", ")))))
        return fail(update);
    QStringList fieldColumns;
    for (const QString &field : keyedFields)
        fieldColumns << quoted(field);
    const SortKeyCollator &collator = SortKeyCollator::instance();
    const int fields = int(keyedFields.size());
    std::vector<QByteArray> keys;
    const int rowsShare = creations.isEmpty() ? 100 : kRowsShare;
    int percent = -1;
    const bool walked = SqlText::forEachBatch(
        db, table, fieldColumns.join(QStringLiteral(", ")), kRebuildBatch,
        [&](const QSqlQuery &select) {
            for (int f = 0; f < fields; ++f)
                keys.push_back(collator.key(select.value(1 + f).toString()));
        },
        [&](const std::vector<qint64> &ids, int through) {
            for (size_t row = 0; row < ids.size(); ++row) {
                for (int f = 0; f < fields; ++f)
                    update.bindValue(f, keys[row * fields + f]);
                update.bindValue(fields, ids[row]);
                if (!update.exec()) {
                    *failure = update.lastError();
                    return false;
                }
            }
            keys.clear();
            *rebuilt += qint64(ids.size());
            const int now = through * rowsShare / 100;
            if (progress && now != percent)
                progress(percent = now);
            return true;
        },
        failure);
    if (!walked)
        return false;
    for (qsizetype i = 0; i < creations.size(); ++i) {
        if (!query.exec(creations[i]))
            return fail(query);
        if (progress)
            progress(int(rowsShare + (100 - rowsShare) * (i + 1) / creations.size()));
    }
    return true;
}

// The rows a key repair rewrites: every row when the collation changed since the keys
// were written, otherwise the listed ones.
struct RowsToRepair
{
    bool all = false;
    QList<qint64> ids;
};

// Finds which rows need new keys: all of them when the collation version recorded in
// the table's meta table is not the collator's, otherwise the rows the triggers marked
// as changed and the rows lacking a key. False with the engine's message.
bool collectRowsToRepair(QSqlDatabase &db, const QString &table, const QStringList &keyedFields,
                         RowsToRepair *rows, QString *error)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);

    QString storedVersion;
    query.prepare(QStringLiteral("SELECT value FROM %1 WHERE name = 'collation'")
                      .arg(quoted(ContactSchema::metaTable(table))));
    if (query.exec() && query.next())
        storedVersion = query.value(0).toString();
    query.finish();
    rows->all = storedVersion != SortKeyCollator::instance().version();
    if (rows->all)
        return true;

    QStringList sources{
        QStringLiteral("SELECT id FROM %1").arg(quoted(ContactSchema::dirtyTable(table)))};
    for (const QString &field : keyedFields) {
        sources << QStringLiteral("SELECT id FROM %1 WHERE %2 IS NULL")
                       .arg(quoted(table), quoted(ContactSchema::keyColumn(field)));
    }
    for (const QString &sql : std::as_const(sources)) {
        if (!query.exec(sql)) {
            *error = engineMessage(query.lastError());
            return false;
        }
        while (query.next())
            rows->ids << query.value(0).toLongLong();
        query.finish();
    }
    return true;
}

// Writes the sort keys of the collected rows, or of every row, within the caller's
// transaction; a row marked and deleted since is passed over. Counts the rows written
// in *repaired; false with the engine's error in *failure.
bool writeKeys(QSqlDatabase &db, const QString &table, const QStringList &keyedFields,
               const RowsToRepair &rows, const std::function<void(int)> &progress, qint64 *repaired,
               QSqlError *failure)
{
    const auto fail = [failure](const QSqlQuery &q) {
        *failure = q.lastError();
        return false;
    };
    QStringList fieldList;
    QStringList assignments;
    for (const QString &field : keyedFields) {
        fieldList << quoted(field);
        assignments << quoted(ContactSchema::keyColumn(field)) + QStringLiteral(" = ?");
    }
    QSqlQuery select(db);
    QSqlQuery update(db);
    if (!select.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE id = ?")
                            .arg(fieldList.join(QStringLiteral(", ")), quoted(table))))
        return fail(select);
    if (!update.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE id = ?")
                            .arg(quoted(table), assignments.join(QStringLiteral(", ")))))
        return fail(update);
    if (rows.all && !rebuildEveryKey(db, table, keyedFields, progress, repaired, failure))
        return false;
    const SortKeyCollator &collator = SortKeyCollator::instance();
    for (const qint64 id : rows.ids) {
        select.addBindValue(id);
        if (!select.exec())
            return fail(select);
        if (!select.next()) {
            select.finish();
            continue; // marked, then deleted
        }
        for (int i = 0; i < keyedFields.size(); ++i)
            update.addBindValue(collator.key(select.value(i).toString()));
        select.finish();
        update.addBindValue(id);
        if (!update.exec())
            return fail(update);
        ++*repaired;
    }
    return true;
}

// Marks the keys as up to date, within the caller's transaction: clears the changed-row
// marks and, after a rebuild of every key, records the collation version the keys now
// follow. False with the engine's error in *failure.
bool stampRepair(QSqlDatabase &db, const QString &table, bool rebuiltAll, QSqlError *failure)
{
    QSqlQuery query(db);
    const auto fail = [failure, &query] {
        *failure = query.lastError();
        return false;
    };
    if (!query.exec(QStringLiteral("DELETE FROM %1").arg(quoted(ContactSchema::dirtyTable(table)))))
        return fail();
    if (!rebuiltAll)
        return true;
    if (!query.prepare(QStringLiteral("INSERT INTO %1 (name, value) VALUES ('collation', ?) "
                                      "ON CONFLICT (name) DO UPDATE SET value = excluded.value")
                           .arg(quoted(ContactSchema::metaTable(table)))))
        return fail();
    query.addBindValue(SortKeyCollator::instance().version());
    if (!query.exec())
        return fail();
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

QString resolveAlias(const QString &alias, bool *named)
{
    SettingsStore settings;
    QString database;
    if (settings.openKey(QStringLiteral("Aliasy\\") + alias, false))
        database = settings.readString(QStringLiteral("Database"));
    if (named)
        *named = !database.isEmpty();
    if (database.isEmpty()) {
        // An installed copy without a database of its own uses the one a portable
        // copy left in its folder, where it is; nothing is copied or moved.
        const QString own = DataFolder::filePath(QLatin1String(kDefaultFileName));
        if (QFileInfo::exists(own))
            return own;
        const QString earlier = DataFolder::earlierFile(QLatin1String(kDefaultFileName));
        return earlier.isEmpty() ? own : earlier;
    }
    if (QFileInfo(database).isDir())
        return QDir(database).filePath(QLatin1String(kDefaultFileName));
    return database;
}

void create(QSqlDatabase &db, const QString &table)
{
    // A server folds unquoted names to lower case: there every name is quoted.
    const bool sqlite = SqlText::isSqlite(db);
    const auto name = [sqlite](const QString &identifier) {
        return sqlite ? identifier : quoted(identifier);
    };
    QStringList columns{sqlite ? QStringLiteral("id INTEGER PRIMARY KEY")
                               : QStringLiteral("id BIGINT GENERATED BY DEFAULT AS IDENTITY "
                                                "PRIMARY KEY")};
    for (const QString &field : fieldNames())
        columns << name(field) + QStringLiteral(" TEXT");
    for (const QString &field : keyedFieldNames())
        columns << name(keyColumn(field)) + (sqlite ? QStringLiteral(" BLOB") : u" BYTEA"_s);
    const QStringList indexes{QStringLiteral("nInd"), QStringLiteral("bInd"),
                              QStringLiteral("fInd")};
    QStringList statements{QStringLiteral("CREATE TABLE %1 (%2)")
                               .arg(quoted(table), columns.join(QStringLiteral(", ")))};
    for (int i = 0; i < indexes.size(); ++i) {
        statements << QStringLiteral("CREATE INDEX %1 ON %2 (%3, id)")
                          .arg(name(indexes[i]), quoted(table),
                               name(keyColumn(keyedFieldNames()[i])));
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
            // Pages of 8 KB, set before the first table: a bulk write then goes through
            // half as many pages and log frames, and searches read fewer; a file made
            // earlier keeps the size it was made with.
            if (!pragma.exec(QStringLiteral("PRAGMA page_size=8192")) ||
                !pragma.exec(QStringLiteral("PRAGMA synchronous=FULL")))
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
    const bool sqlite = SqlText::isSqlite(db);
    const QStringList triggers{table + QStringLiteral("_keys_ins"),
                               table + QStringLiteral("_keys_upd"),
                               table + QStringLiteral("_changed")};
    int present = 0;
    if (sqlite) {
        query.prepare(
            QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN (?, ?, ?, ?)"));
        query.addBindValue(dirty);
        query.addBindValue(metaTable(table));
    } else {
        query.prepare(QStringLiteral(
            "SELECT (to_regclass(?) IS NOT NULL)::int + (to_regclass(?) IS NOT NULL)::int + "
            "(SELECT count(*) FROM pg_trigger WHERE tgrelid = to_regclass(?) "
            "AND tgname IN (?, ?, ?))"));
        query.addBindValue(quoted(dirty));
        query.addBindValue(quoted(metaTable(table)));
        query.addBindValue(quoted(table));
    }
    for (qsizetype i = 0; i < (sqlite ? 2 : 3); ++i)
        query.addBindValue(triggers[i]);
    if (query.exec() && query.next())
        present = query.value(0).toInt();
    query.finish();
    if (present == (sqlite ? 4 : 5))
        return true;

    const QString id = sqlite ? QStringLiteral("INTEGER") : QStringLiteral("BIGINT");
    QStringList statements{
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (id %2 PRIMARY KEY)").arg(quoted(dirty), id),
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (name TEXT PRIMARY KEY, value TEXT)")
            .arg(quoted(metaTable(table))),
    };
    if (sqlite) {
        for (const auto &trigger : markTriggers(table))
            statements << trigger.second;
        return execAll(db, statements, error);
    }
    // On a server one function marks the rows, and another tells every listening
    // program which row changed.
    const QString mark = quoted(table + QStringLiteral("_mark"));
    const QString notify = quoted(table + QStringLiteral("_notify"));
    QStringList keyed;
    for (const QString &field : keyedFieldNames())
        keyed << quoted(field);
    statements << QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql "
                                 "AS $$BEGIN %3INSERT INTO %2 (id) VALUES (NEW.id) "
                                 "ON CONFLICT DO NOTHING; RETURN NULL; END$$")
                      .arg(mark, quoted(dirty), QLatin1String(kSkipOwnWrite))
               << QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql "
                                 "AS $$BEGIN PERFORM pg_notify(%2, CASE TG_OP WHEN 'DELETE' "
                                 "THEN OLD.id ELSE NEW.id END::text); RETURN NULL; END$$")
                      .arg(notify, QLatin1Char('\'') + notifyChannel(table) + QLatin1Char('\''))
               << QStringLiteral("CREATE OR REPLACE TRIGGER %1 AFTER INSERT ON %2 "
                                 "FOR EACH ROW EXECUTE FUNCTION %3()")
                      .arg(quoted(triggers[0]), quoted(table), mark)
               << QStringLiteral("CREATE OR REPLACE TRIGGER %1 AFTER UPDATE OF %2 ON %3 "
                                 "FOR EACH ROW EXECUTE FUNCTION %4()")
                      .arg(quoted(triggers[1]), keyed.join(u", "), quoted(table), mark)
               << QStringLiteral("CREATE OR REPLACE TRIGGER %1 AFTER INSERT OR UPDATE OR DELETE "
                                 "ON %2 FOR EACH ROW EXECUTE FUNCTION %3()")
                      .arg(quoted(triggers[2]), quoted(table), notify);
    return execAll(db, statements, error);
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

QList<std::pair<QString, QString>> markTriggers(const QString &table)
{
    const QString dirty = quoted(dirtyTable(table));
    const QString insert = table + QStringLiteral("_keys_ins");
    const QString update = table + QStringLiteral("_keys_upd");
    // Any insert, and any update of an indexed field, marks the row; the program
    // clears its own marks when it writes the keys, so marks left behind name rows
    // that another program wrote.
    return {
        {insert, QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER INSERT ON %2 BEGIN "
                                "INSERT OR IGNORE INTO %3 (id) VALUES (NEW.id); END")
                     .arg(quoted(insert), quoted(table), dirty)},
        {update, QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER UPDATE OF %2 ON %3 BEGIN "
                                "INSERT OR IGNORE INTO %4 (id) VALUES (NEW.id); END")
                     .arg(quoted(update), keyedFieldNames().join(QStringLiteral(", ")),
                          quoted(table), dirty)},
    };
}

qint64 repairKeys(QSqlDatabase &db, const QString &table, const QStringList &keyedFields,
                  QString *error, const std::function<void(int percent)> &progress)
{
    RowsToRepair rows;
    if (!collectRowsToRepair(db, table, keyedFields, &rows, error))
        return -1;
    if (rows.ids.isEmpty() && !rows.all)
        return 0;

    if (!db.transaction()) {
        *error = engineMessage(db.lastError());
        return -1;
    }
    QSqlError failure;
    qint64 repaired = 0;
    if (!writeKeys(db, table, keyedFields, rows, progress, &repaired, &failure) ||
        !stampRepair(db, table, rows.all, &failure)) {
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
