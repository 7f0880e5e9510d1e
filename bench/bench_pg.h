#pragma once

// The private PostgreSQL server of the server benchmarks: its cluster is kept in the
// folder "pg" beside the 1,000,000-contact file, and its database "kontakty" is filled
// once from that file, sort keys included, so that later runs start at once.

#include "store/table.h"
#include "support/pg_test_server.h"

#include <QList>
#include <QString>
#include <memory>
#include <random>
#include <utility>

namespace benchpg {

inline constexpr char kDatabase[] = "kontakty";

// The cluster beside the database file, not yet started.
std::unique_ptr<PgTestServer> server(const QString &sqlitePath);

// Starts the server with the benchmarks' settings; false with the message on stderr.
bool start(PgTestServer &server);

// Runs one statement on a connection of its own through the server's socket; false
// with the message on stderr. `rows` receives the first two columns of each row.
bool runSql(const PgTestServer &server, const QString &sql,
            QList<std::pair<QString, QString>> *rows = nullptr,
            const QString &database = QLatin1String(kDatabase));

// Whether the database exists.
bool databaseExists(const PgTestServer &server, const QString &name);

// Points the contact alias at the database through the server's TCP port, as a
// workstation would, in the settings of this process (XDG_CONFIG_HOME).
void writeAlias(const PgTestServer &server, const QString &database = QLatin1String(kDatabase));

// The contact table opened by its alias, as the program opens it.
std::unique_ptr<TTable> openTable();

// Whether the contacts of the database lack their search text.
bool searchTextMissing(const PgTestServer &server, const QString &database);

// Makes the database "kontakty" with its table when missing, and fills an empty table
// with every contact of the SQLite file, and builds the search text when it is missing;
// then points the alias at it.
bool prepareBook(PgTestServer &server, const QString &sqlitePath);

// A prefix of one to three letters, as a user starts to type a name, now and then
// with a capital.
QString randomPrefix(std::mt19937 &random);

} // namespace benchpg
