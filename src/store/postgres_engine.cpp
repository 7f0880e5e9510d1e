#include "store/sql_engine.h"

#include "store/postgres_search_index.h"

namespace {

// The contact table on a PostgreSQL server shared by the firm's users.
class PostgresEngine final : public SqlEngine
{
public:
    QString driverName() const override { return QStringLiteral("QPSQL"); }

    const FullTextIndex &fullTextIndex() const override
    {
        static const PostgresSearchIndex index;
        return index;
    }
};

} // namespace

const SqlEngine &postgresEngine()
{
    static const PostgresEngine engine;
    return engine;
}
