#include "platform/widgets/printers.h"
#include "reports/prepared_pages.h"
#include "reports/preview_window.h"
#include "reports/report_engine.h"
#include "reports/report_file.h"
#include "reports/report_model.h"
#include "reports/report_runs.h"
#include "support/report_fakes.h"
#include "support/scripted_dialogs.h"

#include <QAccessible>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <cmath>

namespace {

std::unique_ptr<Report> makeReport(ReportDataSet *data, const QString &title = QString())
{
    auto report = std::make_unique<Report>();
    report->title = title;
    report->setDataSet(data);
    report->addBand(BandType::btPageHeader, 13.5)
        .addLabel(82.6, 2.1, QStringLiteral("Kartax2000®"));
    ReportBand &detail = report->addBand(BandType::btDetail, 59.3);
    detail.addLabel(2.1, 2.1, QStringLiteral("Nazwa"));
    detail.addDataText(29.6, 2.1, data, QStringLiteral("Nazwa"));
    report->addBand(BandType::btPageFooter, 10.6)
        .addSystemData(91.0, 2.1, SystemDataKind::sdPageNumber);
    return report;
}

void fill(ReportListData &data, int count)
{
    for (int i = 1; i <= count; ++i)
        data.addRecord({{QStringLiteral("Nazwa"), QStringLiteral("Firma %1").arg(i)}});
}

// Pages of the report built at once, as a finished run leaves them.
std::shared_ptr<PreparedPages> build(Report &report)
{
    auto pages = std::make_shared<PreparedPages>();
    pages->title = report.title;
    ReportEngine engine(report, *pages);
    engine.run();
    return pages;
}

QString accessibleName(QObject *object)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(QAccessible::Name) : QString();
}

} // namespace

class TestPreviewWindow : public QObject
{
    Q_OBJECT

private slots:
    void toolBarAndStatusBar();
    void caption();
    void zoomArithmetic();
    void sheetPlacement();
    void pageButtonsAndKeys();
    void onePageReport();
    void progressPanelAndPrintButtons();
    void pagesShownWhileBuilding();
    void saveAndLoad();
    void loadFailuresKeepThePages();
    void previewRunsAndReturnsOnClose();
    void closingStopsTheRun();
    void printSetup();

private:
    void showPreview(StandardPreview &preview)
    {
        preview.resize(1000, 700);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
    }
};

void TestPreviewWindow::toolBarAndStatusBar()
{
    auto report = makeReport(nullptr);
    StandardPreview preview(*report);
    QCOMPARE(preview.objectName(), QStringLiteral("StandardPreview"));
    auto *bar = qobject_cast<QHBoxLayout *>(preview.ZoomFit->parentWidget()->layout());
    QVERIFY(bar);
    QStringList order;
    for (int i = 0; i < bar->count(); ++i) {
        QWidget *widget = bar->itemAt(i)->widget();
        if (!widget)
            continue;
        if (auto *button = qobject_cast<QToolButton *>(widget)) {
            order << button->objectName() + QLatin1Char('=') + button->toolTip();
            // Picture-only buttons are named by their hints for assistive technology.
            QCOMPARE(accessibleName(button), button->toolTip());
            QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
            QVERIFY(!button->icon().isNull());
            QVERIFY(button->autoRaise());
        } else if (auto *push = qobject_cast<QPushButton *>(widget)) {
            order << push->objectName() + QLatin1Char('=') + push->text();
            QVERIFY(push->isFlat());
        } else if (qobject_cast<QFrame *>(widget)) {
            order << QStringLiteral("|");
        }
    }
    QCOMPARE(order, (QStringList{
                        QStringLiteral("|"),
                        QStringLiteral("ZoomFit=Zoom to fit"),
                        QStringLiteral("Zoom100=100%"),
                        QStringLiteral("ZoomToWidth=Zoom to width"),
                        QStringLiteral("|"),
                        QStringLiteral("FirstPage=First page"),
                        QStringLiteral("PreviousPage=Previous page"),
                        QStringLiteral("NextPage=Next page"),
                        QStringLiteral("LastPage=Last page"),
                        QStringLiteral("|"),
                        QStringLiteral("PrintSetup=Printer setup"),
                        QStringLiteral("Print=Print"),
                        QStringLiteral("SavePdf=Zapisz jako PDF"),
                        QStringLiteral("|"),
                        QStringLiteral("SaveReport=Save Report"),
                        QStringLiteral("LoadReport=Load Report"),
                        QStringLiteral("|"),
                        QStringLiteral("CloseButton=&Close"),
                    }));
    QVERIFY(preview.ZoomToWidth->isChecked());
    QVERIFY(!preview.ZoomFit->isChecked());
    QCOMPARE(preview.zoomMode(), StandardPreview::ZoomMode::Width);

    QCOMPARE(preview.Panel1->text(), QStringLiteral("0%"));
    QCOMPARE(preview.Panel1->width(), 40);
    QVERIFY(preview.Panel1->alignment() & Qt::AlignRight);
    QCOMPARE(preview.Panel2->text(), QStringLiteral("Page"));
    QCOMPARE(preview.Panel1->parentWidget(), preview.StatusBar);
    QCOMPARE(accessibleName(preview.Panel2), QStringLiteral("Page"));
    QVERIFY(!preview.PrintSetup->isEnabled());
    QVERIFY(!preview.Print->isEnabled());
    QVERIFY(!preview.SavePdf->isEnabled());
}

