#include "store/sql_engine.h"

namespace {

// The contact table on a PostgreSQL server shared by the firm's users.
class PostgresEngine final : public SqlEngine
{
public:
    QString driverName() const override { return QStringLiteral("QPSQL"); }
};

} // namespace

const SqlEngine &postgresEngine()
{
    static const PostgresEngine engine;
    return engine;
}
