#include "app/program.h"
#include "entry/full_record_view.h"
#include "history/history_window.h"
#include "reports/preview_window.h"
#include "reports/report_definitions.h"
#include "reports/report_engine.h"
#include "store/data_module.h"
#include "store/incremental_search.h"
#include "store/table.h"
#include "support/contact_fixture.h"
#include "support/kartax_test_main.h"
#include "support/program_fixture.h"
#include "support/report_fakes.h"
#include "support/scripted_dialogs.h"

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QTimer>

// The five report definitions laid out over real contact tables: positions,
// pages, running numbers, counts, order, and the commands that fill and run them.
class TestReportDefinitions : public QObject
{
    Q_OBJECT

private slots:
    void fullDataPositions();
    void labelPositions();
    void singleRecordReportsPositions();
    void pagesAndCounts_data();
    void pagesAndCounts();
    void emptyTableGivesOnePageWithCaptions();
    void wideNameCutInBoxesWholeInFullData();
    void runFollowsIndexInUseAndEndsOnLastRecord();
    void runReadsItsOwnCursorWhileWindowsWork();
    void printRecordCarriesNotesOfTheMoment();
    void historyPrintoutCarriesUnsavedLines();

private:
    static std::vector<PreparedPage> layOut(ReportContainer &container);
    static PageItem itemWithText(const PreparedPage &page, const QString &text, int which = 0);
    static void fill(TTable &table, int count);
};

namespace {
constexpr double kMargin = 10.0;
constexpr double kTolerance = 0.06;

bool near(double a, double b)
{
    return std::abs(a - b) <= kTolerance;
}
} // namespace

std::vector<PreparedPage> TestReportDefinitions::layOut(ReportContainer &container)
{
    ReportPageList sink;
    ReportEngine engine(container.Report1, sink);
    if (engine.run() != ReportEngine::Outcome::Completed)
        qWarning("the report did not complete");
    return std::move(sink.pages);
}

PageItem TestReportDefinitions::itemWithText(const PreparedPage &page, const QString &text,
                                             int which)
{
    const QList<PageItem> items = reportItemsWithText(page, text);
    if (which >= items.size()) {
        qWarning("no item %d with text %s", which, qPrintable(text));
        return PageItem();
    }
    return items[which];
}

void TestReportDefinitions::fill(TTable &table, int count)
{
    for (int i = 1; i <= count; ++i)
        insertContact(table, QStringLiteral("Firma %1").arg(i, 2, 10, QLatin1Char('0')),
                      QStringLiteral("Branża %1").arg(i), QStringLiteral("Osoba %1").arg(i),
                      {"Polska", QStringLiteral("Miasto %1").arg(i), "00-001", "ul. Długa 1",
                       "mazowieckie", "22 100 00 00", "", "a@b.pl", "www.b.pl"});
}

void TestReportDefinitions::fullDataPositions()
{
    ContactFixture fx;
    fill(fx.table(), 5);
    TForm8 form([&fx] { return &fx.table(); });
    const std::vector<PreparedPage> pages = layOut(form);
    QCOMPARE(pages.size(), size_t(2));
    const PreparedPage &page = pages[0];
    const PageItem title = itemWithText(page, QStringLiteral("Kartax2000®"));
    QVERIFY(near(title.x, kMargin + 82.6) && near(title.y, kMargin + 2.1));
    QVERIFY(near(title.height, 6.1));
    const PageItem subtitle = itemWithText(page, QStringLiteral("(baza danych programu)"));
    QVERIFY(near(subtitle.x, kMargin + 80.4) && near(subtitle.y, kMargin + 8.5));
    // Detail rows start under the 13.5 mm header, 4.23 mm apart; values at 29.6.
    const double detailTop = kMargin + 13.5;
    const PageItem lp = itemWithText(page, QStringLiteral("Lp"));
    QVERIFY(near(lp.x, kMargin + 2.1) && near(lp.y, detailTop + 2.1));
    const PageItem fax = itemWithText(page, QStringLiteral("Telefax"));
    QVERIFY(near(fax.y, detailTop + 2.1 + 4.23 * 12));
    const PageItem name = itemWithText(page, QStringLiteral("Firma 01"));
    QVERIFY(near(name.x, kMargin + 29.6) && near(name.y, detailTop + 2.1 + 4.23));
    // The second record's band follows 59.3 mm lower.
    const PageItem second = itemWithText(page, QStringLiteral("Firma 02"));
    QVERIFY(near(second.y, name.y + 59.3));
    // Footer at the foot of the page: 297 - 10 - 10.6, items 2.1 below its top.
    const double footerTop = 297.0 - kMargin - 10.6;
    const PageItem strona = itemWithText(page, QStringLiteral("strona"));
    QVERIFY(near(strona.x, kMargin + 80.4) && near(strona.y, footerTop + 2.1));
    const PageItem pozycji = itemWithText(page, QStringLiteral("pozycji"));
    QVERIFY(near(pozycji.x, kMargin + 149.2));
    QVERIFY(near(itemWithText(page, QStringLiteral("5")).x, kMargin + 164.0));
}