void TestPreviewWindow::caption()
{
    auto untitled = makeReport(nullptr);
    StandardPreview plain(*untitled);
    QCOMPARE(plain.windowTitle(), QStringLiteral("Print Preview"));
    auto titled = makeReport(nullptr, QStringLiteral("Etykiety"));
    StandardPreview named(*titled);
    QCOMPARE(named.windowTitle(), QStringLiteral("Etykiety"));
}

void TestPreviewWindow::zoomArithmetic()
{
    ReportListData data;
    fill(data, 2);
    auto report = makeReport(&data);
    StandardPreview preview(*report);
    preview.setPages(build(*report));
    preview.runFinished();
    showPreview(preview);

    PageView *view = preview.view();
    const QSize page = view->pagePixels();
    QCOMPARE(page, QSize(int(std::lround(210 / 25.4 * view->logicalDpiX())),
                         int(std::lround(297 / 25.4 * view->logicalDpiY()))));
    const auto widthZoom = [&] {
        return int(std::lround(double(view->width()) / page.width() * 90));
    };
    const auto fitZoom = [&] {
        return std::min(int(std::lround(double(view->width()) / page.width() * 95)),
                        int(std::lround(double(view->height()) / page.height() * 95)));
    };

    // Opened at zoom-to-width.
    QCOMPARE(preview.zoom(), widthZoom());
    const int before = preview.zoom();
    preview.resize(1400, 700);
    QTRY_COMPARE(preview.zoom(), widthZoom());
    QVERIFY(preview.zoom() > before);

    QTest::mouseClick(preview.ZoomFit, Qt::LeftButton);
    QCOMPARE(preview.zoomMode(), StandardPreview::ZoomMode::Fit);
    QCOMPARE(preview.zoom(), fitZoom());
    preview.resize(900, 1000);
    QTRY_COMPARE(preview.zoom(), fitZoom());

    QTest::mouseClick(preview.Zoom100, Qt::LeftButton);
    QCOMPARE(preview.zoom(), 100);
    QVERIFY(preview.Zoom100->isChecked());
    preview.resize(1200, 800);
    QTest::qWait(50);
    QCOMPARE(preview.zoom(), 100);

    QTest::mouseClick(preview.ZoomToWidth, Qt::LeftButton);
    QCOMPARE(preview.zoom(), widthZoom());

    // A zoom outside 2..2000 is ignored.
    preview.setZoom(2);
    QCOMPARE(preview.zoom(), 2);
    preview.setZoom(2000);
    QCOMPARE(preview.zoom(), 2000);
    preview.setZoom(1);
    QCOMPARE(preview.zoom(), 2000);
    preview.setZoom(2001);
    QCOMPARE(preview.zoom(), 2000);
    preview.setZoom(0);
    QCOMPARE(preview.zoom(), 2000);
}

