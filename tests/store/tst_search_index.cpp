#include "platform/errors.h"
#include "store/contact_search.h"
#include "store/search_index.h"
#include "store/table.h"
#include "support/contact_fixture.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The names of the contacts a search finds, in id order.
QStringList found(TTable &t, const QString &text, SearchScope scope = SearchScope::All,
                  int limit = 100)
{
    QStringList names;
    for (const ContactMatch &match :
         ContactSearch(t.database(), t.tableName()).find(text, scope, limit))
        names << match.values.value(0);
    return names;
}

// What the engine's own check of both indexes against their text says: "" when sound.
QString indexCheck(const ContactFixture &fx)
{
    return fx.sqlite3(QStringLiteral(
        "INSERT INTO Kartax2000_search (Kartax2000_search, rank) VALUES ('integrity-check', 1); "
        "INSERT INTO Kartax2000_search_names (Kartax2000_search_names, rank) "
        "VALUES ('integrity-check', 1);"));
}

} // namespace

// The full-text search index: folding, searches, and the index kept in step with every
// write, the program's own and other programs'.
class TestSearchIndex : public QObject
{
    Q_OBJECT

private slots:
    void foldDropsCaseAndAccents_data();
    void foldDropsCaseAndAccents();
    void columnTextsKeepEachLineOnce_data();
    void columnTextsKeepEachLineOnce();
    void searchFoldsCaseAndLetters_data();
    void searchFoldsCaseAndLetters();
    void indexFollowsPostsDeletesAndCancels();
    void otherProgramsWritesAreIndexedAtRefresh();
    void olderFileGetsItsIndexAtFirstOpen();
    void writerForBulkImports();
};

void TestSearchIndex::foldDropsCaseAndAccents_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("folded");
    QTest::newRow("Polish") << u"Żółć Łódź MAŁY"_s << u"zolc lodz maly"_s;
    QTest::newRow("no decomposition") << u"ÆØÅ"_s << u"æoa"_s;
    QTest::newRow("one to many") << u"ǅ½"_s << u"dz1⁄2"_s;
    QTest::newRow("beyond Latin") << u"Ελλάδα Żuk"_s << u"ελλαδα zuk"_s;
    QTest::newRow("ligature") << u"ﬁrma Ś"_s << u"firma s"_s;
    QTest::newRow("combining accent") << u"Zo\u0301lw"_s << u"zolw"_s;
}

void TestSearchIndex::foldDropsCaseAndAccents()
{
    QFETCH(QString, text);
    QTEST(SearchIndex::fold(text), "folded");
}

void TestSearchIndex::columnTextsKeepEachLineOnce_data()
{
    QTest::addColumn<QStringList>("values"); // Nazwa, Branza, Filia, ... Uwagi
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("every field")
        << QStringList{"Żółć i Syn",    "Apteki",      "Jan Nowak",    "Polska",        "Łódź",
                       "90-001",        "ul. Długa 5", "łódzkie",      "+48 42 555-11", "42 555 11",
                       "Biuro@zolc.pl", "www.zolc.pl", "Zwrot\nw maju"}
        << QStringList{"zolc i syn", "jan nowak", "biuro@zolc.pl",
                       "apteki\npolska\nlodz\n90-001\nul. dluga 5\nlodzkie\n+48 42 555-11\n"
                       "42 555 11\nwww.zolc.pl\nzwrot\nw maju\n484255511\n4255511"};
    QTest::newRow("repeated lines")
        << QStringList{"", "", "", "", "Łódź", "", "", "LODZ", "42555", "42555", "", "", ""}
        << QStringList{"", "", "", "lodz\n42555"};
    QTest::newRow("fax digits as the telephone's")
        << QStringList{"A", "", "", "", "", "", "", "", "42-555", "(42) 555", "", "", ""}
        << QStringList{"a", "", "", "42-555\n(42) 555\n42555"};
}

void TestSearchIndex::columnTextsKeepEachLineOnce()
{
    QFETCH(QStringList, values);
    QTEST(SearchIndex::columnTexts(values), "texts");
}

