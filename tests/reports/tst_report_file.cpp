#include "reports/byte_io.h"
#include "reports/prepared_pages.h"
#include "reports/report_engine.h"
#include "reports/report_file.h"
#include "reports/report_model.h"
#include "support/report_fakes.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// Pages of a small report: two pages with texts, a box, Polish letters and a clipped text.
std::unique_ptr<PreparedPages> samplePages()
{
    ReportListData data;
    for (int i = 1; i <= 5; ++i)
        data.addRecord({{QStringLiteral("Nazwa"), QStringLiteral("Zakład „Łąka” nr %1").arg(i)}});
    Report report;
    report.title = QStringLiteral("Pełne dane");
    report.setDataSet(&data);
    report.addBand(BandType::btPageHeader, 13.5)
        .addLabel(82.6, 2.1, QStringLiteral("Kartax2000®"))
        .setFontSize(14);
    ReportBand &detail = report.addBand(BandType::btDetail, 59.3);
    detail.addShape(16.9, 0.0, 61.6, 29.9);
    detail.addLabel(2.1, 2.1, QStringLiteral("Nazwa"));
    detail.addDataText(29.6, 2.1, &data, QStringLiteral("Nazwa")).setFixedWidth(20.0);
    report.addBand(BandType::btPageFooter, 10.6)
        .addLabel(2.1, 2.1, QStringLiteral("stopka"))
        .setItalic()
        .setFontSize(8);
    auto pages = std::make_unique<PreparedPages>();
    pages->title = report.title;
    ReportEngine engine(report, *pages);
    engine.run();
    return pages;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void writeAll(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

bool samePages(const PreparedPages &a, const PreparedPages &b)
{
    if (a.pageCount() != b.pageCount() || a.title != b.title ||
        a.styles().all() != b.styles().all())
        return false;
    for (int i = 0; i < a.pageCount(); ++i) {
        if (a.encodedPage(i) != b.encodedPage(i))
            return false;
    }
    return true;
}

// Offsets in a saved file, for crafted damage.
constexpr int kVersionOffset = 8;
constexpr int kTitleLengthOffset = 12;

} // namespace

class TestReportFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void roundTrip();
    void spoolKeepsPages();
    void notAReportFile();
    void newerVersion();
    void truncatedAnywhere();
    void corruptedAnywhere();
    void craftedCounts_data();
    void craftedCounts();
    void craftedPage_data();
    void craftedPage();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // A valid file whose single page is replaced by the given page bytes.
    QByteArray withPage(const QByteArray &page) const;

    QTemporaryDir m_dir;
};

void TestReportFile::roundTrip()
{
    auto pages = samplePages();
    QCOMPARE(pages->pageCount(), 2);
    const IoResult saved = ReportFile::save(*pages, path(QStringLiteral("a.KRP")));
    QVERIFY2(saved.ok, qPrintable(saved.error));
    ReportFile::LoadResult read = ReportFile::load(path(QStringLiteral("a.KRP")));
    QVERIFY2(read.pages, qPrintable(read.error));
    const PreparedPages *loaded = read.pages.get();
    QVERIFY(samePages(*pages, *loaded));
    QCOMPARE(loaded->title, QStringLiteral("Pełne dane"));
    const PreparedPage page = loaded->page(0);
    QCOMPARE(reportItemsWithText(page, QStringLiteral("Kartax2000®")).size(), 1);
    QCOMPARE(reportItemsWithText(page, QStringLiteral("Zakład „Łąka” nr 1")).size(), 1);
    QVERIFY(reportItemsWithText(page, QStringLiteral("Zakład „Łąka” nr 1"))[0].flags &
            PageItem::Clip);
    QCOMPARE(loaded->page(1).items.size(), pages->page(1).items.size());

    // Saving the loaded pages gives the same file again.
    QVERIFY(ReportFile::save(*loaded, path(QStringLiteral("b.KRP"))).ok);
    QCOMPARE(readAll(path(QStringLiteral("b.KRP"))), readAll(path(QStringLiteral("a.KRP"))));
}

void TestReportFile::spoolKeepsPages()
{
    PreparedPages pages;
    QSignalSpy added(&pages, &PreparedPages::pageAdded);
    ItemStyle style;
    style.family = QStringLiteral("Arial");
    const quint16 index = pages.styles().intern(style);
    QCOMPARE(pages.styles().intern(style), index);
    for (int p = 0; p < 20; ++p) {
        PreparedPage page;
        for (int i = 0; i <= p; ++i) {
            PageItem item;
            item.style = index;
            item.x = float(i);
            item.y = float(p);
            item.width = 10;
            item.height = 4.5f;
            item.text = QStringLiteral("p%1 i%2").arg(p).arg(i);
            page.items.push_back(item);
        }
        pages.addPage(page);
    }
    QCOMPARE(added.size(), 20);
    QCOMPARE(added.last().at(0).toInt(), 20);
    // Read back out of order, past the cache.
    for (int p : {19, 0, 7, 13, 2, 19, 5}) {
        const PreparedPage page = pages.page(p);
        QCOMPARE(int(page.items.size()), p + 1);
        QCOMPARE(page.items.back().text, QStringLiteral("p%1 i%2").arg(p).arg(p));
        QCOMPARE(page.items.back().y, float(p));
    }
}

