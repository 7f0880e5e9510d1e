// Contact-store benchmark: open, navigation on each index, index switch with
// nearest-key search, full-text search, post, and resident memory, over an existing
// database; the open of a copy whose collation rules changed, which rebuilds every sort
// key; the open of a copy without a search index, which builds it; and
// `kartax2000 --query` as a whole process, pointed at the database through the alias
// setting in a private XDG_CONFIG_HOME.
// Usage: bench_store <database file> [moves|index]   (scripts/bench makes one with
// 1,000,000 contacts; "moves" measures only the moves against raw lookups, "index" only
// the building of the search index)

#include "bench_util.h"
#include "platform/settings_store.h"
#include "store/contact_schema.h"
#include "store/contact_search.h"
#include "store/incremental_search.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <sqlite3.h>
#include <stdexcept>

namespace {

std::unique_ptr<TTable> openTable(const QString &path)
{
    auto table = std::make_unique<TTable>();
    table->setDatabaseFile(path);
    table->setTableName(QLatin1String(ContactSchema::kTableName));
    table->open();
    return table;
}

// A copy of the database in a temporary folder beside it, or an empty path.
QString copyOf(const QString &path, const QTemporaryDir &dir)
{
    const QString copy = dir.filePath(QStringLiteral("contacts.db"));
    if (!dir.isValid() || !QFile::copy(path, copy)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(path));
        return {};
    }
    return copy;
}

// The open of a copy of the database whose stored collation version is not the
// present one, so that opening rebuilds every sort key: seconds, how many progress
// reports it made, and whether the stock tool finds the copy sound after.
bool measureKeyRebuild(const QString &path)
{
    QTemporaryDir dir(QFileInfo(path).absolutePath() + QStringLiteral("/rebuild-XXXXXX"));
    const QString copy = copyOf(path, dir);
    if (copy.isEmpty())
        return false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rules"));
        db.setDatabaseName(copy);
        if (!db.open()) {
            std::fprintf(stderr, "%s\n", qPrintable(db.lastError().text()));
            return false;
        }
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("UPDATE Kartax2000_meta SET value = 'older rules' "
                                       "WHERE name = 'collation'"))) {
            std::fprintf(stderr, "%s\n", qPrintable(query.lastError().text()));
            return false;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("rules"));
    int reports = 0;
    int last = -1;
    const auto start = bench::Clock::now();
    {
        TTable table;
        table.setDatabaseFile(copy);
        table.setTableName(QLatin1String(ContactSchema::kTableName));
        table.setRebuildProgress([&](int percent) {
            ++reports;
            last = percent;
        });
        table.open();
    }
    bench::report("store_open_rebuilding_every_key", bench::microsecondsSince(start) / 1e6, "s");
    bench::report("store_rebuild_progress_reports", reports, "reports");
    bench::report("store_rebuild_progress_last", last, "%");
    QProcess check;
    check.start(QStringLiteral("sqlite3"), {copy, QStringLiteral("PRAGMA integrity_check")});
    const bool sound = check.waitForFinished(600000) && check.readAllStandardOutput() == "ok\n";
    bench::report("store_rebuild_integrity_ok", sound ? 1 : 0, "bool");
    return true;
}

