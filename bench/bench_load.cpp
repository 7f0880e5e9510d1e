// Fifty users on one PostgreSQL server: each user is a process of its own (this program
// run again with --user) that opens the contact table by its alias through the core
// library, as the program does without its windows, and for a fixed time moves in every
// index, searches as the user types, runs "Znajdź" and posts changes, a fifth of them on
// twenty records that every user shares, so that some meet another user's change. Half
// way through, another process imports 10,000 contacts from a CSV file. Each user logs
// how long each step took and what it posted with what it was told; at the end the
// table is compared with the logs: no change told saved may be lost, none applied twice,
// none told refused present. Then one user on a book of 10,000,000 contacts, a second
// database on the same server made once from the first.
//
// The server's cluster is the one of bench_server, in the folder "pg" beside the file.
// Usage: bench_load <database file> [--seconds S] [--users N] [--no-10m] [--statements]
//   --statements  loads pg_stat_statements into the server and prints the statements
//                 that took the most time on stderr.
// Inside: bench_load --user N --seconds S --log FILE --ids LOW,HIGH --shared ID,ID,...
//         bench_load --import FILE --log FILE

#include "bench_pg.h"
#include "bench_util.h"
#include "exchange/contact_import.h"
#include "exchange/contact_record.h"
#include "exchange/csv.h"
#include "platform/errors.h"
#include "store/contact_schema.h"
#include "store/contact_search.h"
#include "store/incremental_search.h"
#include "store/sql_text.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSaveFile>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <random>

