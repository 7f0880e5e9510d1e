#include "platform/clock.h"
#include "reports/report_engine.h"
#include "reports/report_model.h"
#include "store/data_module.h"
#include "store/table.h"
#include "support/contact_fixture.h"
#include "support/report_fakes.h"

#include <QLocale>
#include <QtTest>
#include <cmath>

namespace {

constexpr double kTolerance = 0.01; // millimetres

bool near(double a, double b)
{
    return std::fabs(a - b) < kTolerance;
}

// A report of the program's page setup: header, detail with a row label, the
// record's name and its running number, and a footer with page number and count.
std::unique_ptr<Report> makeReport(ReportDataSet *data, double header, double detail, double footer,
                                   const QString &field = QStringLiteral("Name"))
{
    auto report = std::make_unique<Report>();
    report->title = QStringLiteral("Test");
    report->setDataSet(data);
    ReportBand &h = report->addBand(BandType::btPageHeader, header);
    h.addLabel(1.0, 0.0, QStringLiteral("HEADER"));
    ReportBand &d = report->addBand(BandType::btDetail, detail);
    d.addLabel(2.1, 2.1, QStringLiteral("Row"));
    d.addDataText(29.6, 2.1, data, field);
    d.addSystemData(29.6, 6.33, SystemDataKind::sdDetailNo);
    ReportBand &f = report->addBand(BandType::btPageFooter, footer);
    f.addLabel(2.1, 2.1, QStringLiteral("FOOTER"));
    f.addSystemData(91.0, 2.1, SystemDataKind::sdPageNumber);
    f.addSystemData(164.0, 2.1, SystemDataKind::sdDetailCount);
    return report;
}

void fill(ReportListData &data, int count)
{
    for (int i = 1; i <= count; ++i)
        data.addRecord({{QStringLiteral("Name"), QStringLiteral("Firma %1").arg(i)}});
}

// The text items of a page whose left edge lies at x, top to bottom.
QStringList textsAt(const PreparedPage &page, double x)
{
    QList<const PageItem *> found;
    for (const PageItem &item : page.items) {
        if (item.kind == PageItem::Kind::Text && near(item.x, x))
            found.append(&item);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const PageItem *a, const PageItem *b) { return a->y < b->y; });
    QStringList texts;
    for (const PageItem *item : found)
        texts.append(item->text);
    return texts;
}

} // namespace

class TestReportEngine : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Clock::setSource(nullptr); }

    void pageBreaks_data();
    void pageBreaks();
    void footerAtFootOfHalfEmptyLastPage();
    void headerAndFooterOptions();
    void bandTallerThanPage();
    void stretchingMemoAcrossThreePages();
    void memoThatFitsAFreshPageMovesWhole();
    void systemDataValues();
    void dateTimeText();
    void progressValues_data();
    void progressValues();
    void cancelStopsTheRun();
    void sameReportDoesNothingWhileBuilding();
    void itemSizingAndOrder();
    void runsOverTheContactTable();
};

void TestReportEngine::pageBreaks_data()
{
    QTest::addColumn<double>("detail");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("perPage");
    // Space for bands on A4 with 10 mm margins, a 13.5 mm header and a 10.6 mm
    // footer: 297 - 10 - 10.6 - 10 - 13.5 = 252.9 mm.
    QTest::newRow("full data: four a page") << 59.3 << 5 << 4;
    QTest::newRow("labels: three a page") << 74.1 << 7 << 3;
    QTest::newRow("exactly one a page") << 252.9 << 3 << 1;
    QTest::newRow("exactly two a page") << 126.45 << 5 << 2;
    QTest::newRow("exactly five a page") << 50.58 << 11 << 5;
    QTest::newRow("a hair too tall for two") << 126.46 << 3 << 1;
}

