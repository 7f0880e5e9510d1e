#include "reports/drawn_area.h"
#include "reports/page_renderer.h"
#include "reports/prepared_pages.h"
#include "reports/progress_window.h"
#include "reports/report_engine.h"
#include "reports/report_model.h"
#include "reports/report_runs.h"
#include "support/report_fakes.h"
#include "support/scripted_dialogs.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <random>

namespace {

std::unique_ptr<Report> makeReport(ReportDataSet *data)
{
    auto report = std::make_unique<Report>();
    report->title = QStringLiteral("Pełne dane");
    report->setDataSet(data);
    ReportBand &header = report->addBand(BandType::btPageHeader, 13.5);
    header.addLabel(82.6, 2.1, QStringLiteral("Kartax2000®")).setFontSize(14);
    header.addLabel(80.4, 8.5, QStringLiteral("(baza danych programu)"));
    ReportBand &detail = report->addBand(BandType::btDetail, 59.3);
    detail.addLabel(2.1, 2.1, QStringLiteral("Lp"));
    detail.addSystemData(29.6, 2.1, SystemDataKind::sdDetailNo);
    detail.addLabel(2.1, 6.33, QStringLiteral("Nazwa"));
    detail.addDataText(29.6, 6.33, data, QStringLiteral("Nazwa"));
    detail.addLabel(2.1, 10.56, QStringLiteral("Miasto"));
    detail.addDataText(29.6, 10.56, data, QStringLiteral("Miasto"));
    ReportBand &footer = report->addBand(BandType::btPageFooter, 10.6);
    footer.addLabel(2.1, 2.1, QStringLiteral("Kartax2000 – wydruk")).setFontSize(8).setItalic();
    footer.addLabel(80.4, 2.1, QStringLiteral("strona"));
    footer.addSystemData(91.0, 2.1, SystemDataKind::sdPageNumber);
    footer.addLabel(149.2, 2.1, QStringLiteral("pozycji"));
    footer.addSystemData(164.0, 2.1, SystemDataKind::sdDetailCount);
    return report;
}

void fill(ReportListData &data, int count)
{
    for (int i = 1; i <= count; ++i)
        data.addRecord({{QStringLiteral("Nazwa"), QStringLiteral("Zakład Żółw %1").arg(i)},
                        {QStringLiteral("Miasto"), QStringLiteral("Łódź")}});
}

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>")
            .arg(program, QString::fromUtf8(process.readAllStandardError()));
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of one page of a PDF file as pdftotext reads it, one line per line.
QStringList pdfPageLines(const QString &file, int page)
{
    const QString text =
        run(QStringLiteral("pdftotext"),
            {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
             QString::number(page), QStringLiteral("-layout"), file, QStringLiteral("-")});
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString simplified = line.simplified();
        if (!simplified.isEmpty() && simplified != QStringLiteral("\f"))
            lines << simplified;
    }
    return lines;
}

QString pdfInfo(const QString &file, const QString &field)
{
    for (const QString &line : run(QStringLiteral("pdfinfo"), {file}).split(QLatin1Char('\n'))) {
        if (line.startsWith(field + QLatin1Char(':')))
            return line.mid(field.size() + 1).trimmed();
    }
    return {};
}

} // namespace

class TestReportPrint : public QObject
{
    Q_OBJECT

private slots:
    void progressForm();
    void printsTheReport();
    void printerAndPageRange();
    void cancelStopsPrinting();
    void noPrinterOffersPdf();
    void pdfOfPreparedPages();
    void rendersFillsFramesAndClips();
    void drawnAreaAnswersAsEachRectangle();
    void longCutOffTextDrawsAsWhole();
};

