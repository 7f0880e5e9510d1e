#include "platform/errors.h"
#include "platform/settings_store.h"
#include "store/contact_search.h"
#include "store/search_index.h"
#include "store/table.h"
#include "store/table_batch.h"
#include "support/contact_fixture.h"
#include "support/pg_test_server.h"

#include <QFile>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;

// Runs SQL on a connection of its own, as another program would.
#define RUN_AS_OTHER(sql)                                                                          \
    QVERIFY2(m_server.execute(QStringLiteral("kontakty%1").arg(m_database), sql),                  \
             qPrintable(m_server.error()))

// The contact table kept on a PostgreSQL server: the same order, cursor and guards
// against other users' changes as in a file.
class TestServerTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void ordersAsInAFile();
    void rowsOthersWriteTakeTheirPlace();
    void othersChangesReachTheCard();
    void serverLossKeepsTheEdit();
    void aBatchKeepsTheMarksOfOthersRows();
    void aBatchTellsOthersOnlyItsChanges();
    void aBatchTakesTheIdsTheTableGives();

private:
    std::unique_ptr<TTable> openTable();

    PgTestServer m_server;
    int m_database = 0;
};

void TestServerTable::initTestCase()
{
    if (!m_server.available())
        QSKIP(qPrintable(m_server.unavailableReason()));
    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
}

// Each case has a database of its own, named by the alias.
void TestServerTable::init()
{
    const QString database = QStringLiteral("kontakty%1").arg(++m_database);
    QVERIFY2(m_server.createDatabase(database), qPrintable(m_server.error()));
    QFile::remove(SettingsStore::defaultPath());
    writeServerAlias(m_server, database);
}

std::unique_ptr<TTable> TestServerTable::openTable()
{
    auto table = std::make_unique<TTable>();
    table->setDatabaseName(QStringLiteral("Kax2000"));
    table->setTableName(QStringLiteral("Kartax2000"));
    table->open();
    return table;
}

void TestServerTable::ordersAsInAFile()
{
    auto table = openTable(); // the first open makes the table
    QVERIFY(table->isServer());
    QVERIFY(table->isEmpty());
    QCOMPARE(table->indexNames(), (QStringList{"bInd", "fInd", "nInd"}));
    insertContact(*table, QStringLiteral("żaba"), QString(), QStringLiteral("Ola"));
    insertContact(*table, QStringLiteral("Zebra"), QString(), QStringLiteral("ala"));
    insertContact(*table, QStringLiteral("Ćma"), QString(), QStringLiteral("Łucja"));
    insertContact(*table, QStringLiteral("cma"), QString(), QStringLiteral("Lucyna"));
    table.reset();
    table = openTable(); // and later opens find it
    QCOMPARE(walkForward(*table), (QStringList{"cma", "Ćma", "Zebra", "żaba"}));
    table->setIndexName(QStringLiteral("find"));
    QCOMPARE(walkForward(*table, QStringLiteral("Filia")),
             (QStringList{"ala", "Lucyna", "Łucja", "Ola"}));
    table->setKey();
    table->setFieldText(QStringLiteral("Filia"), QStringLiteral("ł"));
    table->gotoNearest();
    QCOMPARE(table->fieldText(QStringLiteral("Filia")), QStringLiteral("Łucja"));
    table->prior();
    QCOMPARE(table->fieldText(QStringLiteral("Filia")), QStringLiteral("Lucyna"));
}

void TestServerTable::rowsOthersWriteTakeTheirPlace()
{
    auto table = openTable();
    insertContact(*table, QStringLiteral("Adam"));
    insertContact(*table, QStringLiteral("Cezary"));
    RUN_AS_OTHER(QStringLiteral(R"(INSERT INTO "Kartax2000" ("Nazwa") VALUES ('Bożena'))"));
    RUN_AS_OTHER(
        QStringLiteral(R"(UPDATE "Kartax2000" SET "Nazwa" = 'Ćwiek' WHERE "Nazwa" = 'Adam')"));
    table->refresh();
    QCOMPARE(walkForward(*table), (QStringList{"Bożena", "Cezary", "Ćwiek"}));
}

void TestServerTable::othersChangesReachTheCard()
{
    auto mine = openTable();
    insertContact(*mine, QStringLiteral("Alfa"));
    insertContact(*mine, QStringLiteral("Beta"));
    mine->first();
    auto theirs = openTable();
    theirs->edit();
    theirs->setFieldText(QStringLiteral("Miasto"), QStringLiteral("Kraków"));
    theirs->post();
    QTRY_COMPARE_WITH_TIMEOUT(mine->fieldText(QStringLiteral("Miasto")), QStringLiteral("Kraków"),
                              5000);

    theirs->deleteRecord();
    QTRY_VERIFY_WITH_TIMEOUT(mine->deletedByOther(), 5000);
    QCOMPARE(mine->fieldText(QStringLiteral("Nazwa")), QStringLiteral("Alfa"));
    try {
        mine->last();
        QFAIL("a move from a deleted record is reported");
    } catch (const DatabaseError &error) {
        QVERIFY(error.message().contains(QStringLiteral("usunięty przez innego użytkownika")));
    }
    QCOMPARE(mine->fieldText(QStringLiteral("Nazwa")), QStringLiteral("Beta"));
    mine->first(); // reported once
}