void TestReportEngine::pageBreaks()
{
    QFETCH(double, detail);
    QFETCH(int, records);
    QFETCH(int, perPage);
    ReportListData data;
    fill(data, records);
    auto report = makeReport(&data, 13.5, detail, 10.6);
    ReportPageList sink;
    ReportEngine engine(*report, sink);
    QCOMPARE(engine.run(), ReportEngine::Outcome::Completed);

    const int pages = (records + perPage - 1) / perPage;
    QCOMPARE(int(sink.pages.size()), pages);
    QCOMPARE(engine.pageCount(), pages);
    int record = 0;
    for (int p = 0; p < pages; ++p) {
        const PreparedPage &page = sink.pages[size_t(p)];
        QCOMPARE(page.width, 210.0f);
        QCOMPARE(page.height, 297.0f);
        const QList<PageItem> rows = reportItemsWithText(page, QStringLiteral("Row"));
        QCOMPARE(rows.size(), std::min(perPage, records - p * perPage));
        for (int k = 0; k < rows.size(); ++k) {
            ++record;
            // Bands one under the other from under the header.
            QVERIFY2(near(rows[k].y, 10.0 + 13.5 + k * detail + 2.1),
                     qPrintable(
                         QStringLiteral("page %1 row %2 at %3").arg(p + 1).arg(k).arg(rows[k].y)));
            QVERIFY(near(rows[k].x, 10.0 + 2.1));
            QCOMPARE(reportItemsWithText(page, QStringLiteral("Firma %1").arg(record)).size(), 1);
        }
        QCOMPARE(textsAt(page, 10.0 + 91.0), QStringList{QString::number(p + 1)});
    }
    QCOMPARE(record, records);
}

void TestReportEngine::footerAtFootOfHalfEmptyLastPage()
{
    ReportListData data;
    fill(data, 5);
    auto report = makeReport(&data, 13.5, 59.3, 10.6);
    ReportPageList sink;
    ReportEngine engine(*report, sink);
    engine.run();
    QCOMPARE(int(sink.pages.size()), 2);
    for (const PreparedPage &page : sink.pages) {
        const QList<PageItem> footer = reportItemsWithText(page, QStringLiteral("FOOTER"));
        QCOMPARE(footer.size(), 1);
        // 297 - 10 (bottom margin) - 10.6 (footer) = 276.4, plus the label's 2.1.
        QVERIFY(near(footer[0].y, 276.4 + 2.1));
        QVERIFY(near(footer[0].x, 12.1));
        const QList<PageItem> header = reportItemsWithText(page, QStringLiteral("HEADER"));
        QCOMPARE(header.size(), 1);
        QVERIFY(near(header[0].y, 10.0));
        QVERIFY(near(header[0].x, 11.0));
        QCOMPARE(textsAt(page, 10.0 + 164.0), QStringList{QStringLiteral("5")});
    }
    // The last page holds one band and keeps its footer at the foot.
    QCOMPARE(reportItemsWithText(sink.pages[1], QStringLiteral("Row")).size(), 1);
    QCOMPARE(textsAt(sink.pages[1], 10.0 + 29.6),
             (QStringList{QStringLiteral("Firma 5"), QStringLiteral("5")}));
}

void TestReportEngine::headerAndFooterOptions()
{
    ReportListData data;
    fill(data, 5);
    auto report = makeReport(&data, 13.5, 59.3, 10.6);
    report->options.firstPageHeader = false;
    report->options.lastPageFooter = false;
    ReportPageList sink;
    ReportEngine engine(*report, sink);
    engine.run();
    // Without the header page 1 starts at the top margin and so holds four bands
    // still (252.9 + 13.5 = 266.4 mm of space).
    QCOMPARE(int(sink.pages.size()), 2);
    QCOMPARE(reportItemsWithText(sink.pages[0], QStringLiteral("HEADER")).size(), 0);
    QVERIFY(near(reportItemsWithText(sink.pages[0], QStringLiteral("Row"))[0].y, 12.1));
    QCOMPARE(reportItemsWithText(sink.pages[1], QStringLiteral("HEADER")).size(), 1);
    QCOMPARE(reportItemsWithText(sink.pages[0], QStringLiteral("FOOTER")).size(), 1);
    QCOMPARE(reportItemsWithText(sink.pages[1], QStringLiteral("FOOTER")).size(), 0);
}

