#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

class QSqlDatabase;

// The contact table Kartax2000 as stored in SQLite: the thirteen fields, a sort-key
// column beside each of the three indexed fields, the indexes nInd, bInd, fInd over
// (key, id), and the bookkeeping that keeps the keys right when another program
// writes to the table. No custom collation lives in the schema, so the stock
// sqlite3 tool can read and check the file.
namespace ContactSchema {

inline constexpr char kAlias[] = "Kax2000";
inline constexpr char kTableName[] = "Kartax2000";
inline constexpr char kDefaultFileName[] = "Kartax2000.db";

QStringList fieldNames();                // Nazwa … Uwagi, in table order
QStringList keyedFieldNames();           // Nazwa, Branza, Filia
QString keyColumn(const QString &field); // "Nazwa" -> "Nazwa_k"
QString dirtyTable(const QString &table);
QString metaTable(const QString &table);

// The SQLite file behind a database alias: the settings value Database under
// Aliasy\<alias> when present (a file, or a folder holding Kartax2000.db), otherwise
// Kartax2000.db in the data folder. `named` tells whether the settings named it.
QString resolveAlias(const QString &alias, bool *named = nullptr);

// Creates a new database file at path with the table, its indexes and bookkeeping.
// The file is built under a temporary name and renamed into place once its schema
// is committed, so an interrupted first run never leaves a file without the table.
// An empty file at path (left by such a run) is replaced; a file another program
// put there meanwhile is kept. Raises DatabaseError.
void createFile(const QString &path, const QString &table);

// Creates the table, its indexes and bookkeeping in an empty database.
// Raises DatabaseError with the engine's message.
void create(QSqlDatabase &db, const QString &table);

// Creates the bookkeeping objects (changed-row list, collation record, triggers)
// when missing. Returns false, with the engine's message, when they cannot be written.
bool ensureBookkeeping(QSqlDatabase &db, const QString &table, QString *error);

// On a server: the statement that, within a transaction, tells the marking triggers
// that the program itself writes the rows with their keys and search text, so that
// they mark none; and the first statement of a marking trigger, which heeds it.
inline constexpr char kOwnWrite[] = "SET LOCAL kartax.own_write = 'on'";
inline constexpr char kSkipOwnWrite[] =
    "IF current_setting('kartax.own_write', true) = 'on' THEN RETURN NULL; END IF; ";

// The channel on which a database server tells listening programs the id of each row
// of the table that was inserted, updated or deleted.
QString notifyChannel(const QString &table);

// The triggers that mark rows another program writes, by name with the statement
// that creates each when missing.
QList<std::pair<QString, QString>> markTriggers(const QString &table);

// Recomputes missing or stale sort keys: rows the triggers marked as changed, rows
// without keys, and every row when the collation version changed, reporting how far
// that has got in per cent. All or nothing: a failure leaves the database as it was.
// Returns the number of rows repaired, or -1 with the engine's message.
qint64 repairKeys(QSqlDatabase &db, const QString &table, const QStringList &keyedFields,
                  QString *error, const std::function<void(int percent)> &progress = {});

} // namespace ContactSchema
