#include "store/key_repair.h"

#include "platform/errors.h"
#include "store/contact_schema.h"
#include "store/sort_key.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

namespace {

using SqlText::engineMessage;
using SqlText::quoted;

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
    QList<SqlEngine::MadeIndex> all;
    if (!SqlEngine::of(db).indexesToSetAside(db, table, &all, failure))
        return false;
    for (const SqlEngine::MadeIndex &index : std::as_const(all)) {
        const bool overKey =
            std::any_of(index.columns.begin(), index.columns.end(), [&](const QString &column) {
                return keyColumns.contains(column, Qt::CaseInsensitive);
            });
        if (overKey) {
            indexes << index.name;
            creations << index.create;
        }
    }
    for (const QString &index : std::as_const(indexes)) {
        if (!query.exec(QStringLiteral("DROP INDEX %1").arg(quoted(index))))
            return fail(query);
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

namespace KeyRepair {

qint64 repair(QSqlDatabase &db, const QString &table, const QStringList &keyedFields,
              const std::function<void(int percent)> &progress)
{
    RowsToRepair rows;
    if (QString error; !collectRowsToRepair(db, table, keyedFields, &rows, &error))
        throw DatabaseError(error);
    if (rows.ids.isEmpty() && !rows.all)
        return 0;

    if (!db.transaction())
        throw DatabaseError(engineMessage(db.lastError()));
    QSqlError failure;
    qint64 repaired = 0;
    if (!writeKeys(db, table, keyedFields, rows, progress, &repaired, &failure) ||
        !stampRepair(db, table, rows.all, &failure)) {
        db.rollback();
        throw DatabaseError(engineMessage(failure));
    }
    if (!db.commit()) {
        const QString error = engineMessage(db.lastError());
        db.rollback();
        throw DatabaseError(error);
    }
    return repaired;
}

} // namespace KeyRepair
