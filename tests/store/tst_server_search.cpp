#include "cli/contact_query.h"
#include "platform/settings_store.h"
#include "store/contact_search.h"
#include "store/table.h"
#include "support/contact_fixture.h"
#include "support/pg_test_server.h"

#include <QFile>
#include <QTest>
#include <QTextStream>

// Runs SQL on a connection of its own, as another program would.
#define RUN_AS_OTHER(sql)                                                                          \
    QVERIFY2(m_server.execute(QStringLiteral("kontakty"), sql), qPrintable(m_server.error()))

// The search of contacts kept on a PostgreSQL server: the same matches as in a file,
// also of rows that another program writes or deletes.
class TestServerSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void findsAsInAFile_data();
    void findsAsInAFile();
    void followsOtherPrograms();

private:
    std::unique_ptr<TTable> openTable(int *percent = nullptr);
    QStringList names(const QString &text, SearchScope scope, bool withEmail = false) const;

    PgTestServer m_server;
    std::unique_ptr<TTable> m_table;
};

void TestServerSearch::initTestCase()
{
    if (!m_server.available())
        QSKIP(qPrintable(m_server.unavailableReason()));
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    QVERIFY2(m_server.createDatabase(QStringLiteral("kontakty")), qPrintable(m_server.error()));
    QFile::remove(SettingsStore::defaultPath());
    writeServerAlias(m_server, QStringLiteral("kontakty"));
    m_table = openTable();
    // Kraj, Miasto, Kod, Ulica, Region, Tel, Fax, Email, Http, Uwagi
    insertContact(*m_table, QStringLiteral("Kowalski Jan"), QStringLiteral("Hurtownia"),
                  QStringLiteral("Anna Nowak"),
                  {"Polska", "Łódź", "90-001", "Piotrkowska 1", "", "22-555-12-34", "",
                   "jan@kowalski.pl", "", ""});
    insertContact(*m_table, QStringLiteral("Nowak Sp. z o.o."), QStringLiteral("Apteka"),
                  QStringLiteral("Piotr Kos"),
                  {"Polska", "Kraków", "", "", "", "12 345 67 89", "", "", "", "zamówienie pilne"});
    insertContact(*m_table, QStringLiteral("Żółta Kaczka"), QStringLiteral("Kosmetyki"), QString(),
                  {"", "Gdańsk", "", "", "", "", "", "biuro@kaczka.pl", "", ""});
    insertContact(*m_table, QStringLiteral("Bez Branży"), QString(), QString(), {"Polska"});
}

std::unique_ptr<TTable> TestServerSearch::openTable(int *percent)
{
    auto table = std::make_unique<TTable>();
    table->setDatabaseName(QStringLiteral("Kax2000"));
    table->setTableName(QStringLiteral("Kartax2000"));
    if (percent)
        table->setRebuildProgress([percent](int now) { *percent = now; });
    table->open();
    return table;
}

QStringList TestServerSearch::names(const QString &text, SearchScope scope, bool withEmail) const
{
    QStringList found;
    const ContactSearch search(m_table->database(), m_table->tableName());
    for (const ContactMatch &match : search.find(text, scope, 100, withEmail))
        found << match.values.value(0);
    return found;
}