void TestPreviewWindow::sheetPlacement()
{
    ReportListData data;
    fill(data, 6);
    auto report = makeReport(&data);
    StandardPreview preview(*report);
    preview.setPages(build(*report));
    showPreview(preview);
    PageView *view = preview.view();
    const QSize page = view->pagePixels();

    preview.setZoom(50);
    const QSize sheet = view->sheetSize();
    QCOMPARE(sheet, QSize(int(std::lround(page.width() * 0.5)) + 4,
                          int(std::lround(page.height() * 0.5)) + 4));
    // Smaller than the view: centred, no scrolling.
    const QSize area = view->viewport()->size();
    QCOMPARE(view->sheetOrigin(),
             QPoint((area.width() - sheet.width()) / 2, (area.height() - sheet.height()) / 2));
    QCOMPARE(view->horizontalScrollBar()->maximum(), 0);

    // Larger: from the top-left corner, with scroll bars; a change of page or zoom
    // scrolls back.
    preview.setZoom(300);
    QCOMPARE(view->sheetOrigin(), QPoint(0, 0));
    QVERIFY(view->horizontalScrollBar()->maximum() > 0);
    QVERIFY(view->verticalScrollBar()->maximum() > 0);
    view->horizontalScrollBar()->setValue(100);
    view->verticalScrollBar()->setValue(200);
    QCOMPARE(view->sheetOrigin(), QPoint(-100, -200));
    preview.NextPageClick();
    QCOMPARE(view->horizontalScrollBar()->value(), 0);
    QCOMPARE(view->verticalScrollBar()->value(), 0);
    view->verticalScrollBar()->setValue(200);
    preview.setZoom(250);
    QCOMPARE(view->verticalScrollBar()->value(), 0);

    // The sheet is drawn: white paper inside a black outline, with a shadow.
    preview.setZoom(50);
    QSignalSpy painted(view, &PageView::sheetPainted);
    view->viewport()->repaint();
    QCOMPARE(painted.size(), 1);
    const QImage image = view->viewport()->grab().toImage();
    const QPoint origin = view->sheetOrigin();
    const int dpr = int(image.devicePixelRatio());
    const auto pixel = [&](int x, int y) { return QColor(image.pixel(x * dpr, y * dpr)); };
    QCOMPARE(pixel(origin.x(), origin.y() + 20), QColor(Qt::black));
    QCOMPARE(pixel(origin.x() + sheet.width() - 1, origin.y() + sheet.height() - 1),
             QColor(Qt::black));
    QCOMPARE(pixel(origin.x() + sheet.width() - 1, origin.y() + 20), QColor(Qt::black));
    QCOMPARE(pixel(origin.x() + sheet.width() - 1, origin.y() + 1),
             view->viewport()->palette().color(view->viewport()->backgroundRole()));
    QCOMPARE(pixel(origin.x() + 5, origin.y() + 5), QColor(Qt::white));
}

void TestPreviewWindow::pageButtonsAndKeys()
{
    ReportListData data;
    fill(data, 17); // five pages of four
    auto report = makeReport(&data);
    StandardPreview preview(*report);
    preview.setPages(build(*report));
    preview.runFinished();
    showPreview(preview);
    QCOMPARE(preview.pageCount(), 5);
    QCOMPARE(preview.currentPage(), 1);
    QCOMPARE(preview.Panel2->text(), QStringLiteral("Page 1 of 5"));

    const auto click = [&](QToolButton *button, int expected) {
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(preview.currentPage(), expected);
        QCOMPARE(preview.Panel2->text(), QStringLiteral("Page %1 of 5").arg(expected));
        QCOMPARE(accessibleName(preview.Panel2), preview.Panel2->text());
    };
    click(preview.NextPage, 2);
    click(preview.NextPage, 3);
    click(preview.LastPage, 5);
    click(preview.NextPage, 5);
    click(preview.PreviousPage, 4);
    click(preview.FirstPage, 1);
    click(preview.PreviousPage, 1);
    preview.showPage(0);
    preview.showPage(6);
    QCOMPARE(preview.currentPage(), 1);

    // Keys reach the window before its controls, wherever the focus is.
    QWidget *target = preview.view()->viewport();
    const auto key = [&](Qt::Key k, Qt::KeyboardModifiers modifiers, int expected) {
        QTest::keyClick(target, k, modifiers);
        QCOMPARE(preview.currentPage(), expected);
    };
    key(Qt::Key_PageDown, Qt::NoModifier, 2);
    key(Qt::Key_PageDown, Qt::ControlModifier, 5);
    key(Qt::Key_Home, Qt::NoModifier, 1);
    key(Qt::Key_End, Qt::NoModifier, 5);
    key(Qt::Key_PageDown, Qt::NoModifier, 5);
    key(Qt::Key_PageUp, Qt::NoModifier, 4);
    key(Qt::Key_PageUp, Qt::ControlModifier, 1);
    key(Qt::Key_PageUp, Qt::NoModifier, 1);
    QCOMPARE(preview.view()->verticalScrollBar()->value(), 0);

    QSignalSpy closed(&preview, &StandardPreview::closed);
    QTest::keyClick(preview.ZoomFit, Qt::Key_Escape);
    QCOMPARE(closed.size(), 1);
    QVERIFY(!preview.isVisible());
}

