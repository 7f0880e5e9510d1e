#pragma once

#include <QString>

class QSqlDatabase;
class QSqlError;

// Pieces of SQL text shared by the table and the schema code.
namespace SqlText {

// The engine's own wording of an error when it gave one, else Qt's.
QString engineMessage(const QSqlError &error);

// An identifier in double quotes, its own quotes doubled.
QString quoted(const QString &identifier);

// Whether the connection is to an SQLite file rather than a database server.
bool isSqlite(const QSqlDatabase &db);

} // namespace SqlText