void TestReportEngine::bandTallerThanPage()
{
    ReportListData data;
    fill(data, 2);
    // 290 mm is more than the 277 mm between the margins: no page can hold it.
    auto report = makeReport(&data, 13.5, 290.0, 10.6);
    ReportPageList sink;
    ReportEngine engine(*report, sink);
    engine.run();
    QCOMPARE(int(sink.pages.size()), 2);
    for (int p = 0; p < 2; ++p) {
        const PreparedPage &page = sink.pages[size_t(p)];
        const QList<PageItem> rows = reportItemsWithText(page, QStringLiteral("Row"));
        QCOMPARE(rows.size(), 1);
        // Printed where it stands, under the header, with no page of its own first.
        QVERIFY(near(rows[0].y, 23.5 + 2.1));
        QCOMPARE(reportItemsWithText(page, QStringLiteral("Firma %1").arg(p + 1)).size(), 1);
        QVERIFY(near(reportItemsWithText(page, QStringLiteral("FOOTER"))[0].y, 278.5));
    }

    // Taller than the space under the header, but not than the page: a new page,
    // even though that page cannot hold it either.
    ReportListData one;
    fill(one, 1);
    auto tall = makeReport(&one, 13.5, 260.0, 10.6);
    ReportPageList tallSink;
    ReportEngine tallEngine(*tall, tallSink);
    tallEngine.run();
    QCOMPARE(int(tallSink.pages.size()), 2);
    QCOMPARE(reportItemsWithText(tallSink.pages[0], QStringLiteral("Row")).size(), 0);
    QCOMPARE(reportItemsWithText(tallSink.pages[1], QStringLiteral("Row")).size(), 1);
}

void TestReportEngine::stretchingMemoAcrossThreePages()
{
    auto report = std::make_unique<Report>();
    report->addBand(BandType::btPageHeader, 10.6).addLabel(67.7, 2.1, QStringLiteral("History"));
    ReportItem &memo = report->addBand(BandType::btDetail, 7.1)
                           .addMemo(2.1, 2.1, 180.0, 4.5, QStringLiteral("m1"));
    report->addBand(BandType::btPageFooter, 8.5)
        .addSystemData(101.6, 2.1, SystemDataKind::sdPageNumber);
    QCOMPARE(report->item(QStringLiteral("M1")), &memo);

    const double pitch = ReportEngine::lineHeight(report->font);
    QVERIFY(pitch > 3.5 && pitch < 5.0);
    const double footerTop = 297.0 - 10.0 - 8.5;
    const int firstPage = int(std::floor((footerTop - (10.0 + 10.6 + 2.1)) / pitch + 1e-6));
    const int nextPages = int(std::floor((footerTop - (10.0 + 10.6)) / pitch + 1e-6));
    const int lines = firstPage + nextPages + 7;
    for (int i = 1; i <= lines; ++i)
        memo.lines << QStringLiteral("Line %1 of the history").arg(i);

    ReportPageList sink;
    ReportEngine engine(*report, sink);
    QCOMPARE(engine.run(), ReportEngine::Outcome::Completed);
    QCOMPARE(int(sink.pages.size()), 3);

    QStringList printed;
    const int expectedPerPage[] = {firstPage, nextPages, 7};
    for (int p = 0; p < 3; ++p) {
        const PreparedPage &page = sink.pages[size_t(p)];
        QStringList onPage;
        double previous = -1;
        for (const PageItem &item : page.items) {
            if (item.kind != PageItem::Kind::Text || !item.text.startsWith(QLatin1String("Line ")))
                continue;
            onPage << item.text;
            QVERIFY(item.y > previous);
            previous = item.y;
            QVERIFY2(item.y + pitch <= footerTop + kTolerance, qPrintable(item.text));
            QVERIFY(near(item.x, 12.1));
        }
        QCOMPARE(onPage.size(), expectedPerPage[p]);
        // Continued lines start right under the header.
        const double firstTop = p == 0 ? 22.7 : 20.6;
        QVERIFY(near(reportItemsWithText(page, onPage.first())[0].y, firstTop));
        QCOMPARE(reportItemsWithText(page, QStringLiteral("History")).size(), 1);
        QCOMPARE(textsAt(page, 111.6), QStringList{QString::number(p + 1)});
        printed << onPage;
    }
    QStringList expected;
    for (int i = 1; i <= lines; ++i)
        expected << QStringLiteral("Line %1 of the history").arg(i);
    QCOMPARE(printed, expected);
}

