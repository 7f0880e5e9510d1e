// Contact-table benchmark on a PostgreSQL server over the loopback: open, moves on
// each index, index switch with nearest-key search, post, and the program's memory,
// through the table opened by its alias as the program opens it (TCP to 127.0.0.1).
// The server is a private one whose cluster is kept in the folder "pg" beside the
// database file; its first run fills it with the same contacts, sort keys included.
// Usage: bench_server <database file>   (scripts/bench passes the 1,000,000-contact file)

#include "bench_pg.h"
#include "bench_util.h"
#include "store/incremental_search.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <random>

namespace {

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
    const auto server = benchpg::server(path);
    if (!benchpg::start(*server))
        return 1;
    try {
        if (!benchpg::prepareBook(*server, path))
            return 1;
        bench::resetPeakResident(); // the program's memory, not the filling's

        std::vector<double> opens;
        for (int i = 0; i < 7; ++i) {
            const auto start = bench::Clock::now();
            auto table = benchpg::openTable();
            opens.push_back(bench::microsecondsSince(start) / 1000.0);
        }
        bench::report("server_open_median", bench::median(opens), "ms");

        auto table = benchpg::openTable();
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
                                incrementalSearch(t, kinds[i % 3], benchpg::randomPrefix(random));
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
    return server->stop() ? 0 : 1;
}
