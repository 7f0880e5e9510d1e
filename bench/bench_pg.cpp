#include "bench_pg.h"

#include "bench_util.h"
#include "platform/settings_store.h"
#include "store/contact_schema.h"
#include "store/search_index.h"
#include "store/sql_text.h"

#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>

namespace benchpg {

namespace {

using SqlText::quoted;

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

} // namespace

std::unique_ptr<PgTestServer> server(const QString &sqlitePath)
{
    return std::make_unique<PgTestServer>(QFileInfo(sqlitePath).absolutePath() +
                                          QStringLiteral("/pg"));
}

bool start(PgTestServer &server)
{
    if (!server.available()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.unavailableReason()));
        return false;
    }
    server.setSetting(QStringLiteral("shared_buffers"), QStringLiteral("256MB"));
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.error()));
        return false;
    }
    return true;
}

bool runSql(const PgTestServer &server, const QString &sql,
            QList<std::pair<QString, QString>> *rows, const QString &database)
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

bool databaseExists(const PgTestServer &server, const QString &name)
{
    QList<std::pair<QString, QString>> rows;
    return runSql(
               server,
               QStringLiteral("SELECT datname, '' FROM pg_database WHERE datname = '%1'").arg(name),
               &rows, QStringLiteral("postgres")) &&
           !rows.isEmpty();
}

void writeAlias(const PgTestServer &server, const QString &database)
{
    SettingsStore settings;
    settings.openKey(QStringLiteral("Aliasy\\") + QLatin1String(ContactSchema::kAlias), true);
    settings.writeString(QStringLiteral("Driver"), QStringLiteral("QPSQL"));
    settings.writeString(QStringLiteral("Host"), server.host());
    settings.writeString(QStringLiteral("Port"), QString::number(server.port()));
    settings.writeString(QStringLiteral("Database"), database);
    settings.writeString(QStringLiteral("User"), server.user());
}

std::unique_ptr<TTable> openTable()
{
    auto table = std::make_unique<TTable>();
    table->setDatabaseName(QLatin1String(ContactSchema::kAlias));
    table->setTableName(QLatin1String(ContactSchema::kTableName));
    table->open();
    return table;
}

bool searchTextMissing(const PgTestServer &server, const QString &database)
{
    const QString table = QLatin1String(ContactSchema::kTableName);
    QList<std::pair<QString, QString>> rows;
    return runSql(server,
                  QStringLiteral("SELECT (EXISTS (SELECT 1 FROM %1) AND NOT EXISTS (SELECT 1 FROM "
                                 "%2))::text, ''")
                      .arg(quoted(table), quoted(SearchIndex::textTableName(table))),
                  &rows, database) &&
           rows.value(0).first == QLatin1String("true");
}

bool prepareBook(PgTestServer &server, const QString &sqlitePath)
{
    const QString database = QLatin1String(kDatabase);
    if (!databaseExists(server, database) && !server.createDatabase(database)) {
        std::fprintf(stderr, "%s\n", qPrintable(server.error()));
        return false;
    }
    writeAlias(server, database);
    bool empty = false;
    {
        // The first open makes the table; an empty one is filled once.
        auto table = openTable();
        empty = table->isEmpty();
    }
    if (empty) {
        const auto start = bench::Clock::now();
        if (!fill(server, sqlitePath))
            return false;
        std::fprintf(stderr, "# filled the server in %.1f s\n",
                     bench::microsecondsSince(start) / 1e6);
    }
    // The copy passes by the triggers that keep the search text: while the text is
    // missing, its tables go, and the next open builds them over every contact as the
    // program does for a table that has none.
    const QString table = QLatin1String(ContactSchema::kTableName);
    const QString text = SearchIndex::textTableName(table);
    if (!searchTextMissing(server, database))
        return true;
    if (!runSql(server, QStringLiteral("DROP TABLE %1, %2 CASCADE")
                            .arg(quoted(text), quoted(SearchIndex::marksTableName(table)))))
        return false;
    const auto start = bench::Clock::now();
    int shown = -1;
    auto rebuilt = std::make_unique<TTable>();
    rebuilt->setDatabaseName(QLatin1String(ContactSchema::kAlias));
    rebuilt->setTableName(table);
    rebuilt->setRebuildProgress([&shown](int percent) {
        if (percent / 10 != shown / 10)
            std::fprintf(stderr, "# building the search text: %d%%\n", percent);
        shown = percent;
    });
    rebuilt->open();
    std::fprintf(stderr, "# built the search text in %.1f s\n",
                 bench::microsecondsSince(start) / 1e6);
    return true;
}

QString randomPrefix(std::mt19937 &random)
{
    static const QString letters = QStringLiteral("aąbcćdeęfghijklłmnńoóprsśtuwyzźż");
    QString prefix;
    const int length = 1 + int(random() % 3);
    for (int i = 0; i < length; ++i)
        prefix += letters[int(random() % letters.size())];
    return random() % 4 == 0 ? prefix.left(1).toUpper() + prefix.mid(1) : prefix;
}

} // namespace benchpg
