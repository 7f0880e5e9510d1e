#include "store/sql_engine.h"

#include "store/sqlite_search_index.h"

namespace {

// The contact table in an SQLite file on this machine.
class SqliteEngine final : public SqlEngine
{
public:
    QString driverName() const override { return QStringLiteral("QSQLITE"); }

    const FullTextIndex &fullTextIndex() const override
    {
        static const SqliteSearchIndex index;
        return index;
    }
};

} // namespace

const SqlEngine &sqliteEngine()
{
    static const SqliteEngine engine;
    return engine;
}
