#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QSqlDatabase;

// Keeps the sort keys of the contact table right: the keys of rows another program
// wrote, and every key when the collation rules changed.
namespace KeyRepair {

// Recomputes missing or stale sort keys: rows the triggers marked as changed, rows
// without keys, and every row when the collation version changed, reporting how far
// that has got in per cent. All or nothing: a failure leaves the database as it was.
// Returns the number of rows repaired; raises DatabaseError with the engine's message.
qint64 repair(QSqlDatabase &db, const QString &table, const QStringList &keyedFields,
              const std::function<void(int percent)> &progress = {});

} // namespace KeyRepair