// A lookup of one row by its (key, id) through an index, straight through SQLite: the
// least any move can cost. Every column is read, none converted.
class RawLookup
{
public:
    RawLookup(const QString &path, const QString &index, const QString &keyColumn)
    {
        // The keys are read on a connection of their own, so that reading one leaves no
        // page in the lookup's cache that the lookup would otherwise read from the file.
        for (sqlite3 **db : {&m_db, &m_keyDb}) {
            if (sqlite3_open_v2(path.toUtf8().constData(), db, SQLITE_OPEN_READONLY, nullptr) !=
                SQLITE_OK)
                throw std::runtime_error(sqlite3_errmsg(*db));
        }
        QStringList columns{QStringLiteral("id")};
        for (const QString &field : ContactSchema::fieldNames())
            columns << QLatin1Char('"') + field + QLatin1Char('"');
        for (const QString &field : ContactSchema::keyedFieldNames())
            columns << QLatin1Char('"') + ContactSchema::keyColumn(field) + QLatin1Char('"');
        const QString table = QLatin1String(ContactSchema::kTableName);
        prepare(QStringLiteral("SELECT %1 FROM %2 INDEXED BY %3 WHERE \"%4\" = ?1 AND id = ?2")
                    .arg(columns.join(QLatin1Char(',')), table, index, keyColumn),
                &m_lookup, m_db);
        prepare(QStringLiteral("SELECT \"%1\" FROM %2 WHERE id = ?1").arg(keyColumn, table), &m_key,
                m_keyDb);
    }
    ~RawLookup()
    {
        sqlite3_finalize(m_lookup);
        sqlite3_finalize(m_key);
        sqlite3_close(m_db);
        sqlite3_close(m_keyDb);
    }
    RawLookup(const RawLookup &) = delete;
    RawLookup &operator=(const RawLookup &) = delete;

    // The sort key of a row, read beforehand so that the lookup is timed alone.
    QByteArray keyOf(qint64 id)
    {
        sqlite3_bind_int64(m_key, 1, id);
        QByteArray key;
        if (sqlite3_step(m_key) == SQLITE_ROW)
            key = QByteArray(static_cast<const char *>(sqlite3_column_blob(m_key, 0)),
                             sqlite3_column_bytes(m_key, 0));
        sqlite3_reset(m_key);
        return key;
    }
    // Finds the row and reads each of its columns; the number of bytes read.
    qint64 find(const QByteArray &key, qint64 id)
    {
        sqlite3_bind_blob(m_lookup, 1, key.constData(), int(key.size()), SQLITE_STATIC);
        sqlite3_bind_int64(m_lookup, 2, id);
        qint64 bytes = 0;
        if (sqlite3_step(m_lookup) == SQLITE_ROW) {
            for (int column = 0, count = sqlite3_column_count(m_lookup); column < count; ++column)
                bytes += sqlite3_column_bytes(m_lookup, column) +
                         (sqlite3_column_blob(m_lookup, column) != nullptr);
        }
        sqlite3_reset(m_lookup);
        return bytes;
    }

private:
    static void prepare(const QString &sql, sqlite3_stmt **statement, sqlite3 *db)
    {
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, statement, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
    }

    sqlite3 *m_db = nullptr;
    sqlite3 *m_keyDb = nullptr;
    sqlite3_stmt *m_lookup = nullptr;
    sqlite3_stmt *m_key = nullptr;
};

// Each move of the table against a raw lookup of the row it reached, timed in turn on
// the same rows in every index: the median of the ratios, and of each side.
void measureMoveVsRaw(TTable &t, const QString &path)
{
    const std::pair<const char *, const char *> indexes[] = {
        {"nInd", "Nazwa"}, {"bInd", "Branza"}, {"fInd", "Filia"}};
    std::vector<double> ratios;
    std::vector<double> moves;
    std::vector<double> raws;
    qint64 bytes = 0;
    for (const auto &[index, field] : indexes) {
        t.setIndexName(QLatin1String(index));
        RawLookup raw(path, QLatin1String(index), ContactSchema::keyColumn(QLatin1String(field)));
        const auto pair = [&](const std::function<void()> &move) {
            auto start = bench::Clock::now();
            move();
            const double moved = bench::microsecondsSince(start);
            const qint64 id = t.recordId();
            const QByteArray key = raw.keyOf(id);
            start = bench::Clock::now();
            bytes += raw.find(key, id);
            const double looked = bench::microsecondsSince(start);
            moves.push_back(moved);
            raws.push_back(looked);
            ratios.push_back(moved / looked);
        };
        for (int i = 0; i < 300; ++i) {
            pair([&] { t.first(); });
            pair([&] { t.last(); });
        }
        t.first();
        for (int i = 0; i < 2000; ++i)
            pair([&] { t.next(); });
        t.last();
        for (int i = 0; i < 2000; ++i)
            pair([&] { t.prior(); });
    }
    bench::report("move_median", bench::median(moves), "us");
    bench::report("raw_lookup_median", bench::median(raws), "us");
    bench::report("move_vs_raw_ratio", bench::median(ratios), "x");
    if (bytes == 0)
        std::fprintf(stderr, "the raw lookups found nothing\n");
}

