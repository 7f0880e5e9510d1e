// Loading, saving and appending to a large history: the window's creation reads
// Historia.kax, saveAtExit() writes it, appendLine() adds one entry.
#include "bench_util.h"

#include "history/history_window.h"
#include "platform/data_folder.h"
#include "platform/widgets/dialogs.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <ctime>

namespace {

// Any message box would block an unattended run: print it and go on.
class PrintingDialogs final : public Dialogs
{
public:
    DialogButton ask(const DialogRequest &request) override
    {
        std::fprintf(stderr, "dialog: %s\n", qPrintable(request.text));
        return request.defaultButton;
    }
};

// A history of call, e-mail and web lines in Windows-1250 with CR LF, about
// 85 bytes a line, of at least `megabytes` MB.
QByteArray makeHistory(int megabytes)
{
    const qsizetype target = qsizetype(megabytes) * 1000 * 1000;
    QByteArray bytes;
    bytes.reserve(target + 200);
    bytes.append("\r\n");
    for (int i = 0; bytes.size() < target; ++i) {
        switch (i % 3) {
        case 0:
            bytes.append("Po\xb3\xb9"
                         "czenie telefoniczne z numerem :  022 555 ");
            bytes.append(QByteArray::number(1000 + i % 9000));
            break;
        case 1:
            bytes.append("poczta e-mail : biuro");
            bytes.append(QByteArray::number(i % 977));
            bytes.append("@firma.com.pl");
            break;
        default:
            bytes.append("www.przedsi\xea"
                         "biorstwo");
            bytes.append(QByteArray::number(i % 613));
            bytes.append(".pl");
            break;
        }
        bytes.append(" dnia 07 wtorek stycze\xf1 2025 godzina 14:05:09\r\n");
    }
    return bytes;
}

struct Figures
{
    std::vector<double> loadMs, saveMs, appendMs;
    // Processor time of this process: on a busy machine the wall time also counts
    // the time other programs held the processor.
    std::vector<double> loadCpuMs, saveCpuMs;
};

double cpuMs()
{
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

void measure(const QString &path, const QByteArray &bytes, int runs, Figures &figures)
{
    for (int run = 0; run < runs; ++run) {
        {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
                std::abort();
        }
        auto start = bench::Clock::now();
        double cpuStart = cpuMs();
        TForm11 form;
        figures.loadMs.push_back(bench::microsecondsSince(start) / 1000.0);
        figures.loadCpuMs.push_back(cpuMs() - cpuStart);

        form.show();
        QApplication::processEvents();
        for (int i = 0; i < 20; ++i) {
            start = bench::Clock::now();
            form.appendLine(QStringLiteral("Połączenie telefoniczne z numerem :  022 555 01 02 "
                                           "dnia 07 wtorek styczeń 2025 godzina 14:05:09"));
            QApplication::processEvents();
            figures.appendMs.push_back(bench::microsecondsSince(start) / 1000.0);
        }
        form.hide();

        start = bench::Clock::now();
        cpuStart = cpuMs();
        if (!form.saveAtExit())
            std::abort();
        figures.saveMs.push_back(bench::microsecondsSince(start) / 1000.0);
        figures.saveCpuMs.push_back(cpuMs() - cpuStart);
    }
}

// In a process of its own (started with --load-once FOLDER): loads the history of
// FOLDER once, shows and paints it, and prints the seconds it took, the processor
// seconds, and the growth of the peak resident memory during the load, in bytes.
int loadOnce(const QString &folder)
{
    DataFolder::setOverride(folder);
    const double before = bench::residentMegabytes();
    if (!bench::resetPeakResident())
        return 1;
    const auto start = bench::Clock::now();
    const double cpuStart = cpuMs();
    TForm11 form;
    // Until the window shows the text: the text box lays out only then.
    form.show();
    form.grab();
    const double seconds = bench::microsecondsSince(start) / 1e6;
    const double cpuSeconds = (cpuMs() - cpuStart) / 1000;
    const double growth = (bench::peakResidentMegabytes() - before) * 1024 * 1024;
    std::printf("%.6f %.6f %.0f\n", seconds, cpuSeconds, growth);
    return form.loadError().isEmpty() ? 0 : 1;
}

// The 100 MB load, each run in a fresh process so that nothing of the benchmark's own
// (the file's bytes, earlier runs) counts in its memory: the median seconds and the
// median peak memory growth per byte of the file.
void measureFreshLoads(const QString &folder, qint64 fileBytes, int runs)
{
    std::vector<double> seconds, cpuSeconds, perByte;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--load-once"), folder});
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            std::abort();
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        if (figures.size() != 3)
            std::abort();
        seconds.push_back(figures[0].toDouble());
        cpuSeconds.push_back(figures[1].toDouble());
        perByte.push_back(figures[2].toDouble() / double(fileBytes));
    }
    bench::report("load_100MB", bench::median(seconds), "s");
    bench::report("load_100MB_cpu", bench::median(cpuSeconds), "s");
    bench::report("rss_per_file_byte_100MB", bench::median(perByte), "x");
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PrintingDialogs dialogs;
    Dialogs::install(&dialogs);
    if (argc == 3 && qstrcmp(argv[1], "--load-once") == 0)
        return loadOnce(QString::fromLocal8Bit(argv[2]));
    QTemporaryDir dir;
    DataFolder::setOverride(dir.path());
    const QString path = dir.filePath(QStringLiteral("Historia.kax"));
    {
        const QByteArray bytes = makeHistory(100);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::abort();
        file.close();
        measureFreshLoads(dir.path(), bytes.size(), 3);
    }

    struct Size
    {
        int megabytes;
        int runs;
        const char *name;
    };
    for (const Size &size : {Size{10, 5, "10mb"}, Size{100, 3, "100mb"}}) {
        const QByteArray bytes = makeHistory(size.megabytes);
        Figures figures;
        measure(path, bytes, size.runs, figures);
        const QByteArray prefix = QByteArray("history_") + size.name;
        bench::report(prefix + "_lines", double(bytes.count('\n')), "lines");
        bench::report(prefix + "_load", bench::median(figures.loadMs), "ms");
        bench::report(prefix + "_save", bench::median(figures.saveMs), "ms");
        bench::report(prefix + "_load_cpu", bench::median(figures.loadCpuMs), "ms");
        bench::report(prefix + "_save_cpu", bench::median(figures.saveCpuMs), "ms");
        bench::report(prefix + "_append_median", bench::median(figures.appendMs), "ms");
        bench::report(prefix + "_append_p95", bench::percentile(figures.appendMs, 95), "ms");
        bench::report(prefix + "_rss", bench::residentMegabytes(), "MB");
    }
    Dialogs::install(nullptr);
    DataFolder::setOverride(QString());
    return 0;
}