void TestReportEngine::memoThatFitsAFreshPageMovesWhole()
{
    ReportListData data;
    fill(data, 4);
    auto report = makeReport(&data, 13.5, 59.3, 10.6);
    ReportItem &memo =
        report->band(BandType::btDetail)->addMemo(2.1, 52.9, 150.0, 4.5, QStringLiteral("m1"));
    memo.lines << QStringLiteral("one") << QStringLiteral("two") << QStringLiteral("three");
    ReportPageList sink;
    ReportEngine engine(*report, sink);
    engine.run();
    // Each band grows by two lines, so the fourth no longer fits on page 1.
    QCOMPARE(int(sink.pages.size()), 2);
    QCOMPARE(reportItemsWithText(sink.pages[0], QStringLiteral("Row")).size(), 3);
    QCOMPARE(reportItemsWithText(sink.pages[0], QStringLiteral("three")).size(), 3);
    QCOMPARE(reportItemsWithText(sink.pages[1], QStringLiteral("one")).size(), 1);
    QVERIFY(near(reportItemsWithText(sink.pages[1], QStringLiteral("one"))[0].y, 23.5 + 52.9));

    // A long line wraps at the memo's fixed width.
    memo.setFixedWidth(150.0);
    memo.lines = QStringList{QString(QStringLiteral("word ")).repeated(80).trimmed()};
    ReportPageList wrapped;
    ReportEngine again(*report, wrapped);
    again.run();
    const PreparedPage &page = wrapped.pages[0];
    int wrappedLines = 0;
    for (const PageItem &item : page.items) {
        if (item.kind == PageItem::Kind::Text && item.text.startsWith(QLatin1String("word"))) {
            ++wrappedLines;
            QVERIFY(ReportEngine::textWidth(report->font, item.text) <= 150.0 + kTolerance);
        }
    }
    QVERIFY(wrappedLines >= 4 * 2);
}

void TestReportEngine::systemDataValues()
{
    // An empty table: the band once with empty values and no running number, the count 0.
    ReportListData empty;
    auto report = makeReport(&empty, 13.5, 59.3, 10.6);
    ReportPageList sink;
    ReportEngine engine(*report, sink);
    QCOMPARE(engine.run(), ReportEngine::Outcome::Completed);
    QCOMPARE(int(sink.pages.size()), 1);
    QCOMPARE(reportItemsWithText(sink.pages[0], QStringLiteral("Row")).size(), 1);
    QCOMPARE(textsAt(sink.pages[0], 10.0 + 164.0), QStringList{QStringLiteral("0")});
    QCOMPARE(textsAt(sink.pages[0], 10.0 + 91.0), QStringList{QStringLiteral("1")});
    QCOMPARE(textsAt(sink.pages[0], 10.0 + 29.6), QStringList());

    // Without a table: the band once, count and running number 1.
    auto noTable = makeReport(nullptr, 13.5, 59.3, 10.6);
    ReportPageList noTableSink;
    ReportEngine noTableEngine(*noTable, noTableSink);
    noTableEngine.run();
    QCOMPARE(int(noTableSink.pages.size()), 1);
    QCOMPARE(textsAt(noTableSink.pages[0], 10.0 + 164.0), QStringList{QStringLiteral("1")});
    QCOMPARE(textsAt(noTableSink.pages[0], 10.0 + 29.6), QStringList{QStringLiteral("1")});

    // A count the table cannot tell reads 1; running numbers still count records.
    ReportListData unknown;
    fill(unknown, 3);
    unknown.reportedCount = -1;
    auto unknownReport = makeReport(&unknown, 13.5, 59.3, 10.6);
    ReportPageList unknownSink;
    ReportEngine unknownEngine(*unknownReport, unknownSink);
    unknownEngine.run();
    QCOMPARE(textsAt(unknownSink.pages[0], 10.0 + 164.0), QStringList{QStringLiteral("1")});
    QCOMPARE(textsAt(unknownSink.pages[0], 10.0 + 29.6),
             (QStringList{QStringLiteral("Firma 1"), QStringLiteral("1"), QStringLiteral("Firma 2"),
                          QStringLiteral("2"), QStringLiteral("Firma 3"), QStringLiteral("3")}));

    // The date and time of the run in the header.
    Clock::setSource([] { return QDateTime(QDate(2024, 3, 5), QTime(0, 0)); });
    noTable->band(BandType::btPageHeader)->addSystemData(150.0, 2.1, SystemDataKind::sdDateTime);
    ReportPageList dated;
    ReportEngine datedEngine(*noTable, dated);
    datedEngine.run();
    QCOMPARE(textsAt(dated.pages[0], 160.0),
             QStringList{QLocale::system().toString(QDate(2024, 3, 5), QLocale::ShortFormat)});
}