void TestServerSearch::findsAsInAFile_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<SearchScope>("scope");
    QTest::addColumn<bool>("withEmail");
    QTest::addColumn<QStringList>("expected");
    const auto all = SearchScope::All;
    const auto names = SearchScope::NameRepresentativeEmail;
    const auto starts = SearchScope::Beginnings;
    QTest::newRow("folded") << "łódź" << all << false << QStringList{"Kowalski Jan"};
    QTest::newRow("unfolded") << "LODZ" << all << false << QStringList{"Kowalski Jan"};
    QTest::newRow("town not a name") << "łódź" << names << false << QStringList{};
    QTest::newRow("remark") << "pilne" << all << false << QStringList{"Nowak Sp. z o.o."};
    QTest::newRow("remark not a name") << "pilne" << names << false << QStringList{};
    QTest::newRow("telephone") << "22-555" << all << false << QStringList{"Kowalski Jan"};
    QTest::newRow("post code") << "lodz 90-001" << all << false << QStringList{"Kowalski Jan"};
    QTest::newRow("post code digits") << "90001" << all << false << QStringList{"Kowalski Jan"};
    QTest::newRow("two words") << "kaczka ŻÓŁ" << names << false << QStringList{"Żółta Kaczka"};
    QTest::newRow("within a word") << "kos" << names << false << QStringList{"Nowak Sp. z o.o."};
    QTest::newRow("with e-mail") << "nowak" << names << true << QStringList{"Kowalski Jan"};
    QTest::newRow("short word") << "sp" << all << false << QStringList{"Nowak Sp. z o.o."};
    QTest::newRow("begins") << "ko" << starts << false
                            << QStringList{"Kowalski Jan", "Żółta Kaczka"};
    QTest::newRow("one letter") << "a" << starts << false
                                << QStringList{"Kowalski Jan", "Nowak Sp. z o.o."};
    QTest::newRow("begins two") << "kow hu" << starts << false << QStringList{"Kowalski Jan"};
    QTest::newRow("country no branch") << "po" << starts << false << QStringList{};
    QTest::newRow("wildcard") << "k%" << starts << false << QStringList{};
}

void TestServerSearch::findsAsInAFile()
{
    QFETCH(QString, text);
    QFETCH(SearchScope, scope);
    QFETCH(bool, withEmail);
    QFETCH(QStringList, expected);
    QCOMPARE(names(text, scope, withEmail), expected);
    if (withEmail)
        return;
    // Read on a match at a time, as Znajdź does: rows checked one by one while they
    // match, then looked up by the index, with the same matches.
    QStringList scanned;
    const ContactSearch search(m_table->database(), m_table->tableName());
    ContactSearch::Step step;
    step.after = std::numeric_limits<qint64>::min();
    do {
        step = search.scan(text, scope, step.after, 1, -1);
        for (const ContactMatch &match : std::as_const(step.matches))
            scanned << match.values.value(0);
    } while (!step.done);
    QCOMPARE(scanned, expected);
}

void TestServerSearch::followsOtherPrograms()
{
    // A lost index is built again, over the rows there are.
    RUN_AS_OTHER(QStringLiteral(R"(DROP TABLE "Kartax2000_search_text")"));
    int percent = -1;
    m_table = openTable(&percent);
    QCOMPARE(percent, 100);
    QCOMPARE(names(QStringLiteral("łódź"), SearchScope::All), QStringList{"Kowalski Jan"});

    RUN_AS_OTHER(QStringLiteral(
        R"(INSERT INTO "Kartax2000" ("Nazwa", "Miasto") VALUES ('Ryś Ola', 'Łódź'))"));
    RUN_AS_OTHER(QStringLiteral(
        R"(UPDATE "Kartax2000" SET "Uwagi" = 'Pilne!' WHERE "Nazwa" = 'Bez Branży')"));
    m_table->refresh();
    QCOMPARE(names(QStringLiteral("łódź"), SearchScope::All),
             (QStringList{"Kowalski Jan", "Ryś Ola"}));
    QCOMPARE(names(QStringLiteral("pilne"), SearchScope::All),
             (QStringList{"Nowak Sp. z o.o.", "Bez Branży"}));

    m_table->setKey();
    m_table->setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Kowalski"));
    m_table->gotoNearest();
    m_table->deleteRecord();
    RUN_AS_OTHER(QStringLiteral(R"(DELETE FROM "Kartax2000" WHERE "Nazwa" = 'Ryś Ola')"));
    QCOMPARE(names(QStringLiteral("łódź"), SearchScope::All), QStringList{});

    // The mail client's query reads the same search.
    QString answer;
    QTextStream out(&answer);
    QCOMPARE(ContactQuery::write(*m_table, QStringLiteral("kacz"), out), 1);
    out.flush();
    QCOMPARE(answer,
             QStringLiteral("Kartax2000: 1 kontakt\nbiuro@kaczka.pl\tŻółta Kaczka\tGdańsk\n"));
}

QTEST_GUILESS_MAIN(TestServerSearch)
#include "tst_server_search.moc"