void TestReportPrint::progressForm()
{
    ProgressForm form;
    QCOMPARE(form.objectName(), QStringLiteral("ProgressForm"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Printing progress"));
    QCOMPARE(form.size(), QSize(149, 97));
    QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(form.Gauge->minimum(), 0);
    QCOMPARE(form.Gauge->maximum(), 100);
    QCOMPARE(form.Info->text(), QString());
    QVERIFY(form.Info->alignment() & Qt::AlignHCenter);
    QCOMPARE(form.CancelButton->text(), QStringLiteral("Cancel"));
    QCOMPARE(form.CancelButton->objectName(), QStringLiteral("CancelButton"));

    form.setProgress(40);
    QCOMPARE(form.Gauge->value(), 40);
    QCOMPARE(form.Info->text(), QStringLiteral("40%  Completed"));
    form.setProgress(42); // only multiples of 5 are shown
    QCOMPARE(form.Gauge->value(), 40);
    QCOMPARE(form.Info->text(), QStringLiteral("40%  Completed"));
    form.setProgress(100);
    QCOMPARE(form.Info->text(), QStringLiteral("100%  Completed"));

    QSignalSpy cancelled(&form, &ProgressForm::cancelRequested);
    form.show();
    QTest::mouseClick(form.CancelButton, Qt::LeftButton);
    QCOMPARE(cancelled.size(), 1);
    QVERIFY(form.cancelled());
    form.close(); // closing after Cancel asks no second time
    QCOMPARE(cancelled.size(), 1);
}

void TestReportPrint::printsTheReport()
{
    InstalledScriptedDialogs dialogs;
    ReportFakePrinters printers;
    ReportListData data;
    fill(data, 9);
    auto report = makeReport(&data);
    QPointer<ProgressForm> progress;
    bool visible = false;
    const Reports::PrintOutcome outcome = Reports::print(*report, [&](ProgressForm &form) {
        progress = &form;
        visible = form.isVisible();
    });
    QCOMPARE(outcome, Reports::PrintOutcome::Printed);
    QVERIFY(visible);
    QVERIFY(progress.isNull()); // destroyed at the end of the run
    QVERIFY(!report->building());
    QCOMPARE(printers.jobFiles.size(), 1);
    QCOMPARE(printers.jobPrinterNames, QStringList{QString()});
    const QString file = printers.jobFiles[0];
    QCOMPARE(pdfInfo(file, QStringLiteral("Pages")), QStringLiteral("3"));
    QCOMPARE(pdfInfo(file, QStringLiteral("Title")), QStringLiteral("Pełne dane"));
    QVERIFY(pdfInfo(file, QStringLiteral("Page size")).contains(QLatin1String("(A4)")));

    const QStringList lines = pdfPageLines(file, 3);
    QVERIFY2(lines.size() >= 4, qPrintable(lines.join(QLatin1Char('|'))));
    QCOMPARE(lines.first(), QStringLiteral("Kartax2000®"));
    QVERIFY(lines.contains(QStringLiteral("Lp 9")));
    QVERIFY(lines.contains(QStringLiteral("Nazwa Zakład Żółw 9")));
    QVERIFY(lines.contains(QStringLiteral("Miasto Łódź")));
    QCOMPARE(lines.last(), QStringLiteral("Kartax2000 – wydruk strona 3 pozycji 9"));
    QCOMPARE(dialogs->requests().size(), 0);
}

void TestReportPrint::printerAndPageRange()
{
    ReportFakePrinters printers;
    ReportListData data;
    fill(data, 9);
    auto report = makeReport(&data);
    report->printer.printerName = QStringLiteral("Labels");
    report->printer.firstPage = 2;
    report->printer.lastPage = 2;
    QCOMPARE(Reports::print(*report), Reports::PrintOutcome::Printed);
    QCOMPARE(printers.jobPrinterNames, QStringList{QStringLiteral("Labels")});
    const QString file = printers.jobFiles[0];
    QCOMPARE(pdfInfo(file, QStringLiteral("Pages")), QStringLiteral("1"));
    const QString text = pdfPageLines(file, 1).join(QLatin1Char('\n'));
    QVERIFY2(text.contains(QStringLiteral("Zakład Żółw 5")), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("Zakład Żółw 1\n")));
    QVERIFY(text.contains(QLatin1String("strona 2")));
    // Every record was still run over.
    QCOMPARE(data.position, 9);
}

void TestReportPrint::cancelStopsPrinting()
{
    ReportFakePrinters printers;
    ReportListData data;
    fill(data, 20000);
    auto report = makeReport(&data);
    const Reports::PrintOutcome outcome = Reports::print(*report, [](ProgressForm &form) {
        QTimer::singleShot(0, &form,
                           [&form] { QTest::mouseClick(form.CancelButton, Qt::LeftButton); });
    });
    QCOMPARE(outcome, Reports::PrintOutcome::Cancelled);
    QVERIFY2(data.position < 20000, qPrintable(QString::number(data.position)));
    QVERIFY(!report->building());
    // The report can be printed again afterwards.
    ReportListData few;
    fill(few, 2);
    report->setDataSet(&few);
    QCOMPARE(Reports::print(*report), Reports::PrintOutcome::Printed);
}

void TestReportPrint::noPrinterOffersPdf()
{
    QTemporaryDir dir;
    InstalledScriptedDialogs dialogs;
    ReportFakePrinters printers;
    ReportFakeFileDialogs files;
    printers.names.clear();
    printers.defaultName.clear();
    ReportListData data;
    fill(data, 5);
    auto report = makeReport(&data);
    bool opened = false;
    // The user is told, and declines a PDF file: nothing is run.
    dialogs->queue(DialogButton::No);
    QCOMPARE(Reports::print(*report, [&](ProgressForm &) { opened = true; }),
             Reports::PrintOutcome::NoPrinter);
    QVERIFY(!opened);
    QCOMPARE(data.moves, 0);
    QCOMPARE(dialogs->texts(), QStringList{QStringLiteral("Nie ma zainstalowanej drukarki.\n"
                                                          "Czy zapisać wydruk jako plik PDF?")});
    QCOMPARE(dialogs->requests()[0].buttons,
             QList<DialogButton>({DialogButton::Yes, DialogButton::No}));
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY(!widget->isVisible());

    // Accepted: the report goes into the PDF file chosen, through the same pages.
    const QString file = dir.filePath(QStringLiteral("lista.pdf"));
    dialogs->queue(DialogButton::Yes);
    files.saveAnswers << file;
    QCOMPARE(Reports::print(*report), Reports::PrintOutcome::Printed);
    QCOMPARE(files.requests.size(), 1);
    QCOMPARE(files.requests[0].title, QStringLiteral("Zapisz jako PDF"));
    QCOMPARE(files.requests[0].filter, QStringLiteral("Dokument PDF (*.pdf)"));
    QCOMPARE(files.requests[0].defaultSuffix, QStringLiteral("pdf"));
    QVERIFY(printers.jobFiles.isEmpty());
    QCOMPARE(pdfInfo(file, QStringLiteral("Pages")), QStringLiteral("2"));
    QCOMPARE(pdfPageLines(file, 2).last(),
             QStringLiteral("Kartax2000 – wydruk strona 2 pozycji 5"));

    // A PDF file chosen in the print dialog takes the place of a printer, with its
    // page range; one that cannot be written is reported with its path.
    printers.names = QStringList{QStringLiteral("Office")};
    report->printer.outputFile = dir.filePath(QStringLiteral("strona2.pdf"));
    report->printer.firstPage = report->printer.lastPage = 2;
    QCOMPARE(Reports::print(*report), Reports::PrintOutcome::Printed);
    QVERIFY(printers.jobFiles.isEmpty());
    QCOMPARE(pdfInfo(report->printer.outputFile, QStringLiteral("Pages")), QStringLiteral("1"));
    report->printer.outputFile = dir.filePath(QStringLiteral("brak/x.pdf"));
    dialogs->queue(DialogButton::Ok);
    QCOMPARE(Reports::print(*report), Reports::PrintOutcome::Failed);
    QVERIFY(dialogs->texts().last().startsWith(
        QStringLiteral("Nie udało się zapisać pliku PDF %1:\n").arg(report->printer.outputFile)));
    QCOMPARE(dialogs->pending(), 0);
}

void TestReportPrint::pdfOfPreparedPages()
{
    QTemporaryDir dir;
    ReportListData data;
    fill(data, 5);
    auto report = makeReport(&data);
    PreparedPages pages;
    pages.title = report->title;
    ReportEngine engine(*report, pages);
    engine.run();
    QCOMPARE(pages.pageCount(), 2);
    const QString file = dir.filePath(QStringLiteral("lista.pdf"));
    const IoResult written = PageOutput::writePdf(pages, file);
    QVERIFY2(written.ok, qPrintable(written.error));
    QCOMPARE(pdfInfo(file, QStringLiteral("Pages")), QStringLiteral("2"));
    QVERIFY(pdfInfo(file, QStringLiteral("Page size")).contains(QLatin1String("(A4)")));
    const QStringList first = pdfPageLines(file, 1);
    QCOMPARE(first.mid(0, 2), (QStringList{QStringLiteral("Kartax2000®"),
                                           QStringLiteral("(baza danych programu)")}));
    QCOMPARE(first.mid(2, 3),
             (QStringList{QStringLiteral("Lp 1"), QStringLiteral("Nazwa Zakład Żółw 1"),
                          QStringLiteral("Miasto Łódź")}));
    QCOMPARE(first.last(), QStringLiteral("Kartax2000 – wydruk strona 1 pozycji 5"));
    QCOMPARE(int(first.count(QStringLiteral("Miasto Łódź"))), 4);
    const QStringList second = pdfPageLines(file, 2);
    QVERIFY(second.contains(QStringLiteral("Nazwa Zakład Żółw 5")));
    QCOMPARE(second.last(), QStringLiteral("Kartax2000 – wydruk strona 2 pozycji 5"));

    // A file that cannot be written is reported.
    const IoResult failed =
        PageOutput::writePdf(pages, dir.filePath(QStringLiteral("missing/x.pdf")));
    QVERIFY(!failed.ok);
    QVERIFY(!failed.error.isEmpty());
}

void TestReportPrint::rendersFillsFramesAndClips()
{
    StyleTable styles;
    ItemStyle black;
    black.family = QStringLiteral("Arial");
    black.filled = true;
    black.fillColor = qRgb(0, 0, 0);
    ItemStyle whiteText = black;
    whiteText.fillColor = qRgb(255, 255, 255);
    whiteText.ascent = 3.2f;
    whiteText.descent = 0.75f;
    ItemStyle framed = whiteText;
    framed.filled = false;
    framed.frameSides = ItemStyle::AllSides;
    framed.frameWidth = 0.5f;
    const quint16 blackIndex = styles.intern(black);
    const quint16 whiteIndex = styles.intern(whiteText);
    const quint16 framedIndex = styles.intern(framed);

    PreparedPage page;
    const auto add = [&page](PageItem::Kind kind, quint16 style, float x, float y, float w, float h,
                             const QString &text = QString(), quint8 flags = 0) {
        PageItem item;
        item.kind = kind;
        item.style = style;
        item.x = x;
        item.y = y;
        item.width = w;
        item.height = h;
        item.text = text;
        item.flags = flags;
        page.items.push_back(item);
    };
    add(PageItem::Kind::Box, blackIndex, 10, 10, 50, 20);
    add(PageItem::Kind::Text, whiteIndex, 20, 15, 20, 4.5f, QStringLiteral("."));
    add(PageItem::Kind::Box, framedIndex, 100, 100, 40, 30);
    add(PageItem::Kind::Text, whiteIndex, 100, 200, 5, 4.5f, QStringLiteral("WWWWWWWWWW"),
        PageItem::Clip);

    // Ten pixels to the millimetre.
    QImage image(2100, 2970, QImage::Format_RGB32);
    image.setDotsPerMeterX(10000);
    image.setDotsPerMeterY(10000);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        PageRenderer renderer(styles);
        renderer.render(painter, page, QRectF(0, 0, 2100, 2970));
    }
    const auto at = [&image](double x, double y) {
        return QColor(image.pixel(int(x * 10), int(y * 10)));
    };
    QCOMPARE(at(12, 12), QColor(Qt::black));
    // A white background covers what lies under it.
    QCOMPARE(at(35, 17), QColor(Qt::white));
    QCOMPARE(at(35, 14), QColor(Qt::black));
    // Frame lines along the edges, nothing inside.
    QCOMPARE(at(120, 100), QColor(Qt::black));
    QCOMPARE(at(100, 115), QColor(Qt::black));
    QCOMPARE(at(140, 115), QColor(Qt::black));
    QCOMPARE(at(120, 130), QColor(Qt::black));
    QCOMPARE(at(120, 115), QColor(Qt::white));
    // A clipped text leaves no ink beyond its width.
    int inkInside = 0;
    int inkBeyond = 0;
    for (int x = 1000; x < 1300; ++x) {
        for (int y = 2000; y < 2045; ++y) {
            if (QColor(image.pixel(x, y)).lightness() < 128)
                ++(x < 1050 ? inkInside : inkBeyond);
        }
    }
    QVERIFY(inkInside > 0);
    QCOMPARE(inkBeyond, 0);
}

