// Report engine benchmark: the full-data list of 100,000 contacts (25,000 pages)
// into the preview, laid out alone, written to PDF, and cancelled while printing;
// first, "Wybrane dane" and "Etykiety" over a record of a megabyte in every field,
// and a page of 100,000 white-filled items drawn.
// Usage: bench_reports [contacts]            figures, one "name value unit" a line
//        bench_reports --gallery <folder>    a PDF and PNG pictures of the windows

#include "../tools/sample_contacts.h"
#include "bench_util.h"
#include "huge_record.h"
#include "platform/widgets/printers.h"
#include "reports/page_renderer.h"
#include "reports/prepared_pages.h"
#include "reports/preview_window.h"
#include "reports/progress_window.h"
#include "reports/report_definitions.h"
#include "reports/report_engine.h"
#include "reports/report_model.h"
#include "reports/report_runs.h"
#include "store/contact_schema.h"
#include "store/data_module.h"
#include "store/sort_key.h"
#include "store/table.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <ctime>

namespace {

// Print jobs become PDF files in a scratch folder: no real printer is touched.
class PdfPrinters final : public Printers
{
public:
    explicit PdfPrinters(const QString &folder) : m_folder(folder) {}
    QStringList printerNames() const override { return {QStringLiteral("PDF")}; }
    QString defaultPrinterName() const override { return QStringLiteral("PDF"); }
    std::optional<PrintDialogResult> printDialog(QWidget *, const PrintDialogRequest &) override
    {
        return std::nullopt;
    }
    std::unique_ptr<QPrinter> createPrinter(const QString &) override
    {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(m_folder + QStringLiteral("/job-%1.pdf").arg(++m_jobs));
        return printer;
    }

private:
    QString m_folder;
    int m_jobs = 0;
};

bool fillContacts(const QString &path, qint64 count)
{
    {
        TTable table; // creates the database with its table and indexes
        table.setDatabaseFile(path);
        table.setTableName(QLatin1String(ContactSchema::kTableName));
        table.open();
    }
    bool ok = true;
    {
        auto db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-fill"));
        db.setDatabaseName(path);
        if (!db.open())
            return false;
        QStringList columns = ContactSchema::fieldNames();
        for (const QString &field : ContactSchema::keyedFieldNames())
            columns << ContactSchema::keyColumn(field);
        QStringList marks;
        marks.fill(QStringLiteral("?"), columns.size());
        const SortKeyCollator &collator = SortKeyCollator::instance();
        sample::ContactGenerator generator;
        db.transaction();
        QSqlQuery insert(db);
        insert.prepare(
            QStringLiteral("INSERT INTO Kartax2000 (%1) VALUES (%2)")
                .arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));
        for (qint64 i = 0; i < count && ok; ++i) {
            const sample::Contact contact = generator.next();
            for (int f = 0; f < contact.values.size(); ++f)
                insert.bindValue(f, contact.values[f]);
            insert.bindValue(13, collator.key(contact.values[0]));
            insert.bindValue(14, collator.key(contact.values[1]));
            insert.bindValue(15, collator.key(contact.values[2]));
            ok = insert.exec();
            if (!ok)
                std::fprintf(stderr, "%s\n", qPrintable(insert.lastError().text()));
        }
        insert.finish();
        QSqlQuery(db).exec(QStringLiteral("DELETE FROM Kartax2000_dirty"));
        ok = db.commit() && ok;
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-fill"));
    return ok;
}

// The full-data list of every contact: a 59.3 mm detail band of thirteen rows.
std::unique_ptr<Report> fullDataReport(ReportDataSet *contacts)
{
    auto report = std::make_unique<Report>();
    report->title = QStringLiteral("Pełne dane");
    report->setDataSet(contacts);
    ReportBand &header = report->addBand(BandType::btPageHeader, 13.5);
    header.addLabel(82.6, 2.1, QStringLiteral("Kartax2000®")).setFontSize(14).setHeight(6.1);
    header.addSystemData(160.9, 2.1, SystemDataKind::sdDateTime);
    header.addLabel(80.4, 8.5, QStringLiteral("(baza danych programu)"));
    ReportBand &detail = report->addBand(BandType::btDetail, 59.3);
    const QStringList captions{"Lp",       "Nazwa",   "Branża", "Przedstawiciel", "Kraj",
                               "Region",   "Kod",     "Miasto", "Ulica",          "e-mail",
                               "Internet", "Telefon", "Telefax"};
    const QStringList fields{QString(), "Nazwa", "Branza", "Filia", "Kraj", "Region", "Kod",
                             "Miasto",  "Ulica", "Email",  "Http",  "Tel",  "Fax"};
    for (int k = 0; k < 13; ++k) {
        const double top = 2.1 + 4.23 * k;
        detail.addLabel(2.1, top, captions[k]);
        if (k == 0)
            detail.addSystemData(29.6, top, SystemDataKind::sdDetailNo);
        else
            detail.addDataText(29.6, top, contacts, fields[k]);
    }
    ReportBand &footer = report->addBand(BandType::btPageFooter, 10.6);
    footer.addLabel(2.1, 2.1, QStringLiteral("Kartax2000 – wydruk z bazy danych"))
        .setFontSize(8)
        .setItalic();
    footer.addLabel(80.4, 2.1, QStringLiteral("strona"));
    footer.addSystemData(91.0, 2.1, SystemDataKind::sdPageNumber);
    footer.addLabel(149.2, 2.1, QStringLiteral("pozycji"));
    footer.addSystemData(164.0, 2.1, SystemDataKind::sdDetailCount);
    return report;
}

double cpuSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

struct PreviewFigures
{
    double cpuSeconds = -1;
    double firstPageSeconds = -1;
    double allPagesSeconds = -1;
    int pages = 0;
    double peakMegabytes = 0;
};

PreviewFigures measurePreview(Report &report)
{
    PreviewFigures figures;
    QElapsedTimer clock;
    QTimer memory;
    const double cpuStart = cpuSeconds();
    clock.start();
    Reports::preview(report, [&](StandardPreview &window) {
        QObject::connect(window.view(), &PageView::sheetPainted, &window, [&](int) {
            if (figures.firstPageSeconds < 0)
                figures.firstPageSeconds = clock.elapsed() / 1000.0;
        });
        QObject::connect(&memory, &QTimer::timeout, &window, [&] {
            figures.peakMegabytes = std::max(figures.peakMegabytes, bench::residentMegabytes());
            if (!window.building() && figures.allPagesSeconds < 0) {
                figures.allPagesSeconds = clock.elapsed() / 1000.0;
                figures.cpuSeconds = cpuSeconds() - cpuStart;
                figures.pages = window.pageCount();
                // Page through the end of the list as a reader would, then close.
                window.LastPageClick();
                window.view()->viewport()->repaint();
                window.FirstPageClick();
                figures.peakMegabytes = std::max(figures.peakMegabytes, bench::residentMegabytes());
                window.close();
            }
        });
        memory.start(100);
    });
    return figures;
}

// One page of 100,000 white-filled texts side by side, as a report file may hold,
// drawn into a picture of the page at screen resolution: milliseconds a drawing.
double measureManyItemsDrawing()
{
    StyleTable styles;
    ItemStyle style;
    style.family = QStringLiteral("Arial");
    style.pointSize = 2;
    style.filled = true;
    style.ascent = 0.5f;
    style.descent = 0.2f;
    const quint16 index = styles.intern(style);
    PreparedPage page;
    for (int row = 0; row < 400; ++row) {
        for (int column = 0; column < 250; ++column) {
            PageItem item;
            item.style = index;
            item.x = 0.84f * float(column);
            item.y = 0.74f * float(row);
            item.width = 0.8f;
            item.height = 0.7f;
            item.text = QStringLiteral("x");
            page.items.push_back(item);
        }
    }
    QImage image(794, 1123, QImage::Format_RGB32);
    std::vector<double> milliseconds;
    for (int i = 0; i < 3; ++i) {
        image.fill(Qt::white);
        QPainter painter(&image);
        PageRenderer renderer(styles);
        const auto start = bench::Clock::now();
        renderer.render(painter, page, QRectF(image.rect()));
        milliseconds.push_back(bench::microsecondsSince(start) / 1000.0);
    }
    return bench::median(milliseconds);
}

// Seconds from the start of a preview to its first and last pages drawn.
double measurePreviewToLastPage(Report &report)
{
    QElapsedTimer clock;
    QTimer poll;
    double seconds = -1;
    clock.start();
    Reports::preview(report, [&](StandardPreview &window) {
        QObject::connect(&poll, &QTimer::timeout, &window, [&] {
            if (window.building() || seconds >= 0)
                return;
            window.view()->viewport()->repaint();
            window.LastPageClick();
            window.view()->viewport()->repaint();
            seconds = clock.nsecsElapsed() / 1e9;
            window.close();
        });
        poll.start(1);
    });
    return seconds;
}

// "Wybrane dane" (the current record) and "Etykiety" (every record) into the preview
// and printed (to a PDF file) over a database whose one record holds a megabyte in
// every field: seconds to the last page shown or printed, and the peak resident
// memory meanwhile, also as growth over the memory before.
int runHugeRecord()
{
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("Kartax2000.db"));
    bench::writeHugeRecordDatabase(database);
    TDM9 dm(nullptr, database);
    const auto table = [&dm] { return dm.t1; };
    TForm7 choices(table);
    TForm14 labels(table);
    PdfPrinters printers(dir.path());
    Printers::install(&printers);
    const auto onHugeRecord = [&dm] {
        dm.t1->first();
        dm.t1->next();
        dm.t1->next(); // the huge record, third in name order
        return dm.t1->fieldText(QStringLiteral("Nazwa")).size() >= 1000000;
    };
    const auto print = [](Report &report) {
        QElapsedTimer clock;
        clock.start();
        return Reports::print(report) == Reports::PrintOutcome::Printed ? clock.nsecsElapsed() / 1e9
                                                                        : -1.0;
    };
    struct Run
    {
        const char *name;
        Report *report;
    };
    for (const Run &run : {Run{"reports_huge_record_choices", &choices.Report1},
                           Run{"reports_huge_record_labels", &labels.Report1}}) {
        for (const bool printing : {false, true}) {
            std::vector<double> seconds;
            std::vector<double> peaks;
            std::vector<double> growths;
            for (int i = 0; i < 3; ++i) {
                if (!onHugeRecord()) {
                    Printers::install(nullptr);
                    return 1;
                }
                if (!bench::resetPeakResident())
                    std::fprintf(stderr, "cannot reset the peak resident memory\n");
                const double before = bench::residentMegabytes();
                seconds.push_back(printing ? print(*run.report)
                                           : measurePreviewToLastPage(*run.report));
                peaks.push_back(bench::peakResidentMegabytes());
                growths.push_back(peaks.back() - before);
            }
            const QByteArray name = run.name + QByteArray(printing ? "_print" : "_preview");
            bench::report(name, bench::median(seconds), "s");
            bench::report(name + "_peak_rss", bench::median(peaks), "MB");
            bench::report(name + "_peak_rss_growth", bench::median(growths), "MB");
        }
    }
    Printers::install(nullptr);
    return 0;
}