void TestReportDefinitions::labelPositions()
{
    ContactFixture fx;
    fill(fx.table(), 2);
    TForm14 form([&fx] { return &fx.table(); });
    const std::vector<PreparedPage> pages = layOut(form);
    QCOMPARE(pages.size(), size_t(1));
    const PreparedPage &page = pages[0];
    const double detailTop = kMargin + 11.4;
    QVERIFY(near(itemWithText(page, QStringLiteral("Kartax2000®")).x, kMargin + 78.3));
    QVERIFY(near(itemWithText(page, QStringLiteral("(Etykiety)")).y, kMargin + 6.4));
    const PageItem salutation = itemWithText(page, QStringLiteral("Sz.P."));
    QVERIFY(near(salutation.x, kMargin + 19.1) && near(salutation.y, detailTop + 2.1));
    // "Firma 01" stands four times: upper left (second line), upper right, lower left, lower right.
    const QList<PageItem> names = reportItemsWithText(page, QStringLiteral("Firma 01"));
    QCOMPARE(names.size(), 4);
    QVERIFY(near(names[0].x, kMargin + 19.1) && near(names[0].y, detailTop + 2.1 + 4.23));
    QVERIFY(near(names[0].width, 57.4));
    QVERIFY(near(names[1].x, kMargin + 92.1) && near(names[1].y, detailTop + 2.1));
    QVERIFY(near(names[2].x, kMargin + 9.5) && near(names[2].y, detailTop + 33.9));
    QVERIFY(near(names[3].x, kMargin + 92.1) && near(names[3].width, 76.5));
    // The last line of the lower right box: Kraj, seven lines down.
    const QList<PageItem> countries = reportItemsWithText(page, QStringLiteral("Polska"));
    QVERIFY(near(countries[3].y, detailTop + 33.9 + 6 * 4.23));
    // Boxes and the cut line.
    int boxes = 0;
    bool cutLine = false;
    for (const PageItem &item : page.items) {
        if (item.kind != PageItem::Kind::Box)
            continue;
        ++boxes;
        if (near(item.x, kMargin + 2.1) && near(item.y, detailTop + 69.9) &&
            near(item.width, 181.8) && near(item.height, 0.3))
            cutLine = true;
        if (near(item.x, kMargin + 90.2) && near(item.y, detailTop + 31.8))
            QVERIFY(near(item.width, 80.4) && near(item.height, 34.1));
    }
    QVERIFY(cutLine);
    QCOMPARE(boxes, 2 * 5);
    // The second record starts 74.1 mm lower.
    QVERIFY(near(reportItemsWithText(page, QStringLiteral("Firma 02"))[1].y, names[1].y + 74.1));
}