void TestPreviewWindow::onePageReport()
{
    auto report = makeReport(nullptr);
    StandardPreview preview(*report);
    preview.setPages(build(*report));
    showPreview(preview);
    QCOMPARE(preview.Panel2->text(), QStringLiteral("Page 1 of 1"));
    QTest::keyClick(&preview, Qt::Key_PageDown);
    QCOMPARE(preview.currentPage(), 1);
    QTest::keyClick(&preview, Qt::Key_PageUp);
    QCOMPARE(preview.currentPage(), 1);
    QCOMPARE(preview.Panel2->text(), QStringLiteral("Page 1 of 1"));
}

void TestPreviewWindow::progressPanelAndPrintButtons()
{
    auto report = makeReport(nullptr);
    StandardPreview preview(*report);
    preview.runStarted();
    QVERIFY(!preview.Print->isEnabled());
    QVERIFY(!preview.PrintSetup->isEnabled());
    QStringList shown;
    for (int percent : {1, 3, 4, 5, 7, 9, 10, 11, 16, 20, 24, 26, 99}) {
        preview.setProgress(percent);
        shown << preview.Panel1->text();
    }
    // Shown only when risen by at least 5 since last shown.
    QCOMPARE(shown,
             (QStringList{QStringLiteral("0%"), QStringLiteral("0%"), QStringLiteral("0%"),
                          QStringLiteral("5%"), QStringLiteral("5%"), QStringLiteral("5%"),
                          QStringLiteral("10%"), QStringLiteral("10%"), QStringLiteral("16%"),
                          QStringLiteral("16%"), QStringLiteral("24%"), QStringLiteral("24%"),
                          QStringLiteral("99%")}));
    preview.setProgress(100);
    QCOMPARE(preview.Panel1->text(), QString());
    QVERIFY(!preview.Print->isEnabled());
    preview.runFinished();
    QCOMPARE(preview.Panel1->text(), QString());
    QVERIFY(preview.Print->isEnabled());
    QVERIFY(preview.PrintSetup->isEnabled());
    QVERIFY(preview.SavePdf->isEnabled());
}

void TestPreviewWindow::pagesShownWhileBuilding()
{
    ReportListData data;
    fill(data, 9);
    auto report = makeReport(&data);
    auto source = build(*report);
    StandardPreview preview(*report);
    auto pages = std::make_shared<PreparedPages>();
    pages->styles() = source->styles();
    preview.setPages(pages);
    showPreview(preview);
    preview.runStarted();
    QCOMPARE(preview.currentPage(), 0);
    QCOMPARE(preview.Panel2->text(), QStringLiteral("Page"));
    pages->addEncodedPage(source->encodedPage(0));
    QCOMPARE(preview.currentPage(), 1);
    QCOMPARE(preview.Panel2->text(), QStringLiteral("Page 1 of 1"));
    // The first page is shown at zoom-to-width.
    QCOMPARE(preview.zoom(), int(std::lround(double(preview.view()->width()) /
                                             preview.view()->pagePixels().width() * 90)));
    pages->addEncodedPage(source->encodedPage(1));
    QCOMPARE(preview.Panel2->text(), QStringLiteral("Page 1 of 2"));
    QTest::keyClick(&preview, Qt::Key_End);
    QCOMPARE(preview.currentPage(), 2);
    QVERIFY(!preview.Print->isEnabled());
    pages->addEncodedPage(source->encodedPage(2));
    QCOMPARE(preview.Panel2->text(), QStringLiteral("Page 2 of 3"));
    preview.runFinished();
    QVERIFY(preview.Print->isEnabled());
}

