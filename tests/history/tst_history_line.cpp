#include "history/history_line.h"
#include "platform/clock.h"

#include <QTest>

// Date and time texts of history lines.
class TestHistoryLine final : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void dateAndTime_data();
    void dateAndTime();
    void suffixUsesTheClock();
};

void TestHistoryLine::cleanup()
{
    Clock::setSource({});
}

void TestHistoryLine::dateAndTime_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::newRow("Polish") << "pl_PL" << QDateTime(QDate(2025, 1, 7), QTime(14, 5, 9))
                            << "07 wtorek styczeń 2025"
                            << "14:05:09";
    QTest::newRow("Polish, small hours")
        << "pl_PL" << QDateTime(QDate(2024, 12, 22), QTime(0, 0, 1)) << "22 niedziela grudzień 2024"
        << "00:00:01";
    QTest::newRow("C, 24-hour") << "C" << QDateTime(QDate(2025, 3, 1), QTime(23, 59, 59))
                                << "01 Saturday March 2025"
                                << "23:59:59";
    QTest::newRow("US uses the 24-hour clock too")
        << "en_US" << QDateTime(QDate(2025, 3, 1), QTime(13, 0, 0)) << "01 Saturday March 2025"
        << "13:00:00";
    QTest::newRow("Finnish time separator")
        << "fi_FI" << QDateTime(QDate(2025, 3, 1), QTime(9, 8, 7)) << "01 lauantai maaliskuu 2025"
        << "09.08.07";
}

void TestHistoryLine::dateAndTime()
{
    QFETCH(QString, locale);
    QFETCH(QDateTime, moment);
    QFETCH(QString, date);
    QFETCH(QString, time);
    const QLocale regional(locale);
    QCOMPARE(historyDateText(moment.date(), regional), date);
    QCOMPARE(historyTimeText(moment.time(), regional), time);
    QCOMPARE(historyDateTimeSuffix(QStringLiteral("  dnia "), moment, regional),
             QStringLiteral("  dnia ") + date + QStringLiteral(" godzina ") + time);
}

void TestHistoryLine::suffixUsesTheClock()
{
    Clock::setSource([] { return QDateTime(QDate(2025, 1, 7), QTime(14, 5, 9)); });
    // The test runs in the C locale.
    QCOMPARE(historyDateTimeSuffix(),
             QStringLiteral(" dnia 07 Tuesday January 2025 godzina 14:05:09"));
}

QTEST_GUILESS_MAIN(TestHistoryLine)
#include "tst_history_line.moc"