namespace {

using SqlText::quoted;

const char kLoadDatabase[] = "kontakty_load";
const char k10mDatabase[] = "kontakty10m";
// The remainder of an id by this modulus says whose it is: a user's own records have
// the user's number, the shared records the last remainder.
constexpr int kOwners = 64;
constexpr int kSharedRecords = 20;
constexpr int kImported = 10000;
// The fields a user changes: two plain ones, the long remarks, and the name, whose
// change moves the record in its index and rewrites its sort key.
const char *const kPostFields[] = {"Tel", "Email", "Uwagi", "Nazwa"};
const char kChangedByOther[] = "Rekord został zmieniony przez innego użytkownika";

qint64 monotonicNanoseconds()
{
    // steady_clock is CLOCK_MONOTONIC, one clock for every process of the machine: the
    // posts of different users can be put in order by it.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               bench::Clock::now().time_since_epoch())
        .count();
}

// Waits for about `milliseconds` in an event loop, as the program waits for the next key:
// the connection's events are handled meanwhile, such as the server's notices of rows
// that other users changed.
void pause(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The time the machine's processors were busy and in all, in ticks, from /proc/stat.
std::pair<qint64, qint64> processorTicks()
{
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return {0, 0};
    // cpu user nice system idle iowait irq softirq steal ...
    const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
    qint64 total = 0;
    for (qsizetype i = 1; i < fields.size() && i <= 8; ++i)
        total += fields[i].toLongLong();
    const qint64 idle = fields.value(4).toLongLong() + fields.value(5).toLongLong();
    return {total - idle, total};
}

// ---- A user ----------------------------------------------------------------------

struct UserOptions
{
    int user = 0;
    int seconds = 60;
    QString log;
    qint64 lowId = 1;
    qint64 highId = 1;
    QList<qint64> shared;
};

// What users look for in "Znajdź": words of three or more characters in every field,
// and one or two characters at the start of name, branch and representative.
const QStringList &findTexts()
{
    static const QStringList texts{"lodz",   "piotrkowska", "kowalski jan",
                                   "22 555", "@wp.pl",      "hurtow",
                                   "zieba",  "meble",       "ska",
                                   "sp. z",  "nowa",        "warsz",
                                   "601",    "kow",         "pol",
                                   "ewa",    "gdan",        "a",
                                   "k",      "ło",          "m",
                                   "pr",     "ba",          "st"};
    return texts;
}

// One user: a busy one. A person at a card works at a step a second or two; fifty of
// them make some 30 steps a second. Each simulated user waits 50-150 ms (100 ms on
// average) between steps, ten to twenty times a real user's pace, so the fifty load
// the server like several hundred people would. A faster pace would measure only the
// two cores of this machine, which carry the server and all fifty clients at once.
int runUser(const UserOptions &options)
{
    QFile file(options.log);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(options.log));
        return 1;
    }
    QTextStream log(&file);
    std::mt19937 random(1000u + unsigned(options.user));
    const auto uniform = [&random](int low, int high) {
        return low + int(random() % (high - low + 1));
    };
    const QStringList indexes{QStringLiteral("nInd"), QStringLiteral("bInd"),
                              QStringLiteral("fInd")};
    const SearchKind kinds[] = {SearchKind::Name, SearchKind::Branch, SearchKind::Representative};
    try {
        const auto openStart = bench::Clock::now();
        auto table = benchpg::openTable();
        TTable &t = *table;
        log << "open " << bench::microsecondsSince(openStart) << '\n';
        const auto end = bench::Clock::now() + std::chrono::seconds(options.seconds);
        const auto timed = [&log](const char *kind, const auto &step) {
            const auto start = bench::Clock::now();
            step();
            log << kind << ' ' << bench::microsecondsSince(start) << '\n';
        };
        int posts = 0;
        while (bench::Clock::now() < end) {
            pause(uniform(50, 150));
            const int choice = uniform(0, 99);
            if (choice < 60) {
                // Browsing: mostly a step on, now and then to an end or to another index.
                if (uniform(0, 9) == 0)
                    t.setIndexName(indexes[uniform(0, 2)]);
                const int move = uniform(0, 9);
                timed("move", [&] {
                    if (move == 0)
                        t.first();
                    else if (move == 1)
                        t.last();
                    else if (move < 6)
                        t.next();
                    else
                        t.prior();
                });
            } else if (choice < 75) {
                // Typing into a search box: each key released searches for the whole text.
                const QString word = benchpg::randomPrefix(random);
                const SearchKind kind = kinds[uniform(0, 2)];
                for (int length = 1; length <= word.size(); ++length) {
                    if (length > 1)
                        pause(uniform(50, 150));
                    timed("search", [&] { incrementalSearch(t, kind, word.left(length)); });
                }
            } else if (choice < 88) {
                // "Znajdź": the first page of 50 rows within the window's budget of 6 ms.
                const QString &text = findTexts()[uniform(0, int(findTexts().size()) - 1)];
                timed("find", [&] {
                    const ContactSearch search(t.database(), t.tableName());
                    search.scan(text, ContactSearch::scopeFor(text),
                                std::numeric_limits<qint64>::min(), 50, 6);
                });
            } else {
                // A change of one field of a record: a fifth on the shared records.
                const bool shared = uniform(0, 4) == 0;
                qint64 id = -1;
                if (shared) {
                    id = options.shared[uniform(0, int(options.shared.size()) - 1)];
                } else {
                    const qint64 span = (options.highId - options.lowId) / kOwners;
                    id = options.lowId + qint64(random() % quint64(span + 1)) * kOwners;
                    id += (options.user - id % kOwners + kOwners) % kOwners;
                }
                bool found = false;
                timed("locate", [&] { found = t.locate(id); });
                if (!found)
                    continue;
                const QString field = QLatin1String(kPostFields[uniform(0, 3)]);
                const QString value = QStringLiteral("u%1-n%2").arg(options.user).arg(++posts);
                t.edit();
                t.setFieldText(field, value);
                pause(uniform(100, 400)); // the user types the value
                QString outcome = QStringLiteral("ok");
                const qint64 start = monotonicNanoseconds();
                try {
                    t.post();
                } catch (const DatabaseError &error) {
                    outcome = error.message().startsWith(QString::fromUtf8(kChangedByOther))
                                  ? QStringLiteral("conflict")
                                  : QStringLiteral("error");
                    if (outcome == QLatin1String("error"))
                        std::fprintf(stderr, "user %d: post of %lld: %s\n", options.user,
                                     static_cast<long long>(id), qPrintable(error.message()));
                    t.cancel();
                }
                const qint64 finish = monotonicNanoseconds();
                log << "post " << (finish - start) / 1000.0 << '\n';
                log << "posted " << id << ' ' << field << ' ' << value << ' ' << outcome << ' '
                    << start << ' ' << finish << '\n';
            }
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "user %d: %s\n", options.user, error.what());
        log << "failed\n";
        return 1;
    }
    log << "rss " << bench::peakResidentMegabytes() << '\n';
    return log.status() == QTextStream::Ok && file.flush() ? 0 : 1;
}

// The import of a CSV file into the table, as kartax2000 --import does it.
int runImport(const QString &path, const QString &logPath)
{
    try {
        auto table = benchpg::openTable();
        ContactImport::Options options;
        options.format = ContactImport::Format::Csv;
        options.askDuplicate = [](const ContactImport::Duplicate &) {
            return ContactImport::Decision{ContactImport::Choice::Add, true};
        };
        const auto start = bench::Clock::now();
        const auto result = ContactImport::importFile(*table, path, options);
        const double seconds = bench::microsecondsSince(start) / 1e6;
        if (!result.ok) {
            std::fprintf(stderr, "import: %s\n", qPrintable(result.error));
            return 1;
        }
        QFile log(logPath);
        if (!log.open(QIODevice::WriteOnly | QIODevice::Text))
            return 1;
        log.write(QStringLiteral("import %1 %2\n").arg(seconds).arg(result.added).toUtf8());
    } catch (const std::exception &error) {
        std::fprintf(stderr, "import: %s\n", error.what());
        return 1;
    }
    return 0;
}

// ---- The parent --------------------------------------------------------------------

struct Options
{
    QString path;
    int seconds = 60;
    int users = 50;
    bool tenMillion = true;
    bool statements = false;
};