void TestPreviewWindow::saveAndLoad()
{
    QTemporaryDir dir;
    InstalledScriptedDialogs dialogs;
    ReportFakeFileDialogs files;
    ReportFakePrinters printers;
    ReportListData data;
    fill(data, 9);
    auto report = makeReport(&data, QStringLiteral("Pełne dane"));
    StandardPreview preview(*report);
    preview.setPages(build(*report));
    preview.runFinished();
    showPreview(preview);

    const QString file = dir.filePath(QStringLiteral("lista.KRP"));
    files.saveAnswers << file;
    QTest::mouseClick(preview.SaveReport, Qt::LeftButton);
    QCOMPARE(files.requests.size(), 1);
    QCOMPARE(files.requests[0].title, QStringLiteral("Save report"));
    QCOMPARE(files.requests[0].filter, QStringLiteral("Kartax2000 report file (*.KRP)"));
    QCOMPARE(files.requests[0].defaultSuffix, QStringLiteral("KRP"));
    QVERIFY(QFileInfo::exists(file));
    QCOMPARE(dialogs->requests().size(), 0);
    // The pages as a PDF file.
    const QString pdf = dir.filePath(QStringLiteral("lista.pdf"));
    files.saveAnswers << pdf;
    QTest::mouseClick(preview.SavePdf, Qt::LeftButton);
    QCOMPARE(files.requests.last().title, QStringLiteral("Zapisz jako PDF"));
    QFile written(pdf);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().startsWith("%PDF"));
    QCOMPARE(dialogs->requests().size(), 0);

    // Another preview with other pages loads them back.
    ReportListData other;
    fill(other, 1);
    auto otherReport = makeReport(&other);
    StandardPreview second(*otherReport);
    second.setPages(build(*otherReport));
    second.runFinished();
    showPreview(second);
    QCOMPARE(second.Panel2->text(), QStringLiteral("Page 1 of 1"));
    files.openAnswers << file;
    QTest::mouseClick(second.LoadReport, Qt::LeftButton);
    QCOMPARE(files.requests.last().title, QStringLiteral("Load report"));
    QCOMPARE(files.requests.last().filter, QStringLiteral("Kartax2000 report file (*.KRP)"));
    QVERIFY(second.showsLoadedPages());
    QCOMPARE(second.pageCount(), 3);
    QCOMPARE(second.currentPage(), 1);
    QCOMPARE(second.Panel2->text(), QStringLiteral("Page 1 of 3"));
    QVERIFY(!second.PrintSetup->isEnabled());
    QVERIFY(second.Print->isEnabled());
    QCOMPARE(reportItemsWithText(second.pages()->page(2), QStringLiteral("Firma 9")).size(), 1);

    // Print sends the loaded pages, without running the report again.
    const int moves = other.moves;
    QTest::mouseClick(second.Print, Qt::LeftButton);
    QCOMPARE(other.moves, moves);
    QCOMPARE(printers.jobFiles.size(), 1);
    QVERIFY(QFileInfo(printers.jobFiles[0]).size() > 0);
    QCOMPARE(dialogs->requests().size(), 0);
    // Without a printer they go into a PDF file when the user wants one.
    printers.names.clear();
    dialogs->queue(DialogButton::Yes);
    files.saveAnswers << dir.filePath(QStringLiteral("wczytane.pdf"));
    QTest::mouseClick(second.Print, Qt::LeftButton);
    QCOMPARE(printers.jobFiles.size(), 1);
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("wczytane.pdf"))).size() > 0);
    QCOMPARE(dialogs->pending(), 0);
}

