// Contact-table benchmark on a PostgreSQL server over the loopback: open, moves on
// each index, index switch with nearest-key search, post, and the program's memory,
// through the table opened by its alias as the program opens it (TCP to 127.0.0.1).
// The server is a private one whose cluster is kept in the folder "pg" beside the
// database file; its first run fills it with the same contacts, sort keys included.
// Usage: bench_server <database file>   (scripts/bench passes the 1,000,000-contact file)

#include "bench_util.h"
#include "platform/settings_store.h"
#include "store/contact_schema.h"
#include "store/incremental_search.h"
#include "store/sql_text.h"
#include "store/table.h"
#include "support/pg_test_server.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <random>

namespace {

using SqlText::quoted;

const char kDatabase[] = "kontakty";

std::unique_ptr<TTable> openTable()
{
    auto table = std::make_unique<TTable>();
    table->setDatabaseName(QLatin1String(ContactSchema::kAlias));
    table->setTableName(QLatin1String(ContactSchema::kTableName));
    table->open();
    return table;
}

// Runs one statement on a connection of its own through the server's socket; false
// with the message on stderr. `rows` receives the first two columns of each row.
bool runSql(const PgTestServer &server, const QString &sql,
            QList<std::pair<QString, QString>> *rows = nullptr,
            const QString &database = QLatin1String(kDatabase))
{
    const QString connection = QStringLiteral("bench-setup");
    bool ok = false;
    {
        QSqlDatabase db = server.addConnection(connection, database);
        QSqlQuery query(db);
        ok = db.open() && query.exec(sql);
        if (!ok)
            std::fprintf(stderr, "%s: %s %s\n", qPrintable(sql), qPrintable(db.lastError().text()),
                         qPrintable(query.lastError().text()));
        while (ok && rows && query.next())
            rows->append({query.value(0).toString(), query.value(1).toString()});
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

// The database of the benchmark, made on the first run.
bool ensureDatabase(PgTestServer &server)
{
    QList<std::pair<QString, QString>> rows;
    if (!runSql(server,
                QStringLiteral("SELECT datname, '' FROM pg_database WHERE datname = '%1'")
                    .arg(QLatin1String(kDatabase)),
                &rows, QStringLiteral("postgres")))
        return false;
    if (rows.isEmpty() && !server.createDatabase(QLatin1String(kDatabase))) {
        std::fprintf(stderr, "%s\n", qPrintable(server.error()));
        return false;
    }
    return true;
}

// Points the alias at the server through its TCP port, as a workstation would.
void writeAlias(const PgTestServer &server)
{
    SettingsStore settings;
    settings.openKey(QStringLiteral("Aliasy\\") + QLatin1String(ContactSchema::kAlias), true);
    settings.writeString(QStringLiteral("Driver"), QStringLiteral("QPSQL"));
    settings.writeString(QStringLiteral("Host"), server.host());
    settings.writeString(QStringLiteral("Port"), QString::number(server.port()));
    settings.writeString(QStringLiteral("Database"), QLatin1String(kDatabase));
    settings.writeString(QStringLiteral("User"), server.user());
}

// A value in COPY's text format: \N for null, backslash escapes for the rest.
void appendCopyText(QByteArray *line, const QVariant &value)
{
    if (value.isNull()) {
        line->append("\\N");
        return;
    }
    for (const char c : value.toString().toUtf8()) {
        switch (c) {
        case '\\':
            line->append("\\\\");
            break;
        case '\t':
            line->append("\\t");
            break;
        case '\n':
            line->append("\\n");
            break;
        case '\r':
            line->append("\\r");
            break;
        default:
            line->append(c);
        }
    }
}

// A bytea value in COPY's text format: hex, its backslash escaped.
void appendCopyBytes(QByteArray *line, const QVariant &value)
{
    if (value.isNull())
        line->append("\\N");
    else
        line->append("\\\\x").append(value.toByteArray().toHex());
}

// Copies every contact of the SQLite database into the server's empty table in one
// transaction, with its id and its sort keys as they are (the same collation makes
// the same bytes), through psql's COPY. The indexes over the keys are made again
// after the copy from their own definitions, and the triggers that mark rows written
// by others do not fire (replica role), since the copied keys are right.
bool fill(const PgTestServer &server, const QString &sqlitePath)
{
    const QString table = QLatin1String(ContactSchema::kTableName);
    QList<std::pair<QString, QString>> indexes;
    if (!runSql(server,
                QStringLiteral("SELECT i.relname, pg_get_indexdef(i.oid) FROM pg_index x "
                               "JOIN pg_class i ON i.oid = x.indexrelid "
                               "WHERE x.indrelid = to_regclass('%1') AND NOT x.indisprimary")
                    .arg(quoted(table)),
                &indexes))
        return false;
    QStringList columns{QStringLiteral("id")};
    QStringList keyColumns;
    for (const QString &field : ContactSchema::fieldNames())
        columns << quoted(field);
    for (const QString &field : ContactSchema::keyedFieldNames())
        keyColumns << quoted(ContactSchema::keyColumn(field));
    const int textCount = int(columns.size());
    columns << keyColumns;

    QProcess psql;
    psql.setStandardOutputFile(QProcess::nullDevice());
    psql.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    psql.start(server.program(QStringLiteral("psql")),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), server.socketDir(),
                QStringLiteral("-p"), QString::number(server.port()), QStringLiteral("-U"),
                server.user(), QStringLiteral("-d"), QLatin1String(kDatabase)});
    if (!psql.waitForStarted()) {
        std::fprintf(stderr, "psql: %s\n", qPrintable(psql.errorString()));
        return false;
    }
    QByteArray script = "BEGIN;\nSET LOCAL session_replication_role = replica;\n";
    for (const auto &index : std::as_const(indexes))
        script += QStringLiteral("DROP INDEX %1;\n").arg(quoted(index.first)).toUtf8();
    script += QStringLiteral("COPY %1 (%2) FROM STDIN;\n")
                  .arg(quoted(table), columns.join(QStringLiteral(", ")))
                  .toUtf8();
    const auto send = [&psql](QByteArray *text) {
        psql.write(*text);
        text->clear();
        // Keeps what waits for psql small, so the copy runs in little memory.
        while (psql.bytesToWrite() > (4 << 20) && psql.state() == QProcess::Running)
            psql.waitForBytesWritten(-1);
        return psql.state() == QProcess::Running;
    };

    qint64 rows = 0;
    {
        QSqlDatabase source =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-source"));
        source.setDatabaseName(sqlitePath);
        source.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery query(source);
        query.setForwardOnly(true);
        if (!source.open() || !query.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY id")
                                              .arg(columns.join(QStringLiteral(", ")), table))) {
            std::fprintf(stderr, "%s: %s %s\n", qPrintable(sqlitePath),
                         qPrintable(source.lastError().text()),
                         qPrintable(query.lastError().text()));
            return false;
        }
        while (query.next()) {
            for (int i = 0; i < columns.size(); ++i) {
                if (i > 0)
                    script += '\t';
                if (i < textCount)
                    appendCopyText(&script, query.value(i));
                else
                    appendCopyBytes(&script, query.value(i));
            }
            script += '\n';
            ++rows;
            if (script.size() > (1 << 20) && !send(&script))
                break;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-source"));
    script += "\\.\n";
    for (const auto &index : std::as_const(indexes))
        script += index.second.toUtf8() + ";\n";
    script += QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), max(id)) FROM %1;\n"
                             "COMMIT;\nANALYZE %1;\n")
                  .arg(quoted(table))
                  .toUtf8();
    send(&script);
    psql.closeWriteChannel();
    if (!psql.waitForFinished(-1) || psql.exitStatus() != QProcess::NormalExit ||
        psql.exitCode() != 0) {
        std::fprintf(stderr, "psql failed filling the table (status %d)\n", psql.exitCode());
        return false;
    }
    std::fprintf(stderr, "# copied %lld contacts to the server\n", static_cast<long long>(rows));
    return true;
}