// Milliseconds from the moment Cancel is clicked in the progress window (the timer
// standing for the user's click is due) to the end of the print.
double measurePrintCancel(Report &report, int afterMs)
{
    QElapsedTimer clock;
    clock.start();
    bool clicked = false;
    Reports::print(report, [&](ProgressForm &form) {
        QTimer::singleShot(afterMs, &form, [&] {
            clicked = true;
            form.CancelButton->click();
        });
    });
    return clicked ? clock.nsecsElapsed() / 1e6 - afterMs : -1;
}

// Milliseconds from the moment the preview is closed during a run to its return.
double measurePreviewClose(Report &report, int afterMs)
{
    QElapsedTimer clock;
    clock.start();
    bool clicked = false;
    Reports::preview(report, [&](StandardPreview &window) {
        QTimer::singleShot(afterMs, &window, [&] {
            clicked = true;
            window.CloseButton->click();
        });
    });
    return clicked ? clock.nsecsElapsed() / 1e6 - afterMs : -1;
}

// Layout and PDF alone, for a profiler.
int runProfile(qint64 contacts)
{
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("Kartax2000.db"));
    if (!fillContacts(database, contacts))
        return 1;
    TDM9 dm(nullptr, database);
    TableDataSet table(dm.t1);
    auto report = fullDataReport(&table);
    QElapsedTimer walk;
    walk.start();
    qint64 records = 0;
    for (dm.t1->first(); !dm.t1->eof(); dm.t1->next())
        ++records;
    bench::report("reports_table_walk_records_per_second", records / (walk.nsecsElapsed() / 1e9),
                  "records/s");
    PreparedPages pages;
    QElapsedTimer layout;
    layout.start();
    ReportEngine engine(*report, pages);
    engine.run();
    bench::report("reports_layout_pages_per_second",
                  pages.pageCount() / (layout.nsecsElapsed() / 1e9), "pages/s");
    QElapsedTimer pdf;
    pdf.start();
    const IoResult written = PageOutput::writePdf(pages, dir.filePath(QStringLiteral("p.pdf")));
    if (!written.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(written.error));
        return 1;
    }
    bench::report("reports_pdf_pages_per_second", pages.pageCount() / (pdf.nsecsElapsed() / 1e9),
                  "pages/s");
    return 0;
}