// 10,000 contacts of the SQLite book as a CSV file, each name marked as imported.
bool writeImportFile(const QString &sqlitePath, const QString &csvPath)
{
    QFile out(csvPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    CsvWriter writer(&out);
    writer.setColumns({});
    bool ok = true;
    {
        QSqlDatabase source =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("load-source"));
        source.setDatabaseName(sqlitePath);
        source.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QStringList columns;
        for (const QString &field : ContactSchema::fieldNames())
            columns << quoted(field);
        QSqlQuery query(source);
        query.setForwardOnly(true);
        ok = source.open() &&
             query.exec(QStringLiteral("SELECT %1 FROM %2 WHERE id % 97 = 5 "
                                       "ORDER BY id LIMIT %3")
                            .arg(columns.join(u", "), QLatin1String(ContactSchema::kTableName))
                            .arg(kImported));
        if (!ok)
            std::fprintf(stderr, "%s\n", qPrintable(query.lastError().text()));
        while (ok && query.next()) {
            ContactRecord record;
            for (int i = 0; i < ContactRecord::kFieldCount; ++i)
                record.values[std::size_t(i)] = query.value(i).toString();
            record[ContactRecord::Nazwa] += QStringLiteral(" (import)");
            ok = writer.write(record);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("load-source"));
    return ok && out.flush();
}

// The postgres processes of the server: the postmaster and its children.
QList<qint64> serverProcesses(const PgTestServer &server)
{
    QFile pidFile(server.socketDir() + QStringLiteral("/data/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return {};
    const qint64 postmaster = pidFile.readLine().trimmed().toLongLong();
    QList<qint64> pids{postmaster};
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // pid (comm) state ppid ...: the name may hold spaces, so read after its ')'.
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && rest[1].toLongLong() == postmaster)
            pids << pid;
    }
    return pids;
}

// A "Name: N kB" line of a /proc file, in megabytes.
double procMegabytes(const QString &path, const QByteArray &name)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

// The server's memory now: the sum of its processes' resident sizes, which counts the
// shared buffers once per process that touched them, and the sum of their proportional
// sizes, which counts every page once.
std::pair<double, double> serverMemory(const PgTestServer &server)
{
    double rss = 0;
    double pss = 0;
    for (const qint64 pid : serverProcesses(server)) {
        rss += procMegabytes(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS");
        pss += procMegabytes(QStringLiteral("/proc/%1/smaps_rollup").arg(pid), "Pss");
    }
    return {rss, pss};
}

// A fresh copy of the benchmark's book for the users to change, so that every run starts
// from the same table.
bool copyBook(PgTestServer &server, const QString &from, const QString &to)
{
    return benchpg::runSql(server, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(quoted(to)),
                           nullptr, QStringLiteral("postgres")) &&
           benchpg::runSql(server,
                           QStringLiteral("CREATE DATABASE %1 TEMPLATE %2 STRATEGY FILE_COPY")
                               .arg(quoted(to), quoted(from)),
                           nullptr, QStringLiteral("postgres"));
}

struct Post
{
    int user = 0;
    qint64 id = 0;
    QString field;
    QString value;
    QString outcome;
    qint64 start = 0;
    qint64 finish = 0;
};

struct UserLog
{
    std::vector<double> moves;
    std::vector<double> searches; // incremental searches
    std::vector<double> finds;
    std::vector<double> posts;
    std::vector<double> locates;
    double open = 0;
    double rss = 0;
    bool failed = false;
};

UserLog readUserLog(const QString &path, int user, QList<Post> *posts)
{
    UserLog result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        result.failed = true;
        return result;
    }
    QTextStream in(&file);
    QString line;
    while (in.readLineInto(&line)) {
        const QStringList parts = line.split(u' ');
        const QString &kind = parts[0];
        const double value = parts.value(1).toDouble();
        if (kind == QLatin1String("move"))
            result.moves.push_back(value);
        else if (kind == QLatin1String("search"))
            result.searches.push_back(value);
        else if (kind == QLatin1String("find"))
            result.finds.push_back(value);
        else if (kind == QLatin1String("post"))
            result.posts.push_back(value);
        else if (kind == QLatin1String("locate"))
            result.locates.push_back(value);
        else if (kind == QLatin1String("open"))
            result.open = value;
        else if (kind == QLatin1String("rss"))
            result.rss = value;
        else if (kind == QLatin1String("failed"))
            result.failed = true;
        else if (kind == QLatin1String("posted") && parts.size() == 7)
            posts->append({user, parts[1].toLongLong(), parts[2], parts[3], parts[4],
                           parts[5].toLongLong(), parts[6].toLongLong()});
    }
    return result;
}

struct Check
{
    int lost = 0;
    int appliedTwice = 0;
    int refusedApplied = 0;
};

// Compares the logs with the table. A value is posted once and is unique, so each may be
// found in one place at most. On a user's own records only that user writes: the last
// change told saved to a field must be its value. On the shared records the value must
// be one told saved, and none that another change told saved began after it had been
// told saved, since that one then committed later. A value told refused must be nowhere.
Check checkTable(const PgTestServer &server, const QList<Post> &posts,
                 const QSet<qint64> &sharedIds)
{
    Check check;
    // Where each posted value is now.
    QHash<QString, QList<std::pair<qint64, QString>>> found;
    for (const char *fieldName : kPostFields) {
        const QString field = QLatin1String(fieldName);
        QList<std::pair<QString, QString>> rows;
        if (!benchpg::runSql(
                server,
                QStringLiteral("SELECT id::text, %1 FROM %2 WHERE %1 ~ '^u[0-9]+-n[0-9]+$'")
                    .arg(quoted(field), quoted(QLatin1String(ContactSchema::kTableName))),
                &rows, QLatin1String(kLoadDatabase))) {
            check.lost = -1;
            return check;
        }
        for (const auto &row : std::as_const(rows))
            found[row.second].append({row.first.toLongLong(), field});
    }
    // The final value of each field posted to, and the posts to it.
    QHash<QString, QString> finalValue;
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        check.appliedTwice += int(it.value().size()) - 1;
        for (const auto &place : it.value())
            finalValue[QString::number(place.first) + u'/' + place.second] = it.key();
    }
    QHash<QString, QList<Post>> byField;
    QHash<QString, Post> byValue;
    for (const Post &post : posts) {
        byField[QString::number(post.id) + u'/' + post.field].append(post);
        byValue[post.value] = post;
    }
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        const auto posted = byValue.constFind(it.key());
        if (posted == byValue.cend())
            continue; // a value of an earlier run cannot be: the book is a fresh copy
        if (posted->outcome == QLatin1String("conflict"))
            ++check.refusedApplied;
        const auto &place = it.value().first();
        if (place.first != posted->id || place.second != posted->field)
            ++check.appliedTwice; // it went to another record or field
    }
    for (auto it = byField.cbegin(); it != byField.cend(); ++it) {
        QList<Post> ok;
        for (const Post &post : it.value())
            if (post.outcome == QLatin1String("ok"))
                ok.append(post);
        if (ok.isEmpty())
            continue;
        const QString now = finalValue.value(it.key());
        const auto current = std::find_if(ok.cbegin(), ok.cend(),
                                          [&now](const Post &post) { return post.value == now; });
        if (current == ok.cend()) {
            // Every change told saved to the field is gone.
            check.lost += 1;
            continue;
        }
        if (!sharedIds.contains(ok.first().id)) {
            // One user wrote the field, one change after another: the last one stays.
            const auto last =
                std::max_element(ok.cbegin(), ok.cend(),
                                 [](const Post &a, const Post &b) { return a.start < b.start; });
            if (last->value != now)
                ++check.lost;
            continue;
        }
        for (const Post &post : ok)
            if (post.start > current->finish)
                ++check.lost; // saved after the value that stands, yet it does not stand
    }
    return check;
}