void TestReportFile::notAReportFile()
{
    writeAll(path(QStringLiteral("text.KRP")), "Historia użycia programu\r\n");
    ReportFile::LoadResult loaded = ReportFile::load(path(QStringLiteral("text.KRP")));
    QVERIFY(!loaded.pages);
    QCOMPARE(loaded.error, QStringLiteral("The file is not a Kartax2000 report file."));
    writeAll(path(QStringLiteral("empty.KRP")), QByteArray());
    loaded = ReportFile::load(path(QStringLiteral("empty.KRP")));
    QVERIFY(!loaded.pages);
    QCOMPARE(loaded.error, QStringLiteral("The file is not a Kartax2000 report file."));
    loaded = ReportFile::load(path(QStringLiteral("missing.KRP")));
    QVERIFY(!loaded.pages);
    QVERIFY(loaded.error.startsWith(QLatin1String("The report file cannot be opened")));
}

void TestReportFile::newerVersion()
{
    auto pages = samplePages();
    QVERIFY(ReportFile::save(*pages, path(QStringLiteral("v.KRP"))).ok);
    QByteArray data = readAll(path(QStringLiteral("v.KRP")));
    data[kVersionOffset] = char(ReportFile::kFormatVersion + 1);
    writeAll(path(QStringLiteral("v2.KRP")), data);
    const ReportFile::LoadResult loaded = ReportFile::load(path(QStringLiteral("v2.KRP")));
    QVERIFY(!loaded.pages);
    QVERIFY2(loaded.error.contains(QLatin1String("newer version")), qPrintable(loaded.error));
    QVERIFY(loaded.error.contains(QLatin1String("format 2")));
}

void TestReportFile::truncatedAnywhere()
{
    auto pages = samplePages();
    QVERIFY(ReportFile::save(*pages, path(QStringLiteral("t.KRP"))).ok);
    const QByteArray data = readAll(path(QStringLiteral("t.KRP")));
    // Every cut of the file fails with a message and never crashes.
    for (qsizetype size = 0; size < data.size(); size += (size < 600 ? 1 : 37)) {
        writeAll(path(QStringLiteral("cut.KRP")), data.left(size));
        const ReportFile::LoadResult cut = ReportFile::load(path(QStringLiteral("cut.KRP")));
        QVERIFY2(!cut.pages, qPrintable(QString::number(size)));
        QVERIFY(!cut.error.isEmpty());
    }
    writeAll(path(QStringLiteral("cut.KRP")), data.left(data.size() - 1));
    ReportFile::LoadResult loaded = ReportFile::load(path(QStringLiteral("cut.KRP")));
    QVERIFY(!loaded.pages);
    QCOMPARE(loaded.error, QStringLiteral("The report file is incomplete and cannot be loaded."));
    // Data after the last page is damage too.
    writeAll(path(QStringLiteral("long.KRP")), data + "x");
    loaded = ReportFile::load(path(QStringLiteral("long.KRP")));
    QVERIFY(!loaded.pages);
    QVERIFY(loaded.error.contains(QLatin1String("damaged")));
}

void TestReportFile::corruptedAnywhere()
{
    auto pages = samplePages();
    QVERIFY(ReportFile::save(*pages, path(QStringLiteral("c.KRP"))).ok);
    const QByteArray data = readAll(path(QStringLiteral("c.KRP")));
    // Any changed byte is found by a check or a checksum.
    for (qsizetype at = 0; at < data.size(); at += (at < 400 ? 1 : 13)) {
        QByteArray bad = data;
        bad[at] = char(bad[at] ^ 0x5a);
        writeAll(path(QStringLiteral("bad.KRP")), bad);
        const ReportFile::LoadResult loaded = ReportFile::load(path(QStringLiteral("bad.KRP")));
        QVERIFY2(!loaded.pages, qPrintable(QString::number(at)));
        QVERIFY(!loaded.error.isEmpty());
    }
}

void TestReportFile::craftedCounts_data()
{
    QTest::addColumn<int>("offsetFromTitleEnd"); // -1: the title length itself
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("huge title") << -1 << 0xffffffffu << QStringLiteral("damaged");
    QTest::newRow("title past the end") << -1 << 60000u << QStringLiteral("incomplete");
    QTest::newRow("huge style count") << 0 << 0x7fffffffu << QStringLiteral("damaged");
    QTest::newRow("styles past the end") << 0 << 60000u << QStringLiteral("incomplete");
}