void TestSearchIndex::searchFoldsCaseAndLetters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<SearchScope>("scope");
    QTest::addColumn<QStringList>("names");
    const QStringList none;
    const auto names = SearchScope::NameRepresentativeEmail;
    const auto all = SearchScope::All;
    const auto starts = SearchScope::Beginnings;
    QTest::newRow("no Polish letters") << "lodz" << names << QStringList{"Łódź Hurt"};
    QTest::newRow("upper case") << "ZOLC" << names << QStringList{"Żółć i Syn"};
    QTest::newRow("Polish letters typed") << "ŻÓŁĆ" << names << QStringList{"Żółć i Syn"};
    QTest::newRow("other diacritics") << "cafe" << names << QStringList{"Café Ørsted"};
    QTest::newRow("telephone digits") << "22555" << all << QStringList{"Łódź Hurt"};
    QTest::newRow("telephone as written") << "555 11" << all << QStringList{"Łódź Hurt"};
    QTest::newRow("telephone outside name scope") << "22555" << names << none;
    QTest::newRow("representative") << "nowak" << names << QStringList{"Żółć i Syn"};
    QTest::newRow("e-mail") << "@hurt.pl" << names << QStringList{"Łódź Hurt"};
    QTest::newRow("every word") << "syn  zol" << names << QStringList{"Żółć i Syn"};
    QTest::newRow("one word missing") << "syn lodz" << names << none;
    QTest::newRow("words in two fields") << "hurt gdansk" << all << QStringList{"Łódź Hurt"};
    QTest::newRow("town outside name scope") << "gdansk" << names << none;
    QTest::newRow("letter with a stroke") << "orsted" << names << QStringList{"Café Ørsted"};
    QTest::newRow("one letter") << "ć" << names << QStringList{"Żółć i Syn", "Café Ørsted"};
    QTest::newRow("two letters") << "yn" << names << QStringList{"Żółć i Syn"};
    QTest::newRow("percent is a letter") << "%" << all << QStringList{"Café Ørsted"};
    QTest::newRow("underscore is a letter") << "_" << all << none;
    QTest::newRow("quotes are letters") << "\"x\"" << all << none;
    QTest::newRow("nothing") << "qqqq" << all << none;
    QTest::newRow("telephone punctuated") << "(22)-555" << all << QStringList{"Łódź Hurt"};
    QTest::newRow("post code as typed") << "80-266" << all << QStringList{"Łódź Hurt"};
    QTest::newRow("post code as digits") << "80266" << all << QStringList{"Łódź Hurt"};
    QTest::newRow("town and post code") << "gdansk 80-266" << all << QStringList{"Łódź Hurt"};
    QTest::newRow("post code kept as digits") << "61-888" << all << QStringList{"Café Ørsted"};
    QTest::newRow("name begins") << "Ż" << starts << QStringList{"Żółć i Syn"};
    QTest::newRow("branch begins") << "AP" << starts << QStringList{"Żółć i Syn"};
    QTest::newRow("representative begins") << "ol" << starts << QStringList{"Café Ørsted"};
    QTest::newRow("inside is no beginning") << "yn" << starts << none;
    QTest::newRow("country is no branch") << "pl" << starts << none;
    QTest::newRow("two beginnings") << "c o" << starts << QStringList{"Café Ørsted"};
    QTest::newRow("longer beginning") << "zolc ja" << starts << QStringList{"Żółć i Syn"};
    QTest::newRow("two letters lead") << "c ol" << starts << QStringList{"Café Ørsted"};
    QTest::newRow("branch and representative") << "ja ap" << starts << QStringList{"Żółć i Syn"};
}

void TestSearchIndex::searchFoldsCaseAndLetters()
{
    QFETCH(QString, text);
    QFETCH(SearchScope, scope);
    ContactFixture fx;
    fx.add(QStringLiteral("Łódź Hurt"), QString(), QString(),
           {"PL", "Gdańsk", "80-266", "", "", "22 555 11 22", "", "biuro@hurt.pl"});
    fx.add(QStringLiteral("Żółć i Syn"), QStringLiteral("Apteki"), QStringLiteral("Jan Nowak"));
    fx.add(QStringLiteral("Café Ørsted"), QString(), QStringLiteral("Ola Mała"),
           {"", "", "61888", "", "", "", "", "", "", "rabat 50%, 500 sztuk"});
    QTEST(found(fx.table(), text, scope), "names");
}