// The statements that took the server the most time, on stderr.
void printStatements(const PgTestServer &server, const QString &database)
{
    QList<std::pair<QString, QString>> rows;
    benchpg::runSql(
        server,
        QStringLiteral(
            "SELECT format('%s calls, %s ms total, %s ms mean, %s ms max, %s rows',"
            " calls, round(total_exec_time::numeric, 1), round(mean_exec_time::numeric, 3),"
            " round(max_exec_time::numeric, 1), rows), left(regexp_replace(query, "
            "'\\s+', ' ', 'g'), 400) FROM pg_stat_statements ORDER BY total_exec_time "
            "DESC LIMIT 15"),
        &rows, database);
    std::fprintf(stderr, "# the statements that took the server the most time:\n");
    for (const auto &row : std::as_const(rows))
        std::fprintf(stderr, "#   %s\n#     %s\n", qPrintable(row.first), qPrintable(row.second));
    // Every commit waits for its log to reach the disk: how much was written, how much
    // of it whole pages (the first change of a page after a checkpoint), and the waits.
    rows.clear();
    benchpg::runSql(server,
                    QStringLiteral("SELECT format('%s records, %s full pages, %s MB; %s writes "
                                   "in %s ms, %s syncs in %s ms', wal_records, wal_fpi, "
                                   "wal_bytes / 1048576, wal_write, round(wal_write_time), "
                                   "wal_sync, round(wal_sync_time)), '' FROM pg_stat_wal"),
                    &rows, database);
    for (const auto &row : std::as_const(rows))
        std::fprintf(stderr, "# the server's log: %s\n", qPrintable(row.first));
}

