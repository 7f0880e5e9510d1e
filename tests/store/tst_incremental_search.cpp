#include "store/incremental_search.h"
#include "store/table.h"
#include "support/contact_fixture.h"

#include <QTest>

// The key-release search: index switch, nearest key, and the order it leaves behind.
class TestIncrementalSearch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void nearestKeyFollowsTyping();
    void emptyTextFindsFirstAndBeyondLastFindsLast();
    void eachKindSearchesItsOwnField();
    void orderStaysWithLastSearch();
    void searchSavesOpenEdit();
    void caseAndPolishLettersInKeys();
    void searchOnEmptyTable();

private:
    std::unique_ptr<ContactFixture> m_fx;
};

void TestIncrementalSearch::init()
{
    m_fx = std::make_unique<ContactFixture>();
    // name, branch, representative
    m_fx->add(QStringLiteral("Kowalski i Syn"), QStringLiteral("Meble"), QStringLiteral("Nowak"));
    m_fx->add(QStringLiteral("Abakus"), QStringLiteral("Informatyka"), QStringLiteral("Zając"));
    m_fx->add(QStringLiteral("Łucznik"), QStringLiteral("Broń"), QStringLiteral("Adamczyk"));
    m_fx->add(QStringLiteral("Lech"), QStringLiteral("Browary"), QStringLiteral("Łukasik"));
    m_fx->add(QStringLiteral("Zakład Ślusarski"), QStringLiteral("Ślusarstwo"),
              QStringLiteral("Kowal"));
}

void TestIncrementalSearch::cleanup()
{
    m_fx.reset();
}

void TestIncrementalSearch::nearestKeyFollowsTyping()
{
    TTable &t = m_fx->table();
    incrementalSearch(t, SearchKind::Name, QStringLiteral("l"));
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Lech"));
    incrementalSearch(t, SearchKind::Name, QStringLiteral("ł"));
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Łucznik"));
    incrementalSearch(t, SearchKind::Name, QStringLiteral("ko"));
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Kowalski i Syn"));
    incrementalSearch(t, SearchKind::Name, QStringLiteral("kp"));
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Lech"));
    // A release that does not change the text returns to the same record.
    t.last();
    incrementalSearch(t, SearchKind::Name, QStringLiteral("kp"));
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Lech"));
}

void TestIncrementalSearch::emptyTextFindsFirstAndBeyondLastFindsLast()
{
    TTable &t = m_fx->table();
    t.last();
    incrementalSearch(t, SearchKind::Name, QString());
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Abakus"));
    QVERIFY(t.atFirst());
    incrementalSearch(t, SearchKind::Name, QStringLiteral("żżż"));
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Zakład Ślusarski"));
    QVERIFY(t.atLast());
    incrementalSearch(t, SearchKind::Branch, QStringLiteral("zzz"));
    QCOMPARE(t.fieldText(QStringLiteral("Branza")), QStringLiteral("Ślusarstwo"));
}

void TestIncrementalSearch::eachKindSearchesItsOwnField()
{
    TTable &t = m_fx->table();
    incrementalSearch(t, SearchKind::Branch, QStringLiteral("bro"));
    QCOMPARE(t.fieldText(QStringLiteral("Branza")), QStringLiteral("Broń"));
    QCOMPARE(t.indexName(), QStringLiteral("bInd"));
    incrementalSearch(t, SearchKind::Representative, QStringLiteral("ł"));
    QCOMPARE(t.fieldText(QStringLiteral("Filia")), QStringLiteral("Łukasik"));
    QCOMPARE(t.indexName(), QStringLiteral("fInd"));
}

void TestIncrementalSearch::orderStaysWithLastSearch()
{
    TTable &t = m_fx->table();
    incrementalSearch(t, SearchKind::Branch, QStringLiteral("b"));
    // Closing the search row touches nothing: navigation keeps branch order.
    t.next();
    QCOMPARE(t.fieldText(QStringLiteral("Branza")), QStringLiteral("Browary"));
    QCOMPARE(m_fx->walkForward(QStringLiteral("Branza")),
             QStringList({"Broń", "Browary", "Informatyka", "Meble", "Ślusarstwo"}));
    incrementalSearch(t, SearchKind::Representative, QString());
    QCOMPARE(m_fx->walkForward(QStringLiteral("Filia")),
             QStringList({"Adamczyk", "Kowal", "Łukasik", "Nowak", "Zając"}));
    incrementalSearch(t, SearchKind::Name, QStringLiteral("a"));
    QCOMPARE(m_fx->walkForward(),
             QStringList({"Abakus", "Kowalski i Syn", "Lech", "Łucznik", "Zakład Ślusarski"}));
}

void TestIncrementalSearch::searchSavesOpenEdit()
{
    TTable &t = m_fx->table();
    t.first();
    t.edit();
    t.setFieldText(QStringLiteral("Tel"), QStringLiteral("58 555 00 00"));
    incrementalSearch(t, SearchKind::Branch, QStringLiteral("m"));
    QCOMPARE(t.state(), DataSetState::Browse);
    incrementalSearch(t, SearchKind::Name, QStringLiteral("abakus"));
    QCOMPARE(t.fieldText(QStringLiteral("Tel")), QStringLiteral("58 555 00 00"));
}

void TestIncrementalSearch::caseAndPolishLettersInKeys()
{
    TTable &t = m_fx->table();
    incrementalSearch(t, SearchKind::Name, QStringLiteral("ZAKŁAD ś"));
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Zakład Ślusarski"));
    incrementalSearch(t, SearchKind::Name, QStringLiteral("LE"));
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Lech"));
}

void TestIncrementalSearch::searchOnEmptyTable()
{
    ContactFixture empty;
    incrementalSearch(empty.table(), SearchKind::Name, QStringLiteral("x"));
    QVERIFY(empty.table().isEmpty());
    QCOMPARE(empty.table().state(), DataSetState::Browse);
}

QTEST_GUILESS_MAIN(TestIncrementalSearch)
#include "tst_incremental_search.moc"
