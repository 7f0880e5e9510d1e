#pragma once

#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <QtGlobal>
#include <functional>
#include <utility>
#include <vector>

class QSqlDatabase;
class QSqlError;
class QSqlQuery;

// Pieces of SQL text shared by the table and the schema code.
namespace SqlText {

// The engine's own wording of an error when it gave one, else Qt's.
QString engineMessage(const QSqlError &error);

// The file an SQLite connection's database name stands for, with native separators: a
// file opened for reading only is named by its URI.
QString fileOf(const QString &databaseName);

// An SQLite file's error in Polish, naming the file and the cause: the engine's code
// says what happened; for a code without a Polish wording the engine's text follows.
QString fileFailure(const QString &path, const QSqlError &error);

// Runs a statement on `db`, its values bound in turn, reading forward only; a statement
// without values runs unprepared, as a server prepares no statement that makes a table.
// Raises DatabaseError with the engine's message.
QSqlQuery exec(const QSqlDatabase &db, const QString &sql, const QVariantList &binds = {});

// An identifier in double quotes, its own quotes doubled.
QString quoted(const QString &identifier);

// The placeholders of `rows` rows of `columns` values each, for INSERT ... VALUES:
// "(?, ?), (?, ?)".
QString valueRows(int columns, int rows);

// Reads every row of `table` in id order, `batchRows` at a time, selecting id and then
// `columns` (SQL text). `row` is called with the query on each row; `batch` after each
// batch with its ids and how far through the table's ids it has got, in per cent, and
// returns false with `failure` set to stop. False with the engine's error.
bool forEachBatch(QSqlDatabase &db, const QString &table, const QString &columns, int batchRows,
                  const std::function<void(const QSqlQuery &row)> &row,
                  const std::function<bool(const std::vector<qint64> &ids, int percent)> &batch,
                  QSqlError *failure);

} // namespace SqlText
