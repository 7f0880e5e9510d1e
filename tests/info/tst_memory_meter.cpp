#include "info/about_window.h"
#include "platform/memory_status.h"

#include <QTemporaryDir>
#include <QTest>

// The memory figures of the system and their text in the About window's meter.
class TestMemoryMeter final : public QObject
{
    Q_OBJECT

private slots:
    void formatsMemorySizes_data();
    void formatsMemorySizes();
    void parsesMemInfo_data();
    void parsesMemInfo();
    void readsTheSystemsFigures();
    void reportsAnUnreadableFile();
};

void TestMemoryMeter::formatsMemorySizes_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("withPoint");
    QTest::addColumn<QString>("withComma");

    QTest::newRow("half a megabyte") << qint64(524288) << "512.0 KB"
                                     << "512,0 KB";
    QTest::newRow("exactly 1 MB stays in KB") << qint64(1048576) << "1024.0 KB"
                                              << "1024,0 KB";
    QTest::newRow("one byte over 1 MB") << qint64(1048577) << "1.0 MB"
                                        << "1,0 MB";
    QTest::newRow("one and a half MB") << qint64(1572864) << "1.5 MB"
                                       << "1,5 MB";
    QTest::newRow("64 MB") << qint64(67108864) << "64.0 MB"
                           << "64,0 MB";
    QTest::newRow("2 GB, past a signed 32-bit count") << qint64(2147483648) << "2048.0 MB"
                                                      << "2048,0 MB";
    QTest::newRow("4 GB and a half MB over") << qint64(4294967296) + 524288 << "4096.5 MB"
                                             << "4096,5 MB";
    QTest::newRow("64 GB") << qint64(68719476736) << "65536.0 MB"
                           << "65536,0 MB";
    QTest::newRow("rounded to one decimal") << qint64(1048576 + 104858 * 4) << "1.4 MB"
                                            << "1,4 MB";
    QTest::newRow("nothing") << qint64(0) << "0.0 KB"
                             << "0,0 KB";
}

void TestMemoryMeter::formatsMemorySizes()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, withPoint);
    QFETCH(QString, withComma);

    QCOMPARE(FormatMemSize(bytes, QLocale(QLocale::English, QLocale::UnitedStates)), withPoint);
    // Polish groups thousands with a space; the meter never groups.
    QCOMPARE(FormatMemSize(bytes, QLocale(QLocale::Polish, QLocale::Poland)), withComma);

    // Without a locale given, the system's (here: the default) locale applies.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    const QString byDefault = FormatMemSize(bytes);
    QLocale::setDefault(saved);
    QCOMPARE(byDefault, withComma);
}

void TestMemoryMeter::parsesMemInfo_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("available");
    QTest::addColumn<qint64>("total");

    QTest::newRow("a 64 GB machine") << QByteArray("MemTotal:       65843216 kB\n"
                                                   "MemFree:         1234567 kB\n"
                                                   "MemAvailable:   40123456 kB\n"
                                                   "Buffers:          123456 kB\n")
                                     << true << qint64(40123456) * 1024 << qint64(65843216) * 1024;
    QTest::newRow("no MemAvailable: free memory stands in")
        << QByteArray("MemTotal: 2048 kB\nMemFree: 1024 kB\n") << true << qint64(1048576)
        << qint64(2097152);
    QTest::newRow("no MemTotal") << QByteArray("MemFree: 1024 kB\nMemAvailable: 1024 kB\n") << false
                                 << qint64(0) << qint64(0);
    QTest::newRow("garbage value")
        << QByteArray("MemTotal: lots kB\nMemAvailable: 1 kB\n") << false << qint64(0) << qint64(0);
    QTest::newRow("empty") << QByteArray() << false << qint64(0) << qint64(0);
}

void TestMemoryMeter::parsesMemInfo()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(qint64, available);
    QFETCH(qint64, total);

    const MemoryFigures figures = ProcMemInfoStatus::parse(text);
    QCOMPARE(figures.ok, ok);
    QCOMPARE(figures.availablePhysical, available);
    QCOMPARE(figures.totalPhysical, total);
    QCOMPARE(figures.error.isEmpty(), ok);
}

void TestMemoryMeter::readsTheSystemsFigures()
{
    const MemoryFigures figures = MemoryStatus::current().query();
    QVERIFY2(figures.ok, qPrintable(figures.error));
    QVERIFY(figures.totalPhysical > 0);
    QVERIFY(figures.availablePhysical > 0);
    QVERIFY(figures.availablePhysical <= figures.totalPhysical);
}

void TestMemoryMeter::reportsAnUnreadableFile()
{
    QTemporaryDir dir;
    ProcMemInfoStatus status(dir.filePath(QStringLiteral("missing")));
    const MemoryFigures figures = status.query();
    QVERIFY(!figures.ok);
    QVERIFY(!figures.error.isEmpty());
}

QTEST_GUILESS_MAIN(TestMemoryMeter)
#include "tst_memory_meter.moc"
