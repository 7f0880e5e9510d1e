#pragma once

#include <QString>

class FullTextIndex;
class QSqlDatabase;

// What differs between the database engines the contact store runs on. There is one
// implementation per engine (sqlite_engine.cpp, postgres_engine.cpp); the rest of the
// store asks the engine object and never which engine it is, so a further engine is
// one further file.
class SqlEngine
{
public:
    virtual ~SqlEngine() = default;

    // The engine of a connection, by its Qt driver name. Raises DatabaseError for a
    // driver the store does not run on.
    static const SqlEngine &of(const QSqlDatabase &db);
    static const SqlEngine &forDriver(const QString &driverName);

    // The Qt driver: "QSQLITE" or "QPSQL".
    virtual QString driverName() const = 0;

    // ---- The table, its cursor, schema and batches -------------------------------

    // ---- The full-text index and its searches ------------------------------------

    // The search index of contact tables on this engine: how it is made, written and
    // searched.
    virtual const FullTextIndex &fullTextIndex() const = 0;

protected:
    SqlEngine() = default;
    SqlEngine(const SqlEngine &) = delete;
    SqlEngine &operator=(const SqlEngine &) = delete;
};
