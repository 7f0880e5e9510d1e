#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;

// The contact table Kartax2000 as stored: the thirteen fields, a sort-key column
// beside each of the three indexed fields, the indexes nInd, bInd, fInd over (key, id),
// and the bookkeeping that keeps the keys right when another program writes to the
// table. No custom collation lives in the schema, so the stock sqlite3 tool can read
// and check an SQLite file.
namespace ContactSchema {

inline constexpr char kAlias[] = "Kax2000";
inline constexpr char kTableName[] = "Kartax2000";
inline constexpr char kDefaultFileName[] = "Kartax2000.db";

QStringList fieldNames();                // Nazwa … Uwagi, in table order
QStringList keyedFieldNames();           // Nazwa, Branza, Filia
QString keyColumn(const QString &field); // "Nazwa" -> "Nazwa_k"
QString dirtyTable(const QString &table);
QString metaTable(const QString &table);

// Creates the table, its indexes and bookkeeping in an empty database.
// Raises DatabaseError with the engine's message.
void create(QSqlDatabase &db, const QString &table);

// Creates the bookkeeping objects (changed-row list, collation record, triggers)
// when missing. Raises DatabaseError with the engine's message when they cannot be
// written.
void ensureBookkeeping(QSqlDatabase &db, const QString &table);

// On a server: the statement that, within a transaction, tells the marking triggers
// that the program itself writes the rows with their keys and search text, so that
// they mark none; and the first statement of a marking trigger, which heeds it.
inline constexpr char kOwnWrite[] = "SET LOCAL kartax.own_write = 'on'";
inline constexpr char kSkipOwnWrite[] =
    "IF current_setting('kartax.own_write', true) = 'on' THEN RETURN NULL; END IF; ";

// The channel on which a database server tells listening programs the id of each row
// of the table that was inserted, updated or deleted.
QString notifyChannel(const QString &table);

} // namespace ContactSchema
