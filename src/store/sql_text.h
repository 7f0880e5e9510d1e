#pragma once

#include <QString>

class QSqlError;

// Pieces of SQL text shared by the table and the schema code.
namespace SqlText {

// The engine's own wording of an error when it gave one, else Qt's.
QString engineMessage(const QSqlError &error);

// An identifier in double quotes, its own quotes doubled.
QString quoted(const QString &identifier);

} // namespace SqlText