void TestReportFile::craftedCounts()
{
    QFETCH(int, offsetFromTitleEnd);
    QFETCH(quint32, value);
    QFETCH(QString, message);
    auto pages = samplePages();
    QVERIFY(ReportFile::save(*pages, path(QStringLiteral("k.KRP"))).ok);
    QByteArray data = readAll(path(QStringLiteral("k.KRP")));
    const quint32 titleBytes = qFromLittleEndian<quint32>(data.constData() + kTitleLengthOffset);
    const qsizetype at = offsetFromTitleEnd < 0
                             ? kTitleLengthOffset
                             : kTitleLengthOffset + 4 + qsizetype(titleBytes) + offsetFromTitleEnd;
    qToLittleEndian(value, data.data() + at);
    writeAll(path(QStringLiteral("k2.KRP")), data);
    const ReportFile::LoadResult loaded = ReportFile::load(path(QStringLiteral("k2.KRP")));
    QVERIFY(!loaded.pages);
    QVERIFY2(loaded.error.contains(message), qPrintable(loaded.error));
}

QByteArray TestReportFile::withPage(const QByteArray &page) const
{
    ItemStyle style;
    style.family = QStringLiteral("Arial");
    style.pointSize = 10;
    ByteWriter out;
    out.bytes(QByteArray("KAXRPT\r\n", 8));
    out.u16(1);
    out.u16(0);
    out.string(QStringLiteral("t"));
    out.u32(1);
    out.bytes(PageCodec::encodeStyle(style));
    out.u32(1);
    out.u32(crc32(out.data()));
    out.u32(quint32(page.size()));
    out.u32(crc32(page));
    out.bytes(page);
    return out.take();
}

void TestReportFile::craftedPage_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("message");
    const auto page = [](quint32 count, const std::function<void(ByteWriter &)> &items,
                         float width = 210, float height = 297) {
        ByteWriter w;
        w.f32(width);
        w.f32(height);
        w.u32(count);
        if (items)
            items(w);
        return w.take();
    };
    const auto item = [](ByteWriter &w, quint8 kind, quint16 style, float x, float width) {
        w.u8(kind);
        w.u8(0);
        w.u16(style);
        w.f32(x);
        w.f32(10);
        w.f32(width);
        w.f32(4.5f);
    };
    QTest::newRow("sound page") << page(1, [&](ByteWriter &w) { item(w, 2, 0, 10, 20); })
                                << QString();
    QTest::newRow("huge item count") << page(0x40000000u, nullptr) << QStringLiteral("item count");
    QTest::newRow("negative page size")
        << page(0, nullptr, -210, 297) << QStringLiteral("page size");
    QTest::newRow("infinite page size")
        << page(0, nullptr, std::numeric_limits<float>::infinity(), 297)
        << QStringLiteral("page size");
    QTest::newRow("negative width")
        << page(1, [&](ByteWriter &w) { item(w, 2, 0, 10, -5); }) << QStringLiteral("measures");
    QTest::newRow("not a number") << page(1, [&](ByteWriter &w) {
        item(w, 2, 0, std::numeric_limits<float>::quiet_NaN(), 5);
    }) << QStringLiteral("measures");
    QTest::newRow("unknown style")
        << page(1, [&](ByteWriter &w) { item(w, 2, 7, 10, 5); }) << QStringLiteral("style 7");
    QTest::newRow("unknown kind") << page(1, [&](ByteWriter &w) { item(w, 9, 0, 10, 5); })
                                  << QStringLiteral("kind 9");
    QTest::newRow("text past the end") << page(1, [&](ByteWriter &w) {
        item(w, 1, 0, 10, 5);
        w.f32(0);
        w.u32(0x7ffffff0u);
        w.bytes("abc");
    }) << QStringLiteral("text longer");
    QTest::newRow("text cut short") << page(1, [&](ByteWriter &w) {
        item(w, 1, 0, 10, 5);
        w.f32(0);
    }) << QStringLiteral("text record");
    QTest::newRow("trailing bytes")
        << page(0, [&](ByteWriter &w) { w.u8(1); }) << QStringLiteral("after the last item");
}

void TestReportFile::craftedPage()
{
    QFETCH(QByteArray, page);
    QFETCH(QString, message);
    writeAll(path(QStringLiteral("p.KRP")), withPage(page));
    ReportFile::LoadResult loaded = ReportFile::load(path(QStringLiteral("p.KRP")));
    if (message.isEmpty()) {
        QVERIFY2(loaded.pages, qPrintable(loaded.error));
        QCOMPARE(loaded.pages->pageCount(), 1);
        return;
    }
    QVERIFY(!loaded.pages);
    QVERIFY2(loaded.error.contains(message), qPrintable(loaded.error));
    QVERIFY(loaded.error.startsWith(QLatin1String("The report file is damaged")));

    // A page length beyond the file is found before anything is read.
    QByteArray data = withPage(page);
    qToLittleEndian<quint32>(0xfffffff0u, data.data() + data.size() - page.size() - 8);
    writeAll(path(QStringLiteral("p2.KRP")), data);
    loaded = ReportFile::load(path(QStringLiteral("p2.KRP")));
    QVERIFY(!loaded.pages);
    QCOMPARE(loaded.error, QStringLiteral("The report file is incomplete and cannot be loaded."));
}

QTEST_MAIN(TestReportFile)
#include "tst_report_file.moc"
