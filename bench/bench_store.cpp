// Contact-store benchmark: open, navigation on each index, index switch with
// nearest-key search, post, and resident memory, over an existing database; and the
// open of a copy whose collation rules changed, which rebuilds every sort key.
// Usage: bench_store <database file>   (scripts/bench makes one with 1,000,000 contacts)

#include "bench_util.h"
#include "store/contact_schema.h"
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
#include <cstdio>
#include <memory>
#include <random>

namespace {

std::unique_ptr<TTable> openTable(const QString &path)
{
    auto table = std::make_unique<TTable>();
    table->setDatabaseFile(path);
    table->setTableName(QLatin1String(ContactSchema::kTableName));
    table->open();
    return table;
}

// The open of a copy of the database whose stored collation version is not the
// present one, so that opening rebuilds every sort key: seconds, how many progress
// reports it made, and whether the stock tool finds the copy sound after.
bool measureKeyRebuild(const QString &path)
{
    QTemporaryDir dir(QFileInfo(path).absolutePath() + QStringLiteral("/rebuild-XXXXXX"));
    const QString copy = dir.filePath(QStringLiteral("contacts.db"));
    if (!dir.isValid() || !QFile::copy(path, copy)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(path));
        return false;
    }
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

template<typename Step> std::vector<double> sample(int count, Step step)
{
    std::vector<double> samples;
    samples.reserve(count);
    for (int i = 0; i < count; ++i) {
        const auto start = bench::Clock::now();
        step(i);
        samples.push_back(bench::microsecondsSince(start));
    }
    return samples;
}

void reportSpread(const QString &name, const std::vector<double> &samples)
{
    bench::report(qPrintable(name + QStringLiteral("_median")), bench::median(samples), "us");
    bench::report(qPrintable(name + QStringLiteral("_p99")), bench::percentile(samples, 99), "us");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_store <database file>\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    try {
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

        constexpr int kSteps = 3000;
        for (const QString &index :
             {QStringLiteral("nInd"), QStringLiteral("bInd"), QStringLiteral("fInd")}) {
            t.setIndexName(index);
            const QString prefix = QStringLiteral("store_") + index + QLatin1Char('_');
            reportSpread(prefix + QStringLiteral("first"), sample(500, [&](int) { t.first(); }));
            reportSpread(prefix + QStringLiteral("last"), sample(500, [&](int) { t.last(); }));
            t.first();
            reportSpread(prefix + QStringLiteral("next_from_first"),
                         sample(kSteps, [&](int) { t.next(); }));
            t.last();
            reportSpread(prefix + QStringLiteral("prior_from_last"),
                         sample(kSteps, [&](int) { t.prior(); }));
            t.last();
            for (int i = 0; i < kSteps; ++i)
                t.prior();
            reportSpread(prefix + QStringLiteral("next_to_last"),
                         sample(kSteps, [&](int) { t.next(); }));
            t.first();
            for (int i = 0; i < kSteps; ++i)
                t.next();
            reportSpread(prefix + QStringLiteral("prior_to_first"),
                         sample(kSteps, [&](int) { t.prior(); }));
        }

        // Typing: each release switches index and searches the box's whole text.
        const QStringList texts{"a",   "ab",     "ż",      "Kow",   "zz",  "",
                                "Łó",  "Przeds", "Hurt",   "ś",     "M",   "Ba",
                                "Wiś", "Tatry",  "PPHU N", "Jan K", "Meb", "In"};
        const SearchKind kinds[] = {SearchKind::Name, SearchKind::Branch,
                                    SearchKind::Representative};
        reportSpread(QStringLiteral("store_switch_and_nearest"), sample(3000, [&](int i) {
                         incrementalSearch(t, kinds[i % 3], texts[i % texts.size()]);
                     }));

        // Post of one changed record, synchronous=FULL.
        t.setIndexName(QStringLiteral("nInd"));
        t.first();
        std::mt19937 random(7);
        std::vector<double> posts = sample(60, [&](int i) {
            t.edit();
            t.setFieldText(QStringLiteral("Tel"),
                           QStringLiteral("22 %1 %2").arg(random() % 1000).arg(i));
            t.post();
        });
        bench::report("store_post_median", bench::median(posts) / 1000.0, "ms");
        bench::report("store_rss_end", bench::residentMegabytes(), "MB");
        table.reset();
        if (!measureKeyRebuild(path))
            return 1;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