void TestServerTable::serverLossKeepsTheEdit()
{
    auto table = openTable();
    insertContact(*table, QStringLiteral("Trwały"));
    table->edit();
    table->setFieldText(QStringLiteral("Miasto"), QStringLiteral("Gdańsk"));
    QVERIFY(m_server.stop());
    try {
        table->post();
        QFAIL("a post without the server is refused");
    } catch (const DatabaseError &error) {
        QVERIFY2(error.message().startsWith(QStringLiteral("Brak połączenia z serwerem bazy "
                                                           "danych (serwer ")),
                 qPrintable(error.message()));
    }
    QCOMPARE(table->state(), DataSetState::Edit);
    QCOMPARE(table->fieldText(QStringLiteral("Miasto")), QStringLiteral("Gdańsk"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, table->post()); // still away

    QVERIFY2(m_server.start(), qPrintable(m_server.error()));
    table->post(); // connects again
    QCOMPARE(openTable()->fieldText(QStringLiteral("Miasto")), QStringLiteral("Gdańsk"));
}

// Another program's row, written while a batch runs, gets an id among the batch's: its
// mark stays, so that its search text is written at the next read.
void TestServerTable::aBatchKeepsTheMarksOfOthersRows()
{
    auto table = openTable();
    QSqlDatabase db = table->database();
    SearchIndex::ensure(db, table->tableName());
    QStringList values(13);
    TableBatch batch(*table);
    values[0] = QStringLiteral("Adam");
    batch.insert(values);
    RUN_AS_OTHER(QStringLiteral(R"(INSERT INTO "Kartax2000" ("Nazwa") VALUES ('Obcy'))"));
    values[0] = QStringLiteral("Cezary");
    batch.insert(values);
    QVERIFY(batch.commit());
    // A post writes its row's keys and text and leaves no mark on it.
    table->first();
    table->edit();
    table->setFieldText(QStringLiteral("Miasto"), QStringLiteral("Opole"));
    table->post();
    QSqlQuery marks(db);
    for (const char *marked : {"Kartax2000_search_marks", "Kartax2000_dirty"}) {
        QVERIFY(marks.exec(QStringLiteral(R"(SELECT string_agg("Nazwa", ' ') FROM "Kartax2000" )"
                                          R"(WHERE id IN (SELECT id FROM "%1"))")
                               .arg(QLatin1String(marked))));
        QVERIFY(marks.next());
        QCOMPARE(marks.value(0).toString(), QStringLiteral("Obcy"));
    }
    QCOMPARE(ContactSearch(db, table->tableName()).find(u"opole"_s, SearchScope::All, 10).size(),
             1);
}

// A batch's inserts are told to nobody, as no program shows a row it has not read; the
// rows it updated are told once, at its commit. A server's functions from an earlier
// version, which told every row and made a card the batch then replaced, are made again
// at the next open.
void TestServerTable::aBatchTellsOthersOnlyItsChanges()
{
    auto mine = openTable();
    for (const char *function : {"notify", "card_new"}) {
        RUN_AS_OTHER(QStringLiteral(R"(CREATE OR REPLACE FUNCTION "Kartax2000_%1"() RETURNS )"
                                    R"(trigger LANGUAGE plpgsql AS $$BEGIN RETURN NULL; END$$)")
                         .arg(QLatin1String(function)));
        mine = openTable();
        QSqlQuery functions(mine->database());
        QVERIFY(functions.exec(QStringLiteral("SELECT count(*) FROM pg_proc WHERE proname IN "
                                              "('Kartax2000_notify', 'Kartax2000_card_new') AND "
                                              "prosrc LIKE '%own_write%'")) &&
                functions.next());
        QCOMPARE(functions.value(0).toInt(), 2);
    }
    insertContact(*mine, QStringLiteral("Alfa"));
    mine->first();
    const qint64 alfa = mine->recordId();
    QStringList heard;
    {
        QSqlDatabase db = m_server.addConnection(QStringLiteral("listener"),
                                                 QStringLiteral("kontakty%1").arg(m_database));
        QVERIFY(db.open() &&
                db.driver()->subscribeToNotification(QStringLiteral("kartax_kartax2000")));
        connect(db.driver(), &QSqlDriver::notification, this,
                [&heard](const QString &, QSqlDriver::NotificationSource, const QVariant &id) {
                    heard << id.toString();
                });
        auto theirs = openTable();
        TableBatch batch(*theirs);
        QStringList values = batch.values(alfa);
        values[4] = QStringLiteral("Kraków");
        batch.update(alfa, values);
        values[0] = QStringLiteral("Beta");
        batch.insert(values);
        QVERIFY(batch.commit());
        QTRY_COMPARE_WITH_TIMEOUT(mine->fieldText(QStringLiteral("Miasto")),
                                  QStringLiteral("Kraków"), 5000);
        // Qt's driver reads what arrived after a statement of its connection.
        const auto heardNow = [&] {
            QSqlQuery(db).exec(QStringLiteral("SELECT 1"));
            return heard.join(u' ');
        };
        QTRY_COMPARE(heardNow(), QString::number(alfa));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("listener"));
}

// A table whose ids come from a sequence it does not own (a default made by hand) takes a
// batch's rows all the same, with the ids the default gives.
void TestServerTable::aBatchTakesTheIdsTheTableGives()
{
    auto table = openTable();
    RUN_AS_OTHER(QStringLiteral(R"(ALTER TABLE "Kartax2000" ALTER COLUMN id DROP IDENTITY; )"
                                R"(CREATE SEQUENCE numery START 500; ALTER TABLE "Kartax2000" )"
                                R"(ALTER COLUMN id SET DEFAULT nextval('numery'))"));
    TableBatch batch(*table);
    QStringList values(13);
    values[0] = QStringLiteral("Adam");
    QCOMPARE(batch.insert(values), 500);
    values[0] = QStringLiteral("Beata");
    QCOMPARE(batch.insert(values), 501);
    QVERIFY(batch.commit());
    table->last();
    QCOMPARE(table->fieldText(QStringLiteral("Nazwa")), QStringLiteral("Beata"));
}

QTEST_GUILESS_MAIN(TestServerTable)
#include "tst_server_table.moc"