// The size of the file, and the share of it that the search index takes (dbstat).
bool measureIndexSize(const QString &path)
{
    double indexBytes = 0;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("size"));
        db.setDatabaseName(path);
        QSqlQuery query(db);
        if (!db.open() ||
            !query.exec(QStringLiteral("SELECT sum(pgsize) FROM dbstat "
                                       "WHERE name LIKE 'Kartax2000\\_search%' "
                                       "ESCAPE '\\'")) ||
            !query.next()) {
            std::fprintf(stderr, "%s\n", qPrintable(query.lastError().text()));
            return false;
        }
        indexBytes = query.value(0).toDouble();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("size"));
    const double fileBytes = double(QFileInfo(path).size());
    bench::report("store_file_size", fileBytes / 1e6, "MB");
    bench::report("store_search_index_size", indexBytes / 1e6, "MB");
    bench::report("store_file_size_ratio_with_index", fileBytes / (fileBytes - indexBytes), "x");
    return true;
}

// The open of a copy of the database without its search index, which builds it.
bool measureIndexBuild(const QString &path)
{
    QTemporaryDir dir(QFileInfo(path).absolutePath() + QStringLiteral("/index-XXXXXX"));
    const QString copy = copyOf(path, dir);
    if (copy.isEmpty())
        return false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("older"));
        db.setDatabaseName(copy);
        QSqlQuery query(db);
        const QStringList older{
            "DROP TRIGGER Kartax2000_search_del", "DROP TRIGGER Kartax2000_search_upd",
            "DROP TRIGGER Kartax2000_search_ins", "DROP TABLE Kartax2000_search_marks",
            "DROP TABLE Kartax2000_search",       "DROP TABLE Kartax2000_search_names",
            "DROP TABLE Kartax2000_search_text"};
        if (!db.open()) {
            std::fprintf(stderr, "%s\n", qPrintable(db.lastError().text()));
            return false;
        }
        for (const QString &sql : older) {
            if (!query.exec(sql)) {
                std::fprintf(stderr, "%s\n", qPrintable(query.lastError().text()));
                return false;
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("older"));
    int last = -1;
    int reports = 0;
    double longestGap = 0; // seconds without a progress report, from the start to the end
    double previous = 0;
    const auto start = bench::Clock::now();
    const auto gap = [&] {
        const double now = bench::microsecondsSince(start) / 1e6;
        longestGap = std::max(longestGap, now - previous);
        previous = now;
    };
    {
        TTable table;
        table.setDatabaseFile(copy);
        table.setTableName(QLatin1String(ContactSchema::kTableName));
        table.setRebuildProgress([&](int percent) {
            gap();
            ++reports;
            last = percent;
        });
        table.open();
    }
    gap();
    bench::report("store_open_building_search_index", bench::microsecondsSince(start) / 1e6, "s");
    bench::report("store_search_index_progress_last", last, "%");
    bench::report("store_search_index_progress_reports", reports, "reports");
    bench::report("store_search_index_progress_longest_gap", longestGap, "s");
    return true;
}