int runBenchmark(qint64 contacts)
{
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("Kartax2000.db"));
    QElapsedTimer fillClock;
    fillClock.start();
    if (!fillContacts(database, contacts))
        return 1;
    bench::report("reports_fill_contacts", fillClock.elapsed() / 1000.0, "s");

    TDM9 dm(nullptr, database);
    TableDataSet table(dm.t1);
    auto report = fullDataReport(&table);
    const double baseline = bench::residentMegabytes();
    bench::report("reports_rss_before_preview", baseline, "MB");

    const PreviewFigures preview = measurePreview(*report);
    bench::report("reports_preview_first_page", preview.firstPageSeconds, "s");
    bench::report("reports_preview_pages", preview.pages, "pages");
    bench::report("reports_preview_all_pages", preview.allPagesSeconds, "s");
    bench::report("reports_preview_pages_per_second", preview.pages / preview.allPagesSeconds,
                  "pages/s");
    bench::report("reports_preview_pages_per_cpu_second", preview.pages / preview.cpuSeconds,
                  "pages/s");
    bench::report("reports_preview_peak_rss", preview.peakMegabytes, "MB");

    // Laid out without a window, into the page spool.
    PreparedPages pages;
    pages.title = report->title;
    QElapsedTimer layoutClock;
    layoutClock.start();
    double cpuStart = cpuSeconds();
    ReportEngine engine(*report, pages);
    engine.run();
    const double layoutSeconds = layoutClock.elapsed() / 1000.0;
    bench::report("reports_layout_pages_per_cpu_second",
                  pages.pageCount() / (cpuSeconds() - cpuStart), "pages/s");
    bench::report("reports_layout_pages_per_second", pages.pageCount() / layoutSeconds, "pages/s");
    bench::report("reports_layout_rss", bench::residentMegabytes(), "MB");
    bench::report("reports_cursor_on_last", dm.t1->atLast() && !dm.t1->isEmpty() ? 1.0 : 0.0,
                  "bool");

    const QString pdf = dir.filePath(QStringLiteral("list.pdf"));
    QElapsedTimer pdfClock;
    pdfClock.start();
    cpuStart = cpuSeconds();
    const IoResult written = PageOutput::writePdf(pages, pdf);
    if (!written.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(written.error));
        return 1;
    }
    const double pdfSeconds = pdfClock.elapsed() / 1000.0;
    bench::report("reports_pdf_pages_per_cpu_second", pages.pageCount() / (cpuSeconds() - cpuStart),
                  "pages/s");
    bench::report("reports_pdf_pages_per_second", pages.pageCount() / pdfSeconds, "pages/s");
    bench::report("reports_pdf_megabytes", QFileInfo(pdf).size() / 1048576.0, "MB");
    bench::report("reports_pdf_rss", bench::residentMegabytes(), "MB");
    QFile::remove(pdf);

    PdfPrinters printers(dir.path());
    Printers::install(&printers);
    std::vector<double> cancels;
    std::vector<double> closes;
    for (int i = 0; i < 5; ++i) {
        cancels.push_back(measurePrintCancel(*report, 300 + 100 * i));
        closes.push_back(measurePreviewClose(*report, 300 + 100 * i));
    }
    Printers::install(nullptr);
    bench::report("reports_print_cancel_median", bench::median(cancels), "ms");
    bench::report("reports_print_cancel_max", bench::percentile(cancels, 100), "ms");
    bench::report("reports_preview_close_median", bench::median(closes), "ms");
    bench::report("reports_preview_close_max", bench::percentile(closes, 100), "ms");
    return 0;
}