// The renderer's record of what it drew answers as comparing with every rectangle
// would: edges that touch, rectangles without width, negative sizes, at every depth
// of cells, and rectangles beyond the bounds given.
void TestReportPrint::drawnAreaAnswersAsEachRectangle()
{
    for (const int count : {10, 3000}) {
        std::mt19937 random(count);
        const auto place = [&random] { return double(random() % 56 + 1); };
        const auto size = [&random] { return double(int(random() % 64) - 4) / 4; };
        DrawnArea area;
        area.reset(QRectF(0, 0, 72, 72), count);
        std::vector<QRectF> drawn;
        for (int i = 0; i < count; ++i) {
            const QRectF rect(place(), place(), size(), size());
            const bool expected = std::any_of(drawn.begin(), drawn.end(),
                                              [&](const QRectF &r) { return r.intersects(rect); });
            QCOMPARE(area.intersects(rect), expected);
            if (random() % 3 == 0) {
                area.add(rect);
                drawn.push_back(rect);
            }
        }
        area.add(QRectF(100, 100, 5, 5));
        QVERIFY(area.intersects(QRectF(104, 101, 2, 1)));
        QVERIFY(!area.intersects(QRectF(105, 100, 1, 1)));
    }
}

// A text cut off at its box keeps no more of a long value than the box shows, and
// draws the same picture as the whole value would.
void TestReportPrint::longCutOffTextDrawsAsWhole()
{
    ReportListData data;
    const QString value = QStringLiteral("Przedsiębiorstwo „Żuraw” Łódź ").repeated(400);
    data.addRecord({{QStringLiteral("Nazwa"), value}});
    Report report;
    report.setDataSet(&data);
    report.addBand(BandType::btDetail, 30.0)
        .addDataText(19.1, 6.33, &data, QStringLiteral("Nazwa"))
        .setFixedWidth(57.4);
    ReportPageList sink;
    ReportEngine engine(report, sink);
    engine.run();
    PreparedPage page = sink.pages.at(0);
    PageItem &item = page.items.at(0);
    QVERIFY(item.text.size() < 1000 && value.startsWith(item.text));
    QVERIFY(item.flags & PageItem::Clip);
    const auto draw = [&sink, &page] {
        QImage image(1050, 1485, QImage::Format_RGB32); // five pixels to the millimetre
        image.fill(Qt::white);
        QPainter painter(&image);
        PageRenderer(sink.table).render(painter, page, QRectF(image.rect()));
        return image;
    };
    const QImage drawn = draw();
    item.text = value;
    QVERIFY(drawn == draw());
}

QTEST_MAIN(TestReportPrint)
#include "tst_report_print.moc"