void TestPreviewWindow::loadFailuresKeepThePages()
{
    QTemporaryDir dir;
    InstalledScriptedDialogs dialogs;
    ReportFakeFileDialogs files;
    ReportListData data;
    fill(data, 6);
    auto report = makeReport(&data);
    StandardPreview preview(*report);
    preview.setPages(build(*report));
    preview.runFinished();
    showPreview(preview);
    preview.LastPageClick();

    dialogs->queue(DialogButton::Ok);
    files.openAnswers << dir.filePath(QStringLiteral("nothing.KRP"));
    QTest::mouseClick(preview.LoadReport, Qt::LeftButton);
    QCOMPARE(dialogs->texts(), QStringList{QStringLiteral("File does not exist")});

    const QString damaged = dir.filePath(QStringLiteral("damaged.KRP"));
    QFile out(damaged);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(QByteArray("KAXRPT\r\n\x01\x00\x00\x00\xff\xff\xff\x7f", 16));
    out.close();
    dialogs->queue(DialogButton::Ok);
    files.openAnswers << damaged;
    QTest::mouseClick(preview.LoadReport, Qt::LeftButton);
    QCOMPARE(dialogs->requests().size(), 2);
    QCOMPARE(dialogs->requests().last().caption, QStringLiteral("Load report"));
    QVERIFY(dialogs->requests().last().text.contains(QLatin1String("report file")));

    // The pages on show stay, and so does the page.
    QVERIFY(!preview.showsLoadedPages());
    QCOMPARE(preview.pageCount(), 2);
    QCOMPARE(preview.currentPage(), 2);
    QCOMPARE(preview.Panel2->text(), QStringLiteral("Page 2 of 2"));
    QVERIFY(preview.PrintSetup->isEnabled());

    // A cancelled dialog does nothing.
    QTest::mouseClick(preview.LoadReport, Qt::LeftButton);
    QCOMPARE(dialogs->requests().size(), 2);
}

void TestPreviewWindow::previewRunsAndReturnsOnClose()
{
    ReportListData data;
    fill(data, 9);
    auto report = makeReport(&data, QStringLiteral("Pełne dane"));
    StandardPreview *seen = nullptr;
    QString caption;
    QString status;
    QString progress = QStringLiteral("unset");
    bool maximised = false;
    bool printEnabled = false;
    bool nestedRan = true;
    Reports::PrintOutcome nestedPrint = Reports::PrintOutcome::Printed;
    QTimer poll;
    Reports::preview(*report, [&](StandardPreview &window) {
        seen = &window;
        caption = window.windowTitle();
        maximised = window.isMaximized();
        QObject::connect(window.pages(), &PreparedPages::pageAdded, &window, [&](int count) {
            if (count != 1)
                return;
            // The same report does nothing while it builds.
            int opened = 0;
            Reports::preview(*report, [&](StandardPreview &) { ++opened; });
            nestedRan = opened != 0;
            nestedPrint = Reports::print(*report);
        });
        QObject::connect(&poll, &QTimer::timeout, &window, [&] {
            if (window.building())
                return;
            status = window.Panel2->text();
            progress = window.Panel1->text();
            printEnabled = window.Print->isEnabled();
            QTest::mouseClick(window.CloseButton, Qt::LeftButton);
        });
        poll.start(10);
    });
    QVERIFY(seen);
    QCOMPARE(caption, QStringLiteral("Pełne dane"));
    QVERIFY(maximised);
    QCOMPARE(status, QStringLiteral("Page 1 of 3"));
    QCOMPARE(progress, QString());
    QVERIFY(printEnabled);
    QVERIFY(!nestedRan);
    QCOMPARE(nestedPrint, Reports::PrintOutcome::Busy);
    QVERIFY(!report->building());
    QCOMPARE(data.position, 9); // ran over every record
}

void TestPreviewWindow::closingStopsTheRun()
{
    ReportListData data;
    fill(data, 20000);
    auto report = makeReport(&data);
    int pagesWhenClosed = 0;
    Reports::preview(*report, [&](StandardPreview &window) {
        QObject::connect(window.pages(), &PreparedPages::pageAdded, &window, [&](int count) {
            if (count == 2) {
                pagesWhenClosed = count;
                window.close();
            }
        });
    });
    QCOMPARE(pagesWhenClosed, 2);
    // No further records after the close.
    QVERIFY2(data.position <= 9, qPrintable(QString::number(data.position)));
    QVERIFY(!report->building());
}