void TestReportDefinitions::singleRecordReportsPositions()
{
    ContactFixture fx;
    fill(fx.table(), 3);
    fx.table().first();
    fx.table().next();
    TForm6 full([&fx] { return &fx.table(); });
    full.m1->lines = {QStringLiteral("Uwaga pierwsza"), QStringLiteral("Uwaga druga")};
    std::vector<PreparedPage> pages = layOut(full);
    QCOMPARE(pages.size(), size_t(1));
    const double top6 = kMargin + 15.6;
    QVERIFY(
        near(itemWithText(pages[0], QStringLiteral("(wybrane dane z bazy)")).x, kMargin + 74.1));
    QVERIFY(near(itemWithText(pages[0], QStringLiteral("Firma 02")).y, top6 + 2.1));
    QVERIFY(near(itemWithText(pages[0], QStringLiteral("Interner")).y, top6 + 2.1 + 4.23 * 11));
    const PageItem note = itemWithText(pages[0], QStringLiteral("Uwaga pierwsza"));
    QVERIFY(near(note.x, kMargin + 2.1) && near(note.y, top6 + 52.9));
    QVERIFY(reportTexts(pages[0]).contains(QStringLiteral("Uwaga druga")));
    QVERIFY(!reportTexts(pages[0]).contains(QStringLiteral("pozycji")));
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Firma 02"));

    TForm7 variants([&fx] { return &fx.table(); });
    pages = layOut(variants);
    QCOMPARE(pages.size(), size_t(1));
    const double top7 = kMargin + 10.6;
    const QList<PageItem> codes = reportItemsWithText(pages[0], QStringLiteral("00-001"));
    QCOMPARE(codes.size(), 4);
    QVERIFY(near(codes[0].width, 18.5) && near(codes[0].y, top7 + 2.1 + 3 * 6.35));
    QVERIFY(near(codes[2].width, 82.8));
    QVERIFY(near(itemWithText(pages[0], QStringLiteral("Proszę wybrać właściwą")).y, top7 + 88.9));
    QVERIFY(pages[0].items.size() > 20);
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Firma 02"));

    TForm15 history([&fx] { return &fx.table(); });
    history.m1->lines = {QStringLiteral("linia 1"), QStringLiteral("linia 2")};
    pages = layOut(history);
    QVERIFY(near(itemWithText(pages[0], QStringLiteral("Historia użycia programu Kartax2000®")).x,
                 kMargin + 67.7));
    QVERIFY(near(itemWithText(pages[0], QStringLiteral("linia 1")).y, kMargin + 10.6 + 2.1));
    QCOMPARE(history.Report1.title, QString());
}

void TestReportDefinitions::pagesAndCounts_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("fullDataPages");
    QTest::addColumn<int>("labelPages");
    QTest::newRow("0") << 0 << 1 << 1;
    QTest::newRow("1") << 1 << 1 << 1;
    QTest::newRow("4") << 4 << 1 << 2;
    QTest::newRow("5") << 5 << 2 << 2;
    QTest::newRow("13") << 13 << 4 << 5;
}

void TestReportDefinitions::pagesAndCounts()
{
    QFETCH(int, records);
    QFETCH(int, fullDataPages);
    QFETCH(int, labelPages);
    ContactFixture fx;
    fill(fx.table(), records);
    TForm8 full([&fx] { return &fx.table(); });
    TForm14 labels([&fx] { return &fx.table(); });
    const std::vector<PreparedPage> fullPages = layOut(full);
    const std::vector<PreparedPage> labelPagesList = layOut(labels);
    QCOMPARE(int(fullPages.size()), fullDataPages);
    QCOMPARE(int(labelPagesList.size()), labelPages);
    QStringList numbers;
    for (size_t p = 0; p < fullPages.size(); ++p) {
        const QStringList texts = reportTexts(fullPages[p]);
        // The page number follows "strona", the count follows "pozycji".
        QCOMPARE(texts[texts.indexOf(QStringLiteral("strona")) + 1], QString::number(p + 1));
        QCOMPARE(texts[texts.indexOf(QStringLiteral("pozycji")) + 1], QString::number(records));
        for (int i = 0; i < texts.size() - 1; ++i) {
            if (texts[i] == QLatin1String("Lp"))
                numbers << texts[i + 1];
        }
    }
    QStringList expected;
    for (int i = 1; i <= records; ++i)
        expected << QString::number(i);
    if (records > 0)
        QCOMPARE(numbers, expected);
    for (size_t p = 0; p < labelPagesList.size(); ++p) {
        const QStringList texts = reportTexts(labelPagesList[p]);
        QCOMPARE(texts[texts.indexOf(QStringLiteral("stron")) + 1], QString::number(p + 1));
        QCOMPARE(texts[texts.indexOf(QStringLiteral("pozycji")) + 1], QString::number(records));
    }
}

