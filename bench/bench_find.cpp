// "Znajdź" benchmark: text typed key by key into the real window, offscreen, over an
// existing database; each sample is one key from its text in the box to the list
// repainted, with a pause between keys in which the search reads on.
// Usage: bench_find <database file>   (scripts/bench makes one with 1,000,000 contacts)

#include "bench_util.h"
#include "find/find_model.h"
#include "find/find_window.h"
#include "store/contact_schema.h"
#include "store/table.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <functional>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_find <database file>\n");
        return 2;
    }
    try {
        TTable table;
        table.setDatabaseFile(QString::fromLocal8Bit(argv[1]));
        table.setTableName(QLatin1String(ContactSchema::kTableName));
        table.open();
        TFindWindow find;
        find.setContacts([&table] { return &table; });
        find.show();
        QApplication::processEvents();

        const QStringList texts{"lodz",   "piotrkowska", "kowalski jan", "22 555", "@wp.pl",
                                "hurtow", "zieba",       "ul. dluga",    "meble",  "sp. z o.o"};
        std::vector<double> keys;
        std::vector<double> firstKeys;
        std::vector<std::pair<double, QString>> slowest; // to find what makes the tail
        for (int round = 0; round < 5; ++round) {
            for (const QString &text : texts) {
                find.Szukaj->clear();
                find.searchNow();
                QApplication::processEvents();
                for (const QChar c : text) {
                    const auto start = bench::Clock::now();
                    find.Szukaj->insert(QString(c));
                    find.searchNow(); // what the typing timer runs at the next pass
                    find.Wyniki->viewport()->repaint();
                    const double ms = bench::microsecondsSince(start) / 1000.0;
                    // A pause between keys, in which the search reads on.
                    QApplication::processEvents(QEventLoop::AllEvents, 120);
                    (find.Szukaj->text().size() <= 2 ? firstKeys : keys).push_back(ms);
                    slowest.emplace_back(ms, find.Szukaj->text());
                }
            }
        }
        std::sort(slowest.begin(), slowest.end(), std::greater<>());
        for (size_t i = 0; i < std::min<size_t>(8, slowest.size()); ++i)
            std::fprintf(stderr, "# slow key: %.1f ms \"%s\"\n", slowest[i].first,
                         qPrintable(slowest[i].second));
        std::vector<double> every = keys;
        every.insert(every.end(), firstKeys.begin(), firstKeys.end());
        bench::report("key_to_repaint_p99", bench::percentile(every, 99), "ms");
        bench::report("key_to_repaint_median", bench::median(every), "ms");
        bench::report("find_key_to_repaint_median", bench::median(keys), "ms");
        bench::report("find_key_to_repaint_p99", bench::percentile(keys, 99), "ms");
        bench::report("find_first_two_keys_to_repaint_median", bench::median(firstKeys), "ms");
        bench::report("find_first_two_keys_to_repaint_p99", bench::percentile(firstKeys, 99), "ms");
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
