#include "store/sql_engine.h"

namespace {

// The contact table in an SQLite file on this machine.
class SqliteEngine final : public SqlEngine
{
public:
    QString driverName() const override { return QStringLiteral("QSQLITE"); }
};

} // namespace

const SqlEngine &sqliteEngine()
{
    static const SqliteEngine engine;
    return engine;
}