// `kartax2000 --query TEXT` run as a whole process over the database, milliseconds.
bool measureQueryProcess(const QString &path)
{
    const QString program =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../src/kartax2000");
    QTemporaryDir config;
    {
        SettingsStore settings(config.filePath(QStringLiteral("Kartax2000/Kartax2000.ini")));
        settings.openKey(QStringLiteral("Aliasy\\Kax2000"), true);
        settings.writeString(QStringLiteral("Database"), QFileInfo(path).absoluteFilePath());
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    const QStringList texts{QStringLiteral("kowalski"), QStringLiteral("lodz"),
                            QStringLiteral("nowak jan"), QStringLiteral("zzqx")};
    std::vector<double> runs;
    for (int i = 0; i < 21; ++i) {
        QProcess process;
        process.setProcessEnvironment(environment);
        const auto start = bench::Clock::now();
        process.start(program, {QStringLiteral("--query"), texts[i % texts.size()]});
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() > 1) {
            std::fprintf(stderr, "%s --query failed: %s\n", qPrintable(program),
                         process.readAllStandardError().constData());
            return false;
        }
        runs.push_back(bench::microsecondsSince(start) / 1000.0);
    }
    bench::report("query_process_median", bench::median(runs), "ms");
    bench::report("query_process_max", bench::percentile(runs, 100), "ms");
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray only = argc == 3 ? QByteArray(argv[2]) : QByteArray();
    if (argc < 2 || argc > 3 || (argc == 3 && only != "moves" && only != "index")) {
        std::fprintf(stderr, "usage: bench_store <database file> [moves|index]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    try {
        if (only == "moves") {
            auto table = openTable(path);
            measureMoveVsRaw(*table, path);
            return 0;
        }
        if (only == "index")
            return measureIndexBuild(path) ? 0 : 1;
        std::vector<double> opens;
        for (int i = 0; i < 7; ++i) {
            const auto start = bench::Clock::now();
            auto table = openTable(path);
            opens.push_back(bench::microsecondsSince(start) / 1000.0);
        }
        bench::report("store_open_median", bench::median(opens), "ms");

        auto table = openTable(path);
        TTable &t = *table;
        bench::report("store_records", double(t.recordCount()), "records");
        bench::report("store_rss_open", bench::residentMegabytes(), "MB");

        measureMoveVsRaw(t, path);

        constexpr int kSteps = 3000;
        for (const QString &index :
             {QStringLiteral("nInd"), QStringLiteral("bInd"), QStringLiteral("fInd")}) {
            t.setIndexName(index);
            const QString prefix = QStringLiteral("store_") + index + QLatin1Char('_');
            bench::reportSpread(prefix + QStringLiteral("first"),
                                bench::sample(500, [&](int) { t.first(); }));
            bench::reportSpread(prefix + QStringLiteral("last"),
                                bench::sample(500, [&](int) { t.last(); }));
            t.first();
            bench::reportSpread(prefix + QStringLiteral("next_from_first"),
                                bench::sample(kSteps, [&](int) { t.next(); }));
            t.last();
            bench::reportSpread(prefix + QStringLiteral("prior_from_last"),
                                bench::sample(kSteps, [&](int) { t.prior(); }));
            t.last();
            for (int i = 0; i < kSteps; ++i)
                t.prior();
            bench::reportSpread(prefix + QStringLiteral("next_to_last"),
                                bench::sample(kSteps, [&](int) { t.next(); }));
            t.first();
            for (int i = 0; i < kSteps; ++i)
                t.next();
            bench::reportSpread(prefix + QStringLiteral("prior_to_first"),
                                bench::sample(kSteps, [&](int) { t.prior(); }));
        }

        // Typing: each release switches index and searches the box's whole text.
        const QStringList texts{"a",   "ab",     "ż",      "Kow",   "zz",  "",
                                "Łó",  "Przeds", "Hurt",   "ś",     "M",   "Ba",
                                "Wiś", "Tatry",  "PPHU N", "Jan K", "Meb", "In"};
        const SearchKind kinds[] = {SearchKind::Name, SearchKind::Branch,
                                    SearchKind::Representative};
        bench::reportSpread(QStringLiteral("store_switch_and_nearest"),
                            bench::sample(3000, [&](int i) {
                                incrementalSearch(t, kinds[i % 3], texts[i % texts.size()]);
                            }));

        // Searches of whole words and parts of words, three or more letters each, in
        // name, representative and e-mail and in every field.
        {
            const ContactSearch search(t.database(), t.tableName());
            const QStringList words{"kowalski", "łódź",   "nowak jan", "hurt",       "zzqx",
                                    "warsz",    "@wp.pl", "meble",     "22 555 111", "zięb"};
            for (const SearchScope scope :
                 {SearchScope::NameRepresentativeEmail, SearchScope::All}) {
                const std::vector<double> searches = bench::sample(
                    200, [&](int i) { search.find(words[i % words.size()], scope, 200); });
                const QString name = scope == SearchScope::All
                                         ? QStringLiteral("store_search_all")
                                         : QStringLiteral("store_search_names");
                bench::report(qPrintable(name + QStringLiteral("_median")),
                              bench::median(searches) / 1000.0, "ms");
                bench::report(qPrintable(name + QStringLiteral("_max")),
                              bench::percentile(searches, 100) / 1000.0, "ms");
            }
        }

        // "Znajdź": the first page of 50 rows, read for no longer than the window's
        // budget of 6 ms, of a text of three or more characters in every field and of
        // one or two characters at the start of name, branch and representative; and
        // the count read on to 1001 or the end, as the window does between events.
        {
            const QStringList longer{"lodz",   "piotrkowska", "kowalski jan", "22 555", "@wp.pl",
                                     "hurtow", "zieba",       "ul. dluga",    "meble",  "ska",
                                     "sp. z",  "nowa",        "warszawa",     "601",    "zzqx",
                                     "kow",    "pol",         "ewa",          "gdan",   "owsk"};
            const QStringList shorter{"a", "k", "ło", "zz", "m", "pr", "ż", "ba", "x", "st"};
            const auto measure = [&](const QString &name, const QStringList &queries) {
                const std::vector<double> pages = bench::sample(400, [&](int i) {
                    const QString &text = queries[i % queries.size()];
                    const ContactSearch search(t.database(), t.tableName());
                    search.scan(text, ContactSearch::scopeFor(text),
                                std::numeric_limits<qint64>::min(), 50, 6);
                });
                const std::vector<double> counts = bench::sample(100, [&](int i) {
                    const QString &text = queries[i % queries.size()];
                    const ContactSearch search(t.database(), t.tableName());
                    search.scan(text, ContactSearch::scopeFor(text),
                                std::numeric_limits<qint64>::min(), 1001, -1);
                });
                bench::report(qPrintable(name + QStringLiteral("_first50_median")),
                              bench::median(pages) / 1000.0, "ms");
                bench::report(qPrintable(name + QStringLiteral("_first50_p99")),
                              bench::percentile(pages, 99) / 1000.0, "ms");
                bench::report(qPrintable(name + QStringLiteral("_count_median")),
                              bench::median(counts) / 1000.0, "ms");
                bench::report(qPrintable(name + QStringLiteral("_count_p99")),
                              bench::percentile(counts, 99) / 1000.0, "ms");
            };
            measure(QStringLiteral("find_3plus"), longer);
            measure(QStringLiteral("find_1or2"), shorter);
        }

        // Post of one changed record, synchronous=FULL.
        t.setIndexName(QStringLiteral("nInd"));
        t.first();
        std::mt19937 random(7);
        std::vector<double> posts = bench::sample(60, [&](int i) {
            t.edit();
            t.setFieldText(QStringLiteral("Tel"),
                           QStringLiteral("22 %1 %2").arg(random() % 1000).arg(i));
            t.post();
        });
        bench::report("store_post_median", bench::median(posts) / 1000.0, "ms");
        bench::report("store_rss_end", bench::residentMegabytes(), "MB");
        table.reset();
        if (!measureIndexSize(path) || !measureQueryProcess(path) || !measureIndexBuild(path) ||
            !measureKeyRebuild(path))
            return 1;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