// A prefix of one to three letters, as a user starts to type a name, now and then
// with a capital.
QString randomPrefix(std::mt19937 &random)
{
    static const QString letters = QStringLiteral("aąbcćdeęfghijklłmnńoóprsśtuwyzźż");
    QString prefix;
    const int length = 1 + int(random() % 3);
    for (int i = 0; i < length; ++i)
        prefix += letters[int(random() % letters.size())];
    return random() % 4 == 0 ? prefix.left(1).toUpper() + prefix.mid(1) : prefix;
}

} // namespace

int main(int argc, char *argv[])
{
    // The alias goes to a settings file of the benchmark's own, never the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_server <database file>\n");
        return 2;
    }
    const QString path = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    PgTestServer server(QFileInfo(path).absolutePath() + QStringLiteral("/pg"));
    if (!server.available()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.unavailableReason()));
        return 1;
    }
    server.setSetting(QStringLiteral("shared_buffers"), QStringLiteral("256MB"));
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.error()));
        return 1;
    }
    if (!ensureDatabase(server))
        return 1;
    writeAlias(server);
    try {
        bool empty = false;
        {
            // The first open makes the table; an empty one is filled once.
            auto table = openTable();
            empty = table->isEmpty();
        }
        if (empty) {
            const auto start = bench::Clock::now();
            if (!fill(server, path))
                return 1;
            std::fprintf(stderr, "# filled the server in %.1f s\n",
                         bench::microsecondsSince(start) / 1e6);
        }
        bench::resetPeakResident(); // the program's memory, not the filling's

        std::vector<double> opens;
        for (int i = 0; i < 7; ++i) {
            const auto start = bench::Clock::now();
            auto table = openTable();
            opens.push_back(bench::microsecondsSince(start) / 1000.0);
        }
        bench::report("server_open_median", bench::median(opens), "ms");

        auto table = openTable();
        TTable &t = *table;
        bench::report("server_records", double(t.recordCount()), "records");

        constexpr int kSteps = 2000;
        for (const QString &index :
             {QStringLiteral("nInd"), QStringLiteral("bInd"), QStringLiteral("fInd")}) {
            t.setIndexName(index);
            const QString prefix = QStringLiteral("server_") + index + QLatin1Char('_');
            bench::reportSpread(prefix + QStringLiteral("first"),
                                bench::sample(100, [&](int) { t.first(); }));
            bench::reportSpread(prefix + QStringLiteral("last"),
                                bench::sample(100, [&](int) { t.last(); }));
            t.first();
            bench::reportSpread(prefix + QStringLiteral("next"),
                                bench::sample(kSteps, [&](int) { t.next(); }));
            t.last();
            bench::reportSpread(prefix + QStringLiteral("prior"),
                                bench::sample(kSteps, [&](int) { t.prior(); }));
        }

        // Typing: each release switches index and searches for what the box holds.
        std::mt19937 random(7);
        const SearchKind kinds[] = {SearchKind::Name, SearchKind::Branch,
                                    SearchKind::Representative};
        bench::reportSpread(QStringLiteral("server_switch_and_nearest"),
                            bench::sample(1500, [&](int i) {
                                incrementalSearch(t, kinds[i % 3], randomPrefix(random));
                            }));
        bench::report("server_rss_peak", bench::peakResidentMegabytes(), "MB");

        // Post of one changed record.
        t.setIndexName(QStringLiteral("nInd"));
        t.first();
        const std::vector<double> posts = bench::sample(60, [&](int i) {
            t.edit();
            t.setFieldText(QStringLiteral("Tel"),
                           QStringLiteral("22 %1 %2").arg(random() % 1000).arg(i));
            t.post();
        });
        bench::report("server_post_median", bench::median(posts) / 1000.0, "ms");
        bench::report("server_post_p99", bench::percentile(posts, 99) / 1000.0, "ms");
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return server.stop() ? 0 : 1;
}