void TestReportDefinitions::emptyTableGivesOnePageWithCaptions()
{
    ContactFixture fx;
    TForm8 full([&fx] { return &fx.table(); });
    TForm14 labels([&fx] { return &fx.table(); });
    const std::vector<PreparedPage> fullPages = layOut(full);
    QCOMPARE(fullPages.size(), size_t(1));
    const QStringList texts = reportTexts(fullPages[0]);
    for (const char *caption : {"Kartax2000®", "Lp", "Nazwa", "Branża", "Telefax", "strona"})
        QVERIFY2(texts.contains(QString::fromUtf8(caption)), caption);
    QCOMPARE(texts[texts.indexOf(QStringLiteral("pozycji")) + 1], QStringLiteral("0"));
    QCOMPARE(texts.count(QStringLiteral("0")), 1); // "Lp" numbers no record
    const std::vector<PreparedPage> labelPagesList = layOut(labels);
    QCOMPARE(labelPagesList.size(), size_t(1));
    QVERIFY(reportTexts(labelPagesList[0]).contains(QStringLiteral("Sz.P.")));
    QCOMPARE(reportTexts(labelPagesList[0]).count(QStringLiteral("0")), 1);
}

void TestReportDefinitions::wideNameCutInBoxesWholeInFullData()
{
    ContactFixture fx;
    const QString wide = QStringLiteral("Przedsiębiorstwo Produkcyjno-Handlowo-Usługowe "
                                        "Wielkopolskie Zakłady Maszyn Rolniczych Sp. z o.o.");
    insertContact(fx.table(), wide);
    TForm14 labels([&fx] { return &fx.table(); });
    const QList<PageItem> boxed = reportItemsWithText(layOut(labels)[0], wide);
    QCOMPARE(boxed.size(), 4);
    QVERIFY(near(boxed[0].width, 57.4));
    QVERIFY(boxed[0].flags & PageItem::Clip);
    QVERIFY(near(boxed[0].height, 4.5)); // one line
    TForm7 variants([&fx] { return &fx.table(); });
    const QList<PageItem> chosen = reportItemsWithText(layOut(variants)[0], wide);
    QVERIFY(near(chosen[0].width, 74.3) && (chosen[0].flags & PageItem::Clip));
    TForm8 full([&fx] { return &fx.table(); });
    const PageItem whole = itemWithText(layOut(full)[0], wide);
    QVERIFY(whole.width > 100.0);
    QVERIFY(!(whole.flags & PageItem::Clip));
}

void TestReportDefinitions::runFollowsIndexInUseAndEndsOnLastRecord()
{
    ContactFixture fx;
    insertContact(fx.table(), QStringLiteral("Alfa"), QStringLiteral("Zegarki"));
    insertContact(fx.table(), QStringLiteral("Beta"), QStringLiteral("Apteki"));
    insertContact(fx.table(), QStringLiteral("Gamma"), QStringLiteral("Meble"));
    incrementalSearch(fx.table(), SearchKind::Branch, QStringLiteral("m"));
    int notified = 0;
    QObject::connect(&fx.table(), &TTable::dataSetChanged, [&notified] { ++notified; });
    TForm8 full([&fx] { return &fx.table(); });
    const QStringList texts = reportTexts(layOut(full)[0]);
    const auto at = [&texts](const char *name) { return texts.indexOf(QLatin1String(name)); };
    QVERIFY(at("Beta") < at("Gamma") && at("Gamma") < at("Alfa"));
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Alfa"));
    QVERIFY(fx.table().atLast());
    // Bound windows were told once, at the end, not at every record.
    QCOMPARE(notified, 1);
}

