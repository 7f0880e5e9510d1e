// Application-shell benchmark over a large database: the time from the end of the
// splash wait to the main window shown, and a key release in a search box up to
// the repainted card; first, moves onto and off a record of a megabyte in every field.
// Usage: bench_shell <database file>   (run with QT_QPA_PLATFORM=offscreen)

#include "app/main_window.h"
#include "app/program.h"
#include "bench_util.h"
#include "entry/data_entry_window.h"
#include "huge_record.h"
#include "platform/data_folder.h"
#include "store/data_module.h"
#include "store/table.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// Moves of the shared cursor onto and off a record of a megabyte in every field, with
// every window made as at start-up and the main window shown: milliseconds from the
// move to the main window repainted; then the same with the data entry window shown.
void measureHugeRecord(const QString &folder)
{
    const QString database = folder + QStringLiteral("/huge.db");
    bench::writeHugeRecordDatabase(database);
    Program program(database);
    program.create();
    program.object<TForm1>()->show();
    QApplication::processEvents();
    TTable &table = *program.object<TDM9>()->t1;
    // The windows on screen, repainted as the next frame shows them.
    const auto repaint = [&] {
        program.object<TForm1>()->repaint();
        if (program.object<TForm10>()->isVisible())
            program.object<TForm10>()->repaint();
    };
    const auto measure = [&](int runs, std::vector<double> &onto, std::vector<double> &off) {
        for (int run = 0; run < runs; ++run) {
            table.first();
            table.next();
            repaint();
            QApplication::processEvents();
            auto start = bench::Clock::now();
            table.next(); // the huge record, third in name order
            repaint();
            onto.push_back(bench::microsecondsSince(start) / 1000.0);
            QApplication::processEvents();
            start = bench::Clock::now();
            table.prior();
            repaint();
            off.push_back(bench::microsecondsSince(start) / 1000.0);
            QApplication::processEvents();
        }
    };
    // The read alone, on a cursor of its own that no window shows.
    {
        const std::unique_ptr<TTable> cursor = table.openCursor();
        std::vector<double> reads;
        for (int run = 0; run < 9; ++run) {
            cursor->first();
            cursor->next();
            const auto start = bench::Clock::now();
            cursor->next();
            reads.push_back(bench::microsecondsSince(start) / 1000.0);
        }
        bench::report("shell_huge_record_read_median", bench::median(reads), "ms");
    }
    std::vector<double> onto;
    std::vector<double> off;
    measure(9, onto, off);
    bench::report("shell_huge_record_move_onto_median", bench::median(onto), "ms");
    bench::report("shell_huge_record_move_off_median", bench::median(off), "ms");
    program.show<TForm10>();
    onto.clear();
    off.clear();
    measure(5, onto, off);
    bench::report("shell_huge_record_move_onto_entry_shown_median", bench::median(onto), "ms");
    bench::report("shell_huge_record_move_off_entry_shown_median", bench::median(off), "ms");
    bench::report("move_1MB_record_entry_shown", bench::median(onto), "ms");
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir scratch;
    qputenv("XDG_CONFIG_HOME", scratch.filePath(QStringLiteral("config")).toLocal8Bit());
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_shell <database file>\n");
        return 2;
    }
    DataFolder::setOverride(scratch.path());
    const QString database = QString::fromLocal8Bit(argv[1]);
    try {
        measureHugeRecord(scratch.path());

        std::vector<double> starts;
        for (int run = 0; run < 5; ++run) {
            const auto start = bench::Clock::now();
            Program program(database);
            program.create();
            program.object<TForm1>()->show();
            QApplication::processEvents();
            starts.push_back(bench::microsecondsSince(start) / 1000.0);
        }
        bench::report("shell_start_to_main_window_median", bench::median(starts), "ms");

        Program program(database);
        program.create();
        TForm1 &form = *program.object<TForm1>();
        form.show();
        QApplication::processEvents();
        const QStringList typing{"K",     "Ko",     "Kow",         "Kowa", "Kowal", "Kowals",
                                 "Kowal", "Kow",    "Ko",          "K",    "",      "Ż",
                                 "Żu",    "Żur",    "Ł",           "Łu",   "Ś",     "Śl",
                                 "PPHU",  "PPHU N", "Hurtownia W", "zzz"};
        std::vector<double> releases;
        for (QLineEdit *box : {form.n1, form.b1, form.p1}) {
            if (box == form.n1)
                form.nClick();
            else if (box == form.b1)
                form.bClick();
            else
                form.pClick();
            for (int round = 0; round < 20; ++round) {
                for (const QString &text : typing) {
                    box->setText(text);
                    const auto start = bench::Clock::now();
                    if (box == form.n1)
                        form.n1KeyUp();
                    else if (box == form.b1)
                        form.b1KeyUp();
                    else
                        form.p1KeyUp();
                    form.repaint(); // the card on screen, as the next frame shows it
                    releases.push_back(bench::microsecondsSince(start) / 1000.0);
                }
            }
        }
        bench::report("shell_key_release_median", bench::median(releases), "ms");
        bench::report("shell_key_release_p99", bench::percentile(releases, 99), "ms");
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