void TestReportEngine::dateTimeText()
{
    const QLocale locale = QLocale::system();
    const QString date = locale.toString(QDate(2024, 3, 5), QLocale::ShortFormat);
    QCOMPARE(ReportEngine::dateTimeText(QDateTime(QDate(2024, 3, 5), QTime(0, 0))), date);
    const QString withTime =
        ReportEngine::dateTimeText(QDateTime(QDate(2024, 3, 5), QTime(13, 45, 10)));
    QVERIFY2(withTime.startsWith(date + QLatin1Char(' ')), qPrintable(withTime));
    QVERIFY2(withTime.contains(QLatin1String("13")) && withTime.contains(QLatin1String("45")) &&
                 withTime.contains(QLatin1String("10")),
             qPrintable(withTime));
    // One second past midnight is not midnight.
    QVERIFY(ReportEngine::dateTimeText(QDateTime(QDate(2024, 3, 5), QTime(0, 0, 1))) != date);
}

void TestReportEngine::progressValues_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("table");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("eight records") << 8 << true << QList<int>{12, 25, 37, 50, 62, 75, 87, 100};
    QTest::newRow("three records") << 3 << true << QList<int>{33, 66, 100};
    QTest::newRow("two hundred records") << 200 << true << QList<int>{};
    QTest::newRow("empty table") << 0 << true << QList<int>{100};
    QTest::newRow("no table") << 0 << false << QList<int>{100};
}

void TestReportEngine::progressValues()
{
    QFETCH(int, records);
    QFETCH(bool, table);
    QFETCH(QList<int>, expected);
    ReportListData data;
    fill(data, records);
    auto report = makeReport(table ? &data : nullptr, 13.5, 10.0, 10.6);
    ReportPageList sink;
    ReportEngine engine(*report, sink);
    QList<int> seen;
    engine.progress = [&seen](int percent) { seen << percent; };
    engine.run();
    if (records == 200) {
        // Two records a per cent: each whole value once, in order.
        QCOMPARE(seen.size(), 100);
        for (int i = 0; i < 100; ++i)
            QCOMPARE(seen[i], i + 1);
    } else {
        QCOMPARE(seen, expected);
    }
}

void TestReportEngine::cancelStopsTheRun()
{
    ReportListData data;
    fill(data, 8);
    auto report = makeReport(&data, 13.5, 59.3, 10.6);
    ReportPageList sink;
    ReportEngine engine(*report, sink);
    engine.progress = [&engine](int percent) {
        if (percent >= 50)
            engine.cancel();
    };
    QCOMPARE(engine.run(), ReportEngine::Outcome::Cancelled);
    QVERIFY(!report->building());
    // Four records laid out, then no more.
    QCOMPARE(int(sink.pages.size()), 1);
    QCOMPARE(textsAt(sink.pages[0], 10.0 + 29.6).size(), 8);
    QCOMPARE(data.position, 4);

    // A later run starts afresh.
    engine.progress = nullptr;
    ReportPageList again;
    ReportEngine second(*report, again);
    QCOMPARE(second.run(), ReportEngine::Outcome::Completed);
    QCOMPARE(int(again.pages.size()), 2);
}

void TestReportEngine::sameReportDoesNothingWhileBuilding()
{
    ReportListData data;
    fill(data, 3);
    auto report = makeReport(&data, 13.5, 59.3, 10.6);
    ReportPageList sink;
    ReportEngine engine(*report, sink);
    engine.yieldInterval = 0;
    QList<ReportEngine::Outcome> nested;
    engine.yield = [&] {
        QVERIFY(report->building());
        ReportPageList other;
        ReportEngine inner(*report, other);
        nested << inner.run();
        QCOMPARE(int(other.pages.size()), 0);
    };
    QCOMPARE(engine.run(), ReportEngine::Outcome::Completed);
    QVERIFY(!nested.isEmpty());
    for (ReportEngine::Outcome outcome : std::as_const(nested))
        QCOMPARE(outcome, ReportEngine::Outcome::Busy);
    QVERIFY(!report->building());
    QCOMPARE(int(sink.pages.size()), 1);
}