void TestReportDefinitions::runReadsItsOwnCursorWhileWindowsWork()
{
    ContactFixture fx;
    fill(fx.table(), 12);
    fx.table().first();
    TForm8 full([&fx] { return &fx.table(); });
    TForm14 labels([&fx] { return &fx.table(); });
    ReportPageList sink;
    ReportEngine engine(full.Report1, sink);
    int labelPages = 0;
    engine.yield = [&] {
        if (labelPages > 0)
            return;
        // Mid-run, a window edits the record it shows and another report runs.
        TTable &t = fx.table();
        t.edit();
        t.setFieldText(QStringLiteral("Branza"), QStringLiteral("Zegarki"));
        t.post();
        labelPages = int(layOut(labels).size());
    };
    QCOMPARE(engine.run(), ReportEngine::Outcome::Completed);
    QCOMPARE(labelPages, 4);
    QStringList texts;
    for (const PreparedPage &page : sink.pages)
        texts << reportTexts(page);
    QCOMPARE(texts.filter(QStringLiteral("Firma ")).size(), 12); // not cut short
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Firma 12"));
    fx.table().first();
    QCOMPARE(fx.table().fieldText(QStringLiteral("Branza")), QStringLiteral("Zegarki"));
}

void TestReportDefinitions::printRecordCarriesNotesOfTheMoment()
{
    ProgramFixture fx;
    insertContact(fx.table(), QStringLiteral("Alfa"), {}, {},
                  {"", "", "", "", "", "", "", "", "", "notatka Alfy"});
    insertContact(fx.table(), QStringLiteral("Beta"), {}, {},
                  {"", "", "", "", "", "", "", "", "", "notatka Bety\r\ndruga linia"});
    fx.table().first();
    ReportFakePrinters printers;
    TForm13 &view = *fx.program().object<TForm13>();
    view.SpeedButton3Click();
    fx.table().next();
    view.SpeedButton3Click();
    view.SpeedButton2Click();
    QCOMPARE(printers.jobFiles.size(), 3);
    const auto text = [](const QString &pdf) {
        QProcess process;
        process.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        process.waitForFinished(30000);
        return QString::fromUtf8(process.readAllStandardOutput());
    };
    const QString first = text(printers.jobFiles[0]);
    const QString second = text(printers.jobFiles[1]);
    QVERIFY2(first.contains(QStringLiteral("notatka Alfy")), qPrintable(first));
    QVERIFY(second.contains(QStringLiteral("notatka Bety")));
    QVERIFY(second.contains(QStringLiteral("druga linia")));
    QVERIFY(!second.contains(QStringLiteral("notatka Alfy")));
    QVERIFY(text(printers.jobFiles[2]).contains(QStringLiteral("Proszę wybrać właściwą")));
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Beta"));

    // No printer installed: the user is told, and nothing is printed without a PDF file.
    printers.names.clear();
    printers.defaultName.clear();
    InstalledScriptedDialogs dialogs;
    dialogs->queue(DialogButton::No);
    view.SpeedButton3Click();
    QCOMPARE(printers.jobFiles.size(), 3);
    QCOMPARE(dialogs->pending(), 0);
}

void TestReportDefinitions::historyPrintoutCarriesUnsavedLines()
{
    ProgramFixture fx;
    TForm11 &history = *fx.program().object<TForm11>();
    history.appendLine(QStringLiteral("niezapisana linia"));
    QStringList previewed;
    // Close the preview as soon as it has its pages.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *preview = qobject_cast<StandardPreview *>(widget)) {
                if (preview->isVisible() && preview->pageCount() > 0) {
                    previewed = reportTexts(preview->pages()->page(0));
                    preview->close();
                }
            }
        }
    });
    closer.start(20);
    QMetaObject::invokeMethod(&history, &TForm11::SpeedButton2Click);
    QVERIFY(previewed.contains(QStringLiteral("niezapisana linia")));
    QCOMPARE(fx.program().object<TForm15>()->m1->lines, history.lines());
}

KARTAX_TEST_MAIN(TestReportDefinitions)
#include "tst_report_definitions.moc"