void reportPerUser(const char *name, const std::vector<UserLog> &logs,
                   std::vector<double> UserLog::*samples)
{
    std::vector<double> p50s;
    std::vector<double> p99s;
    std::vector<double> all;
    for (const UserLog &log : logs) {
        const std::vector<double> &mine = log.*samples;
        if (mine.empty())
            continue;
        p50s.push_back(bench::median(mine) / 1000.0);
        p99s.push_back(bench::percentile(mine, 99) / 1000.0);
        all.insert(all.end(), mine.begin(), mine.end());
    }
    const QString prefix = QStringLiteral("load_") + QLatin1String(name);
    bench::report(qPrintable(prefix + QStringLiteral("_p50_median_user")), bench::median(p50s),
                  "ms");
    bench::report(qPrintable(prefix + QStringLiteral("_p99_median_user")), bench::median(p99s),
                  "ms");
    bench::report(qPrintable(prefix + QStringLiteral("_p99_worst_user")),
                  bench::percentile(p99s, 100), "ms");
    bench::report(qPrintable(prefix + QStringLiteral("_p50")), bench::median(all) / 1000.0, "ms");
    bench::report(qPrintable(prefix + QStringLiteral("_p99")), bench::percentile(all, 99) / 1000.0,
                  "ms");
}

// How long Znajdź takes for its first rows of each text, on stderr: where its time goes.
void printFindTimes(TTable &t)
{
    std::fprintf(stderr, "# Znajdz, first 50 rows, median of 5 (ms):");
    for (const QString &text : findTexts()) {
        const std::vector<double> times = bench::sample(5, [&](int) {
            const ContactSearch search(t.database(), t.tableName());
            search.scan(text, ContactSearch::scopeFor(text), std::numeric_limits<qint64>::min(), 50,
                        6);
        });
        std::fprintf(stderr, " %s=%.1f", qPrintable(text), bench::median(times) / 1000.0);
    }
    // As the find window carries on: steps of 4 ms until 1,001 rows or the table's end.
    std::fprintf(stderr, "\n# Znajdz, to 1001 rows or the end, median of 3 (ms):");
    for (const QString &text : findTexts()) {
        const std::vector<double> times = bench::sample(3, [&](int) {
            const ContactSearch search(t.database(), t.tableName());
            qint64 after = std::numeric_limits<qint64>::min();
            for (qsizetype rows = 0; rows < 1001;) {
                const ContactSearch::Step step =
                    search.scan(text, ContactSearch::scopeFor(text), after, 50, 4);
                rows += step.matches.size();
                after = step.after;
                if (step.done)
                    break;
            }
        });
        std::fprintf(stderr, " %s=%.0f", qPrintable(text), bench::median(times) / 1000.0);
    }
    std::fprintf(stderr, "\n");
}