void TestPreviewWindow::printSetup()
{
    ReportFakePrinters printers;
    ReportListData data;
    fill(data, 9);
    auto report = makeReport(&data, QStringLiteral("Etykiety"));
    report->printer.printerName = QStringLiteral("Office");
    StandardPreview preview(*report);
    preview.setPages(build(*report));
    preview.runFinished();
    showPreview(preview);

    // Cancelled: nothing changes.
    QTest::mouseClick(preview.PrintSetup, Qt::LeftButton);
    QCOMPARE(printers.dialogRequests.size(), 1);
    const PrintDialogRequest request = printers.dialogRequests[0];
    QCOMPARE(request.printerName, QStringLiteral("Office"));
    QCOMPARE(request.title, QStringLiteral("Etykiety"));
    QCOMPARE(request.orientation, QPageLayout::Portrait);
    QCOMPARE(request.copies, 1);
    QCOMPARE(request.minPage, 1);
    QCOMPARE(request.maxPage, 3);
    QCOMPARE(request.fromPage, 1);
    QCOMPARE(request.toPage, 3);
    QVERIFY(!request.pageRange); // all pages offered as all pages
    QCOMPARE(report->printer.copies, 1);

    PrintDialogResult answer;
    answer.printerName = QStringLiteral("Labels");
    answer.orientation = QPageLayout::Landscape;
    answer.copies = 3;
    answer.allPages = false;
    answer.fromPage = 2;
    answer.toPage = 3;
    printers.dialogAnswer = answer;
    QTest::mouseClick(preview.PrintSetup, Qt::LeftButton);
    QCOMPARE(report->printer.printerName, QStringLiteral("Labels"));
    QCOMPARE(report->page.orientation, QPageLayout::Landscape);
    QCOMPARE(report->printer.copies, 3);
    QCOMPARE(report->printer.firstPage, 2);
    QCOMPARE(report->printer.lastPage, 3);
    QTest::mouseClick(preview.PrintSetup, Qt::LeftButton);
    QVERIFY(printers.dialogRequests.last().pageRange);

    answer.allPages = true;
    answer.outputFile = QStringLiteral("/tmp/lista.pdf"); // printing into a file
    printers.dialogAnswer = answer;
    QTest::mouseClick(preview.PrintSetup, Qt::LeftButton);
    QCOMPARE(report->printer.firstPage, 0);
    QCOMPARE(report->printer.lastPage, 0);
    QCOMPARE(report->printer.outputFile, answer.outputFile);

    // No printer at all: the user is told that a PDF file is the way; the file
    // chosen before is offered again.
    printers.names.clear();
    printers.defaultName.clear();
    {
        InstalledScriptedDialogs told;
        told->queue(DialogButton::Ok);
        preview.PrintSetupClick();
        QVERIFY(
            told->texts().value(0).startsWith(QStringLiteral("Nie ma zainstalowanej drukarki")));
        QCOMPARE(printers.dialogRequests.last().outputFile, answer.outputFile);
    }
    printers.names = QStringList{QStringLiteral("Labels")};
    printers.defaultName = QStringLiteral("Labels");

    // While the report is still building: pages 0 to 9999.
    StandardPreview building(*report);
    building.runStarted();
    building.PrintSetupClick();
    QCOMPARE(printers.dialogRequests.last().minPage, 0);
    QCOMPARE(printers.dialogRequests.last().maxPage, 9999);
    QCOMPARE(printers.dialogRequests.last().printerName, QStringLiteral("Labels"));

    // Qt's own print dialog, confirmed without a change, keeps all pages.
    InstalledScriptedDialogs dialogs;
    QTimer::singleShot(200, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->accept();
    });
    PrintDialogRequest offered;
    offered.maxPage = 3;
    offered.fromPage = 1;
    offered.toPage = 3;
    const auto confirmed = SystemPrinters().printDialog(nullptr, offered);
    QVERIFY(confirmed && confirmed->allPages);
}

QTEST_MAIN(TestPreviewWindow)
#include "tst_preview_window.moc"