// Pictures to look at: a PDF of the list and PNG shots of the windows.
int runGallery(const QString &folder)
{
    QDir().mkpath(folder);
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("Kartax2000.db"));
    if (!fillContacts(database, 4000))
        return 1;
    TDM9 dm(nullptr, database);
    TableDataSet table(dm.t1);
    auto report = fullDataReport(&table);

    PreparedPages pages;
    pages.title = report->title;
    ReportEngine engine(*report, pages);
    engine.run();
    const IoResult written =
        PageOutput::writePdf(pages, folder + QStringLiteral("/reports-full-data.pdf"));
    if (!written.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(written.error));
        return 1;
    }

    Reports::preview(*report, [&](StandardPreview &window) {
        QTimer *poll = new QTimer(&window);
        QObject::connect(poll, &QTimer::timeout, &window, [&window, folder, poll] {
            if (window.building())
                return;
            poll->stop();
            const auto shoot = [&window, folder](const QString &name) {
                QApplication::processEvents(); // let the scroll bars settle
                window.grab().save(folder + name);
            };
            window.NextPageClick();
            shoot(QStringLiteral("/reports-preview-width.png"));
            window.Zoom100Click();
            shoot(QStringLiteral("/reports-preview-100.png"));
            window.ZoomFitClick();
            shoot(QStringLiteral("/reports-preview-fit.png"));
            window.close();
        });
        poll->start(50);
    });

    PdfPrinters printers(dir.path());
    Printers::install(&printers);
    Reports::print(*report, [&](ProgressForm &form) {
        auto *poll = new QTimer(&form);
        QObject::connect(poll, &QTimer::timeout, &form, [&form, folder, poll] {
            if (form.Gauge->value() < 25)
                return;
            poll->stop();
            form.grab().save(folder + QStringLiteral("/reports-progress.png"));
            form.CancelButton->click();
        });
        poll->start(10);
    });
    Printers::install(nullptr);
    std::printf("gallery written to %s\n", qPrintable(folder));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.value(1) == QLatin1String("--profile"))
            return runProfile(args.value(2, QStringLiteral("20000")).toLongLong());
        if (args.value(1) == QLatin1String("--gallery"))
            return runGallery(args.value(2, QStringLiteral("out")));
        const qint64 contacts = args.size() > 1 ? args[1].toLongLong() : 100000;
        if (contacts <= 0) {
            std::fprintf(stderr, "usage: bench_reports [contacts]\n");
            return 2;
        }
        if (const int failed = runHugeRecord())
            return failed;
        bench::report("reports_draw_100k_white_items", measureManyItemsDrawing(), "ms");
        return runBenchmark(contacts);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