// Runs the users and the import, then checks the table against their logs.
bool runLoad(PgTestServer &server, const Options &options)
{
    const auto copyStart = bench::Clock::now();
    if (!copyBook(server, QLatin1String(benchpg::kDatabase), QLatin1String(kLoadDatabase)))
        return false;
    std::fprintf(stderr, "# copied the book in %.1f s\n",
                 bench::microsecondsSince(copyStart) / 1e6);
    benchpg::writeAlias(server, QLatin1String(kLoadDatabase));
    if (options.statements &&
        !benchpg::runSql(server,
                         QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_stat_statements; "
                                        "SELECT pg_stat_statements_reset(); "
                                        "SELECT pg_stat_reset_shared('wal')"),
                         nullptr, QLatin1String(kLoadDatabase)))
        return false;

    // The span of ids, and the shared records spread over it.
    qint64 low = 0;
    qint64 high = 0;
    {
        QList<std::pair<QString, QString>> rows;
        if (!benchpg::runSql(server,
                             QStringLiteral("SELECT min(id)::text, max(id)::text FROM %1")
                                 .arg(quoted(QLatin1String(ContactSchema::kTableName))),
                             &rows, QLatin1String(kLoadDatabase)) ||
            rows.isEmpty())
            return false;
        low = rows[0].first.toLongLong();
        high = rows[0].second.toLongLong();
    }
    QList<qint64> shared;
    QStringList sharedText;
    for (int i = 0; i < kSharedRecords; ++i) {
        qint64 id = low + (high - low) / (kSharedRecords + 1) * (i + 1);
        id += (kOwners - 1 - id % kOwners + kOwners) % kOwners;
        shared << id;
        sharedText << QString::number(id);
    }

    QTemporaryDir logs;
    const QString csv = logs.filePath(QStringLiteral("import.csv"));
    if (!writeImportFile(options.path, csv)) {
        std::fprintf(stderr, "cannot write the file to import\n");
        return false;
    }

    const QString program = QCoreApplication::applicationFilePath();
    std::vector<std::unique_ptr<QProcess>> users;
    for (int user = 0; user < options.users; ++user) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(
            program, {QStringLiteral("--user"), QString::number(user), QStringLiteral("--seconds"),
                      QString::number(options.seconds), QStringLiteral("--log"),
                      logs.filePath(QStringLiteral("user-%1.log").arg(user)),
                      QStringLiteral("--ids"), QStringLiteral("%1,%2").arg(low).arg(high),
                      QStringLiteral("--shared"), sharedText.join(u',')});
        users.push_back(std::move(process));
    }
    // Half way through, the import; meanwhile the server's memory, at its largest.
    const auto start = bench::Clock::now();
    const auto ticksBefore = processorTicks();
    QProcess import;
    import.setProcessChannelMode(QProcess::ForwardedChannels);
    bool importStarted = false;
    double serverRss = 0;
    double serverPss = 0;
    const auto running = [&users] {
        return std::any_of(users.cbegin(), users.cend(), [](const auto &process) {
            return process->state() != QProcess::NotRunning;
        });
    };
    while (running()) {
        QThread::msleep(500);
        QCoreApplication::processEvents();
        const auto [rss, pss] = serverMemory(server);
        serverRss = std::max(serverRss, rss);
        serverPss = std::max(serverPss, pss);
        if (!importStarted && bench::microsecondsSince(start) > options.seconds * 1e6 / 2) {
            import.start(program, {QStringLiteral("--import"), csv, QStringLiteral("--log"),
                                   logs.filePath(QStringLiteral("import.log"))});
            importStarted = true;
        }
    }
    const auto ticksAfter = processorTicks();
    import.waitForFinished(-1);

    std::vector<UserLog> userLogs;
    QList<Post> posts;
    std::vector<double> rss;
    int failedUsers = 0;
    for (int user = 0; user < options.users; ++user) {
        userLogs.push_back(
            readUserLog(logs.filePath(QStringLiteral("user-%1.log").arg(user)), user, &posts));
        if (userLogs.back().failed || users[std::size_t(user)]->exitCode() != 0)
            ++failedUsers;
        rss.push_back(userLogs.back().rss);
    }
    bench::report("load_users", options.users, "users");
    bench::report("load_seconds", options.seconds, "s");
    bench::report("load_users_failed", failedUsers, "users");
    std::vector<UserLog> searchLogs = userLogs;
    for (UserLog &log : searchLogs)
        log.searches.insert(log.searches.end(), log.finds.begin(), log.finds.end());
    reportPerUser("move", userLogs, &UserLog::moves);
    reportPerUser("search", searchLogs, &UserLog::searches);
    reportPerUser("incremental", userLogs, &UserLog::searches);
    reportPerUser("find", userLogs, &UserLog::finds);
    reportPerUser("locate", userLogs, &UserLog::locates);
    std::vector<double> allPosts;
    std::vector<double> opens;
    std::size_t steps = 0;
    for (const UserLog &log : userLogs) {
        allPosts.insert(allPosts.end(), log.posts.begin(), log.posts.end());
        opens.push_back(log.open / 1000.0);
        steps += log.moves.size() + log.searches.size() + log.finds.size() + log.posts.size() +
                 log.locates.size();
    }
    // How busy the machine's processors were while the users ran (they and the server
    // share them, with whatever else the machine does).
    bench::report("load_processors_busy",
                  100.0 * double(ticksAfter.first - ticksBefore.first) /
                      double(std::max<qint64>(1, ticksAfter.second - ticksBefore.second)),
                  "%");
    bench::report("load_steps_per_second", double(steps) / options.seconds, "steps/s");
    bench::report("load_open_median", bench::median(opens), "ms");
    bench::report("load_post_p50", bench::median(allPosts) / 1000.0, "ms");
    bench::report("load_post_p99", bench::percentile(allPosts, 99) / 1000.0, "ms");
    int conflicts = 0;
    int errors = 0;
    for (const Post &post : std::as_const(posts)) {
        conflicts += post.outcome == QLatin1String("conflict");
        errors += post.outcome == QLatin1String("error");
    }
    bench::report("load_posts", double(posts.size()), "posts");
    bench::report("load_conflicts", conflicts, "posts");
    bench::report("load_post_errors", errors, "posts");
    {
        QFile importLog(logs.filePath(QStringLiteral("import.log")));
        const QList<QByteArray> parts = importLog.open(QIODevice::ReadOnly)
                                            ? importLog.readAll().trimmed().split(' ')
                                            : QList<QByteArray>();
        bench::report("load_import_10k", parts.value(1).toDouble(), "s");
        bench::report("load_imported", parts.value(2).toDouble(), "contacts");
    }
    QSet<qint64> sharedIds(shared.cbegin(), shared.cend());
    const Check check = checkTable(server, posts, sharedIds);
    bench::report("load_lost", check.lost, "changes");
    bench::report("load_applied_twice", check.appliedTwice, "changes");
    bench::report("load_refused_applied", check.refusedApplied, "changes");
    bench::report("load_server_rss", serverRss, "MB");
    bench::report("load_server_pss", serverPss, "MB");
    bench::report("load_client_rss_median", bench::median(rss), "MB");
    bench::report("load_client_rss_max", bench::percentile(rss, 100), "MB");
    if (options.statements) {
        printStatements(server, QLatin1String(kLoadDatabase));
        printFindTimes(*benchpg::openTable());
    }
    return failedUsers == 0 && check.lost == 0 && check.appliedTwice == 0 &&
           check.refusedApplied == 0;
}

