// Application-shell benchmark over a large database: the time from the end of the
// splash wait to the main window shown, and a key release in a search box up to
// the repainted card.
// Usage: bench_shell <database file>   (run with QT_QPA_PLATFORM=offscreen)

#include "app/main_window.h"
#include "app/program.h"
#include "bench_util.h"
#include "platform/data_folder.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdio>

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
        std::vector<double> starts;
        for (int run = 0; run < 5; ++run) {
            const auto start = bench::Clock::now();
            Program program(database);
            program.create();
            program.Form1->show();
            QApplication::processEvents();
            starts.push_back(bench::microsecondsSince(start) / 1000.0);
        }
        bench::report("shell_start_to_main_window_median", bench::median(starts), "ms");

        Program program(database);
        program.create();
        TForm1 &form = *program.Form1;
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
