#include "exchange/contact_record.h"
#include "exchange/country_names.h"
#include "store/table.h"
#include "support/contact_fixture.h"

#include <QTest>

// The record that import and export pass: its fields, the table, and country names.
class TestContactRecord : public QObject
{
    Q_OBJECT

private slots:
    void fieldsByNameAndCaption_data();
    void fieldsByNameAndCaption();
    void recordGoesIntoTableAndBack();
    void countryNamesBecomeTheProgramsOwn_data();
    void countryNamesBecomeTheProgramsOwn();
};

void TestContactRecord::fieldsByNameAndCaption_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("caption");
    QTest::newRow("first") << "nazwa" << 0 << "Nazwa";
    QTest::newRow("representative") << "FILIA" << 2 << "Przedstawiciel";
    QTest::newRow("postal code") << "Kod" << 5 << "Kod pocztowy";
    QTest::newRow("telefax") << "Fax" << 9 << "Telefax";
    QTest::newRow("last") << "Uwagi" << 12 << "Uwagi";
    QTest::newRow("none") << "Telefon" << -1 << "";
}

void TestContactRecord::fieldsByNameAndCaption()
{
    QFETCH(QString, name);
    QFETCH(int, field);
    QCOMPARE(ContactRecord::fieldIndex(name), field);
    QTEST(ContactRecord::fieldCaption(field), "caption");
}

void TestContactRecord::recordGoesIntoTableAndBack()
{
    ContactFixture fx;
    TTable &table = fx.table();
    ContactRecord record;
    for (int i = 0; i < ContactRecord::kFieldCount; ++i)
        record.values[std::size_t(i)] = QStringLiteral("ą%1\n;").arg(i);
    QVERIFY(!record.isEmpty());
    table.insert();
    record.setInto(table);
    table.post();
    table.first();
    QCOMPARE(table.fieldText(QStringLiteral("Kod")), QStringLiteral("ą5\n;"));
    QCOMPARE(ContactRecord::fromTable(table), record);
    QVERIFY(ContactRecord().isEmpty());
}

void TestContactRecord::countryNamesBecomeTheProgramsOwn_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("English") << "Poland"
                             << "Polska";
    QTest::newRow("two letters") << "PL"
                                 << "Polska";
    QTest::newRow("three letters") << "pol"
                                   << "Polska";
    QTest::newRow("German") << " Polen "
                            << "Polska";
    QTest::newRow("Polish, lower case") << "polska"
                                        << "Polska";
    QTest::newRow("Germany") << "Germany"
                             << "Niemcy";
    QTest::newRow("DE") << "DE"
                        << "Niemcy";
    QTest::newRow("Czech") << "Czech Republic"
                           << "Rep.Czeska";
    QTest::newRow("list keeps its blank") << "sri lanka"
                                          << "Sri Lanka ";
    QTest::newRow("unknown kept") << "Atlantyda "
                                  << "Atlantyda ";
    QTest::newRow("empty") << ""
                           << "";
}

void TestContactRecord::countryNamesBecomeTheProgramsOwn()
{
    QFETCH(QString, given);
    QTEST(CountryNames::toPolish(given), "expected");
}

QTEST_GUILESS_MAIN(TestContactRecord)
#include "tst_contact_record.moc"