void TestReportEngine::itemSizingAndOrder()
{
    ReportListData data;
    data.addRecord(
        {{QStringLiteral("Name"), QStringLiteral("A very long company name that runs on")}});
    auto report = std::make_unique<Report>();
    report->setDataSet(&data);
    ReportBand &band = report->addBand(BandType::btDetail, 30.0);
    band.addLabel(19.1, 2.1, QStringLiteral("Sz.P."));
    band.addDataText(19.1, 6.33, &data, QStringLiteral("Name")).setFixedWidth(20.0);
    band.addDataText(19.1, 10.56, &data, QStringLiteral("Name"));
    band.addLabel(0.0, 20.0, QStringLiteral("right")).setAlignment(Qt::AlignRight).width = 50.0;
    band.addShape(16.9, 0.0, 61.6, 29.9);
    ReportPageList sink;
    ReportEngine engine(*report, sink);
    engine.run();
    const PreparedPage &page = sink.pages.at(0);
    // The box comes first so that the texts inside it stay on top.
    QCOMPARE(page.items.front().kind, PageItem::Kind::Box);
    QVERIFY(near(page.items.front().x, 26.9));
    QVERIFY(near(page.items.front().width, 61.6));
    QVERIFY(near(page.items.front().height, 29.9));

    const QList<PageItem> names =
        reportItemsWithText(page, QStringLiteral("A very long company name that runs on"));
    QCOMPARE(names.size(), 2);
    const double full = ReportEngine::textWidth(report->font, names[0].text);
    QVERIFY(full > 20.0);
    // The fixed-width text keeps its width and is cut off; the other grows.
    QVERIFY(near(names[0].width, 20.0));
    QVERIFY(names[0].flags & PageItem::Clip);
    QVERIFY(near(names[1].width, full));
    QVERIFY(!(names[1].flags & PageItem::Clip));
    QVERIFY(near(names[0].height, 4.5));

    const PageItem right = reportItemsWithText(page, QStringLiteral("right")).at(0);
    QVERIFY(near(right.x + right.width, 10.0 + 50.0));
    const PageItem label = reportItemsWithText(page, QStringLiteral("Sz.P.")).at(0);
    QVERIFY(near(label.width, ReportEngine::textWidth(report->font, QStringLiteral("Sz.P."))));
    QVERIFY(sink.table.at(label.style).filled);
    QCOMPARE(sink.table.at(label.style).fillColor, QColor(Qt::white).rgba());
    QCOMPARE(sink.table.at(label.style).family, QStringLiteral("Arial"));
}

void TestReportEngine::runsOverTheContactTable()
{
    ContactFixture fixture;
    fixture.open();
    fixture.add(QStringLiteral("Żuraw"), QStringLiteral("Budownictwo"));
    fixture.add(QStringLiteral("Alfa"), QStringLiteral("Handel"));
    fixture.add(QStringLiteral("Łódź Trans"), QStringLiteral("Transport"));
    fixture.add(QStringLiteral("Beta"));
    fixture.add(QStringLiteral("Ćma"));
    TTable &table = fixture.table();
    table.first();
    table.next(); // somewhere in the middle

    TableDataSet contacts(&table);
    auto report = makeReport(&contacts, 13.5, 59.3, 10.6, QStringLiteral("Nazwa"));
    report->band(BandType::btDetail)->addDataText(100.0, 2.1, &contacts, QStringLiteral("Branza"));
    ReportPageList sink;
    ReportEngine engine(*report, sink);
    QCOMPARE(engine.run(), ReportEngine::Outcome::Completed);
    QCOMPARE(int(sink.pages.size()), 2);
    const QStringList names =
        textsAt(sink.pages[0], 10.0 + 29.6) + textsAt(sink.pages[1], 10.0 + 29.6);
    QCOMPARE(names,
             (QStringList{QStringLiteral("Alfa"), QStringLiteral("1"), QStringLiteral("Beta"),
                          QStringLiteral("2"), QStringLiteral("Ćma"), QStringLiteral("3"),
                          QStringLiteral("Łódź Trans"), QStringLiteral("4"),
                          QStringLiteral("Żuraw"), QStringLiteral("5")}));
    QCOMPARE(textsAt(sink.pages[1], 110.0), QStringList{QStringLiteral("Budownictwo")});
    QCOMPARE(textsAt(sink.pages[0], 10.0 + 164.0), QStringList{QStringLiteral("5")});
    // The shared cursor is left on the last record.
    QCOMPARE(table.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Żuraw"));
    QVERIFY(table.atLast());

    // A report without a table prints the current record and leaves the cursor.
    table.first();
    table.next();
    const qint64 current = table.recordId();
    auto single = makeReport(nullptr, 13.5, 59.3, 10.6, QStringLiteral("Nazwa"));
    single->band(BandType::btDetail)->addDataText(100.0, 2.1, &contacts, QStringLiteral("Nazwa"));
    ReportPageList singleSink;
    ReportEngine singleEngine(*single, singleSink);
    singleEngine.run();
    QCOMPARE(textsAt(singleSink.pages[0], 110.0), QStringList{QStringLiteral("Beta")});
    QCOMPARE(table.recordId(), current);
}

QTEST_MAIN(TestReportEngine)
#include "tst_report_engine.moc"