// Makes the book of 10,000,000 contacts once: a copy of the first database whose every
// table of contacts, their search text, cards and further values is repeated nine times
// with ids shifted past the original ones (the sort keys stay valid copies). The indexes
// are set aside meanwhile and made again after; the triggers do not fire (replica role).
bool make10m(PgTestServer &server)
{
    const QString building = QLatin1String(k10mDatabase) + QStringLiteral("_building");
    if (!copyBook(server, QLatin1String(benchpg::kDatabase), building))
        return false;
    const QString contacts = QLatin1String(ContactSchema::kTableName);
    QList<std::pair<QString, QString>> rows;
    if (!benchpg::runSql(server,
                         QStringLiteral("SELECT max(id)::text, '' FROM %1").arg(quoted(contacts)),
                         &rows, building))
        return false;
    const qint64 maxId = rows.value(0).first.toLongLong();
    const qint64 shift = (maxId + 999999) / 1000000 * 1000000;
    // Every table with a column of contact ids, and its columns.
    QList<std::pair<QString, QString>> columns;
    if (!benchpg::runSql(server,
                         QStringLiteral("SELECT c.table_name, string_agg(c.column_name, ',' ORDER "
                                        "BY c.ordinal_position) FROM information_schema.columns c "
                                        "JOIN information_schema.tables t USING (table_schema, "
                                        "table_name) WHERE c.table_schema = 'public' AND "
                                        "t.table_type = 'BASE TABLE' GROUP BY c.table_name"),
                         &columns, building))
        return false;
    QStringList script{QStringLiteral("SET session_replication_role = replica"),
                       QStringLiteral("SET maintenance_work_mem = '1GB'")};
    QStringList indexesAfter;
    for (const auto &[table, list] : std::as_const(columns)) {
        const QStringList names = list.split(u',');
        if (!names.contains(QStringLiteral("id")) && !names.contains(QStringLiteral("contact")))
            continue;
        QList<std::pair<QString, QString>> indexes;
        if (!benchpg::runSql(
                server,
                QStringLiteral("SELECT i.relname, pg_get_indexdef(i.oid) FROM pg_index "
                               "x JOIN pg_class i ON i.oid = x.indexrelid WHERE "
                               "x.indrelid = to_regclass('%1') AND NOT x.indisprimary "
                               "AND NOT x.indisunique")
                    .arg(quoted(table)),
                &indexes, building))
            return false;
        QStringList select;
        QStringList quotedNames;
        for (const QString &name : names) {
            quotedNames << quoted(name);
            if (name == QLatin1String("id") || name == QLatin1String("contact"))
                select << QStringLiteral("%1 + k * %2").arg(quoted(name)).arg(shift);
            else if (name == QLatin1String("uid"))
                select << QStringLiteral("uid || '-' || k");
            else
                select << quoted(name);
        }
        for (const auto &index : std::as_const(indexes)) {
            script << QStringLiteral("DROP INDEX %1").arg(quoted(index.first));
            indexesAfter << index.second;
        }
        script << QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %1, generate_series(1, 9) k")
                      .arg(quoted(table), quotedNames.join(u", "), select.join(u", "));
    }
    script << indexesAfter;
    script << QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), max(id)) FROM %1")
                  .arg(quoted(contacts));
    for (const QString &statement : std::as_const(script)) {
        const auto start = bench::Clock::now();
        // The settings hold for the session: each statement goes with them.
        if (!benchpg::runSql(server, script[0] + u';' + script[1] + u';' + statement, nullptr,
                             building))
            return false;
        std::fprintf(stderr, "# %.1f s: %s\n", bench::microsecondsSince(start) / 1e6,
                     qPrintable(statement.left(100)));
    }
    return benchpg::runSql(server, QStringLiteral("VACUUM ANALYZE"), nullptr, building) &&
           benchpg::runSql(server,
                           QStringLiteral("ALTER DATABASE %1 RENAME TO %2")
                               .arg(quoted(building), quoted(QLatin1String(k10mDatabase))),
                           nullptr, QStringLiteral("postgres"));
}