void TestSearchIndex::indexFollowsPostsDeletesAndCancels()
{
    ContactFixture fx;
    TTable &t = fx.table();
    fx.add(QStringLiteral("Kowalski"));
    fx.add(QStringLiteral("Nowak"));
    t.first();
    t.edit();
    t.setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Kowalczyk"));
    t.post();
    QCOMPARE(found(t, QStringLiteral("kowal")), QStringList{"Kowalczyk"});
    t.edit();
    t.setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Wiśniewski"));
    t.cancel();
    t.insert();
    t.setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Wiśniak"));
    t.cancel();
    QCOMPARE(found(t, QStringLiteral("wisn")), QStringList());
    t.last();
    t.deleteRecord();
    QCOMPARE(found(t, QStringLiteral("nowak")), QStringList());
    QCOMPARE(found(t, QStringLiteral("k")), QStringList{"Kowalczyk"});
    QCOMPARE(fx.sqlite3(QStringLiteral("SELECT rowid, Nazwa FROM Kartax2000_search")),
             QStringLiteral("1|kowalczyk\n"));
    QCOMPARE(indexCheck(fx), QString());
}

void TestSearchIndex::otherProgramsWritesAreIndexedAtRefresh()
{
    ContactFixture fx;
    fx.add(QStringLiteral("Alfa"));
    fx.add(QStringLiteral("Beta"));
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
        other.setDatabaseName(fx.databasePath());
        QVERIFY(other.open());
        QSqlQuery query(other);
        QVERIFY(query.exec("INSERT INTO Kartax2000 (Nazwa, Tel) VALUES ('Ćma', '61 222')"));
        QVERIFY(query.exec("UPDATE Kartax2000 SET Email = 'alfa@x.pl' WHERE Nazwa = 'Alfa'"));
        QVERIFY(query.exec("DELETE FROM Kartax2000 WHERE Nazwa = 'Beta'"));
        // As a program that writes the sort keys but knows nothing of the index.
        QVERIFY(query.exec("DELETE FROM Kartax2000_dirty"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    QCOMPARE(found(fx.table(), QStringLiteral("beta")), QStringList());
    fx.table().refresh();
    QCOMPARE(found(fx.table(), QStringLiteral("cma 61222")), QStringList{"Ćma"});
    QCOMPARE(found(fx.table(), QStringLiteral("alfa@")), QStringList{"Alfa"});
    QCOMPARE(indexCheck(fx), QString());

    // The stock tool writes the file and finds it sound; the next start indexes its rows.
    fx.close();
    QCOMPARE(fx.sqlite3(QStringLiteral("INSERT INTO Kartax2000 (Nazwa) VALUES ('Gamma'); "
                                       "PRAGMA integrity_check;")),
             QStringLiteral("ok\n"));
    fx.open();
    QCOMPARE(found(fx.table(), QStringLiteral("amm")), QStringList{"Gamma"});
}

void TestSearchIndex::olderFileGetsItsIndexAtFirstOpen()
{
    ContactFixture fx;
    for (int i = 0; i < 30; ++i)
        fx.add(QStringLiteral("Firma %1").arg(i));
    fx.close();
    fx.sqlite3(QStringLiteral("DROP TRIGGER Kartax2000_search_del; "
                              "DROP TRIGGER Kartax2000_search_upd; DROP TABLE Kartax2000_search; "
                              "DROP TRIGGER Kartax2000_search_ins; "
                              "DROP TABLE Kartax2000_search_marks; "
                              "DROP TABLE Kartax2000_search_names; "
                              "DROP TABLE Kartax2000_search_text"));
    TTable t;
    t.setDatabaseFile(fx.databasePath());
    t.setTableName(QStringLiteral("Kartax2000"));
    QList<int> progress;
    t.setRebuildProgress([&progress](int percent) { progress << percent; });
    t.open();
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last(), 100);
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QCOMPARE(found(t, QStringLiteral("firma 29")), QStringList{"Firma 29"});
    // Pages follow one another in id order; counts stop at their cap.
    const ContactSearch search(t.database(), t.tableName());
    const QList<ContactMatch> page = search.find(QStringLiteral("firma"), SearchScope::All, 20);
    const QList<ContactMatch> rest =
        search.find(QStringLiteral("firma"), SearchScope::All, 20, false, page.last().id);
    QCOMPARE(page.size() + rest.size(), 30);
    QVERIFY(rest.first().id > page.last().id);
    QCOMPARE(
        search.find(QStringLiteral("f"), SearchScope::Beginnings, 5, false, page[9].id).first().id,
        page[10].id);
    const ContactSearch::Step step =
        search.scan(QStringLiteral("firma"), SearchScope::All, page[9].id, 100, -1);
    QVERIFY(step.done);
    QCOMPARE(step.matches.size(), 20);
    QCOMPARE(search.find(QStringLiteral("firma"), SearchScope::All, 25).size(), 25);
    QCOMPARE(search.find(QStringLiteral("fi 2"), SearchScope::All, 100).size(), 12);
    QCOMPARE(search.find(QStringLiteral("fi"), SearchScope::Beginnings, 100).size(), 30);
    QCOMPARE(ContactSearch::scopeFor(QStringLiteral("fi 2")), SearchScope::Beginnings);
    QCOMPARE(ContactSearch::scopeFor(QStringLiteral("fir 2")), SearchScope::All);
    // A long text: its words once each, and at most 64 different ones.
    QCOMPARE(search.find(u"firma "_s.repeated(1000), SearchScope::All, 100).size(), 30);
    QStringList many;
    for (int i = 0; i < 64; ++i)
        many << QString::number(10000 + i);
    for (const SearchScope scope : {SearchScope::All, SearchScope::Beginnings})
        QVERIFY(search.find(many.join(u' '), scope, 1).isEmpty());
    many << QStringLiteral("firma");
    QVERIFY_THROWS_EXCEPTION(KaxError,
                             search.find(many.join(u' '), SearchScope::NameRepresentativeEmail, 1));
    t.close();
    QCOMPARE(fx.sqlite3(QStringLiteral("PRAGMA integrity_check; SELECT count(*) FROM "
                                       "sqlite_master WHERE name LIKE '%search_start%'")),
             QStringLiteral("ok\n3\n"));
    QCOMPARE(indexCheck(fx), QString());
}

void TestSearchIndex::writerForBulkImports()
{
    ContactFixture fx;
    fx.close();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "bulk");
        db.setDatabaseName(fx.databasePath());
        QVERIFY(db.open());
        QVERIFY(db.transaction());
        SearchIndexWriter writer(db, QStringLiteral("Kartax2000"));
        QVERIFY(writer.active());
        QSqlQuery(db).exec("INSERT INTO Kartax2000 (id, Nazwa) VALUES (7, 'Zięba')");
        QStringList values(13);
        values[0] = QStringLiteral("Zięba");
        writer.write(7, values);
        writer.write(8, values);
        writer.remove(8);
        QVERIFY_THROWS_EXCEPTION(DatabaseError, writer.write(9, {QStringLiteral("too few")}));
        QVERIFY(db.commit());

        QSqlQuery(db).exec("CREATE TABLE Other (id INTEGER PRIMARY KEY, Nazwa TEXT)");
        SearchIndexWriter none(db, QStringLiteral("Other"));
        QVERIFY(!none.active());
        none.write(1, values);
        none.remove(1);
        QVERIFY_THROWS_EXCEPTION(DatabaseError,
                                 ContactSearch(db, QStringLiteral("Other"))
                                     .find(QStringLiteral("x"), SearchScope::All, 1));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bulk"));
    fx.open();
    QCOMPARE(found(fx.table(), QStringLiteral("zieb")), QStringList{"Zięba"});
}

QTEST_GUILESS_MAIN(TestSearchIndex)
#include "tst_search_index.moc"