// One user on the book of 10,000,000 contacts: opening, moves, and Znajdź's first rows.
bool run10m(PgTestServer &server, bool statements)
{
    const QString database = QLatin1String(k10mDatabase);
    // A book made before its first copy had its search text is made again.
    if (benchpg::databaseExists(server, database) && benchpg::searchTextMissing(server, database) &&
        !benchpg::runSql(server, QStringLiteral("DROP DATABASE %1").arg(quoted(database)), nullptr,
                         QStringLiteral("postgres")))
        return false;
    if (!benchpg::databaseExists(server, database)) {
        const auto start = bench::Clock::now();
        if (!make10m(server))
            return false;
        std::fprintf(stderr, "# made the book of 10,000,000 in %.1f s\n",
                     bench::microsecondsSince(start) / 1e6);
    }
    benchpg::writeAlias(server, QLatin1String(k10mDatabase));
    std::vector<double> opens;
    for (int i = 0; i < 7; ++i) {
        const auto start = bench::Clock::now();
        auto table = benchpg::openTable();
        opens.push_back(bench::microsecondsSince(start) / 1000.0);
    }
    auto table = benchpg::openTable();
    TTable &t = *table;
    bench::report("load10m_records", double(t.recordCount()), "records");
    bench::report("load10m_open", bench::median(opens), "ms");
    std::vector<double> moves;
    for (const QString &index :
         {QStringLiteral("nInd"), QStringLiteral("bInd"), QStringLiteral("fInd")}) {
        t.setIndexName(index);
        const auto add = [&moves](const std::vector<double> &samples) {
            moves.insert(moves.end(), samples.begin(), samples.end());
        };
        add(bench::sample(50, [&](int) { t.first(); }));
        add(bench::sample(50, [&](int) { t.last(); }));
        t.first();
        add(bench::sample(500, [&](int) { t.next(); }));
        t.last();
        add(bench::sample(500, [&](int) { t.prior(); }));
    }
    bench::report("load10m_move_median", bench::median(moves) / 1000.0, "ms");
    bench::report("load10m_move_p99", bench::percentile(moves, 99) / 1000.0, "ms");
    const std::vector<double> finds = bench::sample(240, [&](int i) {
        const QString &text = findTexts()[i % findTexts().size()];
        const ContactSearch search(t.database(), t.tableName());
        search.scan(text, ContactSearch::scopeFor(text), std::numeric_limits<qint64>::min(), 50, 6);
    });
    if (statements)
        printFindTimes(t);
    bench::report("load10m_find_first_median", bench::median(finds) / 1000.0, "ms");
    bench::report("load10m_find_first_p99", bench::percentile(finds, 99) / 1000.0, "ms");
    return true;
}

// The value after `name` among the arguments, or empty.
QString argument(const QStringList &arguments, const QString &name)
{
    const qsizetype at = arguments.indexOf(name);
    return at >= 0 ? arguments.value(at + 1) : QString();
}

} // namespace

int main(int argc, char *argv[])
{
    const bool child =
        argc > 1 && (std::strcmp(argv[1], "--user") == 0 || std::strcmp(argv[1], "--import") == 0);
    // The alias goes to a settings file of the benchmark's own, never the user's; the
    // users and the import find it there too.
    std::unique_ptr<QTemporaryDir> config;
    if (!child) {
        config = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config->path()));
    }
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.value(1) == QLatin1String("--user")) {
        UserOptions options;
        options.user = arguments.value(2).toInt();
        options.seconds = argument(arguments, QStringLiteral("--seconds")).toInt();
        options.log = argument(arguments, QStringLiteral("--log"));
        const QStringList ids = argument(arguments, QStringLiteral("--ids")).split(u',');
        options.lowId = ids.value(0).toLongLong();
        options.highId = ids.value(1).toLongLong();
        for (const QString &id : argument(arguments, QStringLiteral("--shared")).split(u','))
            options.shared << id.toLongLong();
        return runUser(options);
    }
    if (arguments.value(1) == QLatin1String("--import"))
        return runImport(arguments.value(2), argument(arguments, QStringLiteral("--log")));

    Options options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (a == QLatin1String("--seconds"))
            options.seconds = arguments.value(++i).toInt();
        else if (a == QLatin1String("--users"))
            options.users = std::clamp(arguments.value(++i).toInt(), 1, kOwners - 1);
        else if (a == QLatin1String("--no-10m"))
            options.tenMillion = false;
        else if (a == QLatin1String("--statements"))
            options.statements = true;
        else if (options.path.isEmpty() && !a.startsWith(u'-'))
            options.path = QFileInfo(a).absoluteFilePath();
        else
            options.path.clear(), i = int(arguments.size());
    }
    if (options.path.isEmpty() || options.seconds <= 0) {
        std::fprintf(stderr, "usage: bench_load <database file> [--seconds S] [--users N] "
                             "[--no-10m] [--statements]\n");
        return 2;
    }
    const auto server = benchpg::server(options.path);
    if (options.statements) {
        server->setSetting(QStringLiteral("shared_preload_libraries"),
                           QStringLiteral("pg_stat_statements"));
        server->setSetting(QStringLiteral("pg_stat_statements.track"), QStringLiteral("all"));
        server->setSetting(QStringLiteral("track_wal_io_timing"), QStringLiteral("on"));
    }
    if (!benchpg::start(*server))
        return 1;
    bool ok = false;
    try {
        ok = benchpg::prepareBook(*server, options.path) && runLoad(*server, options) &&
             (!options.tenMillion || run10m(*server, options.statements));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
    }
    return server->stop() && ok ? 0 : 1;
}
