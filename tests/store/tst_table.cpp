#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/settings_store.h"
#include "store/contact_search.h"
#include "store/data_module.h"
#include "store/data_source.h"
#include "store/deleted_contacts.h"
#include "store/incremental_search.h"
#include "store/table.h"
#include "store/table_batch.h"
#include "support/contact_fixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTimeZone>
#include <algorithm>
#include <functional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// The contact table: opening, order, navigation, editing and failures, on real
// SQLite files in a temporary folder.
class TestTable : public QObject
{
    Q_OBJECT

private slots:
    void emptyTableOpensWithEmptyRecord();
    void firstRunCreatesCheckableDatabase();
    void missingTableOrIndexIsAnError();
    void fieldAndIndexNamesIgnoreCase();
    void unknownFieldOrIndexRaises();
    void polishAlphabeticalOrderIgnoringCase();
    void repeatedKeysAreVisitedOnceEachWay();
    void navigatorFlagsFollowPosition();
    void editIsSavedByMoveAndIndexSwitch();
    void unchangedEditIsDroppedOnLeaving();
    void insertTakesItsPlaceAndCancelLeavesNothing();
    void deleteMovesToFollowingThenPrevious();
    void deletedContactComesBackWhole();
    void furtherValuesGoWithTheRecord();
    void failedPostKeepsEditWithValues();
    void lockedDatabaseFailsPostAndKeepsEdit();
    void secondConnectionSeenAfterRefresh();
    void stockToolWritesTakeTheirPlace();
    void editStillOpenAtExitIsDiscarded();
    void changeByAnotherUserFailsAndKeepsEdit();
    void movedDatabaseRefusesWrites();
    void readOnlyFolderIsReadNotWritten();
    void databaseCreatedOnlyWhereItMayBe();
    void longTextsAreStored();
    void newCollationRulesRebuildEveryKey();
};

void TestTable::emptyTableOpensWithEmptyRecord()
{
    ContactFixture fx;
    TTable &t = fx.table();
    QVERIFY(t.active());
    QVERIFY(t.isEmpty());
    QVERIFY(t.bof() && t.eof());
    QVERIFY(t.atFirst() && t.atLast());
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QString());
    t.next();
    t.prior();
    t.last();
    QVERIFY(t.isEmpty());
    QCOMPARE(t.recordCount(), 0);
    QCOMPARE(fx.walkForward(), QStringList());
    QCOMPARE(t.fieldNames().size(), 13);
    QCOMPARE(t.fieldNames().first(), QStringLiteral("Nazwa"));
    QCOMPARE(t.fieldNames().last(), QStringLiteral("Uwagi"));
}

void TestTable::firstRunCreatesCheckableDatabase()
{
    SKIP_ON_SERVER();
    ContactFixture fx;
    fx.add(QStringLiteral("Żuraw"), QStringLiteral("Dźwigi"));
    fx.add(QStringLiteral("Alfa"));
    // The stock tool reads and checks what the program wrote.
    QCOMPARE(fx.sqlite3(QStringLiteral("PRAGMA integrity_check; SELECT count(*) FROM Kartax2000; "
                                       "PRAGMA page_size")),
             QStringLiteral("ok\n2\n8192\n"));
    QVERIFY(fx.sqlite3(QStringLiteral("SELECT name FROM sqlite_master WHERE type='index' "
                                      "ORDER BY name"))
                .contains(QStringLiteral("bInd\nfInd\nnInd")));
}

void TestTable::missingTableOrIndexIsAnError()
{
    SKIP_ON_SERVER();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("other.db"));
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery(db).exec(QStringLiteral("CREATE TABLE unrelated (x)"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    try {
        TDM9 dm(nullptr, path);
        QFAIL("a database without the table opened");
    } catch (const DatabaseError &error) {
        QCOMPARE(error.message(),
                 QStringLiteral("W bazie danych %1 nie ma tabeli kontaktów Kartax2000.").arg(path));
    }
    // Without the index in use the table does not open; without a search index it
    // opens, and selecting that index raises the engine's error.
    ContactFixture fx;
    fx.close();
    fx.sqlite3(QStringLiteral("DROP INDEX bInd"));
    fx.open();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, fx.table().setIndexName(QStringLiteral("bInd")));
    QCOMPARE(fx.table().indexName(), QStringLiteral("nind"));
    // A file whose list of tables is damaged, and a pipe, are named as what they are.
    ContactFixture damaged;
    damaged.close();
    QFile file(damaged.databasePath());
    QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(103) && file.write("\0\0", 2) == 2);
    file.close();
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe.db"))), 0600) == 0);
    for (const auto &[opened, said] :
         {std::pair{damaged.databasePath(), QStringLiteral("Plik bazy danych %1 jest uszkodzony: "
                                                           "nie można w nim odczytać tabeli "
                                                           "kontaktów Kartax2000.")},
          std::pair{dir.filePath(QStringLiteral("pipe.db")),
                    QStringLiteral("%1 nie jest plikiem bazy danych, lecz potokiem (FIFO). "
                                   "Wskaż plik bazy danych.")}}) {
        try {
            TDM9 dm(nullptr, opened);
            QFAIL("a damaged file or a pipe opened");
        } catch (const DatabaseError &error) {
            QCOMPARE(error.message(), said.arg(opened));
        }
    }
    fx.close();
    fx.sqlite3(QStringLiteral("DROP INDEX nInd"));
    try {
        fx.open();
        QFAIL("a database without nInd opened");
    } catch (const DatabaseError &error) {
        QCOMPARE(error.message(),
                 QStringLiteral("Tabela Kartax2000 w bazie danych %1 nie ma indeksu nind.")
                     .arg(fx.databasePath()));
    }
}

void TestTable::fieldAndIndexNamesIgnoreCase()
{
    ContactFixture fx;
    fx.add(QStringLiteral("Beta"), QStringLiteral("Zbrojenia"));
    fx.add(QStringLiteral("Alfa"), QStringLiteral("Meble"));
    TTable &t = fx.table();
    QCOMPARE(t.fieldText(QStringLiteral("nazwa")), t.fieldText(QStringLiteral("NAZWA")));
    t.setIndexName(QStringLiteral("BIND"));
    t.first();
    QCOMPARE(t.fieldText(QStringLiteral("branza")), QStringLiteral("Meble"));
    t.setIndexName(QStringLiteral("nind"));
    t.first();
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Alfa"));
}

void TestTable::unknownFieldOrIndexRaises()
{
    ContactFixture fx;
    fx.add(QStringLiteral("Alfa"));
    TTable &t = fx.table();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, t.fieldText(QStringLiteral("Nazwisko")));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, t.setIndexName(QStringLiteral("xInd")));
    // The index in use and the record stay as they were.
    QCOMPARE(t.indexName(), QStringLiteral("nind"));
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Alfa"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, t.setFieldText(QStringLiteral("Nazwa"), "x"));
}

void TestTable::polishAlphabeticalOrderIgnoringCase()
{
    ContactFixture fx;
    const QStringList shuffled{"żaba", "Źrebak", "zebra",  "Łódź",  "lis",   "Ćma", "cal", "ąb",
                               "Ab",   "bąk",    "Ósemka", "ogród", "Śruba", "sól", "ŻUK", "Ala"};
    for (const QString &name : shuffled)
        fx.add(name);
    const QStringList expected{"Ab",    "Ala",    "ąb",  "bąk",   "cal",   "Ćma",    "lis",  "Łódź",
                               "ogród", "Ósemka", "sól", "Śruba", "zebra", "Źrebak", "żaba", "ŻUK"};
    QCOMPARE(fx.walkForward(), expected);
    QStringList reversed = expected;
    std::reverse(reversed.begin(), reversed.end());
    QCOMPARE(fx.walkBackward(), reversed);
}

void TestTable::repeatedKeysAreVisitedOnceEachWay()
{
    ContactFixture fx;
    // Same name in several spellings of case; the tie goes by the record's id.
    for (int i = 0; i < 7; ++i)
        fx.add(i % 2 ? QStringLiteral("KOWALSKI") : QStringLiteral("kowalski"), QString(),
               QStringLiteral("r%1").arg(i));
    fx.add(QStringLiteral("Adamski"), QString(), QStringLiteral("a"));
    fx.add(QStringLiteral("Zieliński"), QString(), QStringLiteral("z"));
    const QStringList forward = fx.walkForward(QStringLiteral("Filia"));
    QCOMPARE(forward, QStringList({"a", "r0", "r1", "r2", "r3", "r4", "r5", "r6", "z"}));
    QStringList backward = fx.walkBackward(QStringLiteral("Filia"));
    std::reverse(backward.begin(), backward.end());
    QCOMPARE(backward, forward);

    // A record of the same key that another user adds between two moves is not skipped,
    // although the first move found none after it.
    TTable &t = fx.table();
    t.first();
    for (int i = 0; i < 7; ++i)
        t.next();
    QCOMPARE(t.fieldText(QStringLiteral("Filia")), QStringLiteral("r6"));
    TTable other;
    fx.configure(other);
    other.open();
    other.insert();
    other.setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Kowalski"));
    other.setFieldText(QStringLiteral("Filia"), QStringLiteral("r7"));
    other.post();
    t.next();
    QCOMPARE(t.fieldText(QStringLiteral("Filia")), QStringLiteral("r7"));
    t.next();
    QCOMPARE(t.fieldText(QStringLiteral("Filia")), QStringLiteral("z"));
}

void TestTable::navigatorFlagsFollowPosition()
{
    ContactFixture fx;
    fx.add(QStringLiteral("A"));
    fx.add(QStringLiteral("B"));
    fx.add(QStringLiteral("C"));
    TTable &t = fx.table();
    t.first();
    QVERIFY(t.atFirst() && !t.atLast());
    t.next();
    QVERIFY(!t.atFirst() && !t.atLast());
    QVERIFY(!t.bof() && !t.eof());
    t.next();
    QVERIFY(!t.atFirst() && t.atLast());
    QVERIFY(!t.eof()); // a loop still prints the last record
    t.next();
    QVERIFY(t.eof());
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("C"));
    // The last record is as quick to reach and leave as the first.
    t.last();
    t.prior();
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("B"));
}

void TestTable::editIsSavedByMoveAndIndexSwitch()
{
    ContactFixture fx;
    fx.add(QStringLiteral("Alfa"), QStringLiteral("Z"));
    fx.add(QStringLiteral("Beta"), QStringLiteral("Y"));
    TTable &t = fx.table();
    t.first();
    t.edit();
    t.setFieldText(QStringLiteral("Tel"), QStringLiteral("123"));
    t.next(); // leaving the record posts it
    QCOMPARE(t.state(), DataSetState::Browse);
    t.first();
    QCOMPARE(t.fieldText(QStringLiteral("Tel")), QStringLiteral("123"));

    t.edit();
    t.setFieldText(QStringLiteral("Fax"), QStringLiteral("456"));
    t.setIndexName(QStringLiteral("bInd"));
    QCOMPARE(t.state(), DataSetState::Browse);
    QCOMPARE(t.fieldText(QStringLiteral("Fax")), QStringLiteral("456"));
    QCOMPARE(fx.sql(QStringLiteral(R"(SELECT "Fax" FROM "Kartax2000" WHERE "Nazwa" = 'Alfa')")),
             QStringLiteral("456\n"));
    // The index switch kept the record; branch order now rules navigation.
    QCOMPARE(fx.walkForward(), QStringList({"Beta", "Alfa"}));

    // A typed value still held by a control reaches the record before the move.
    t.first();
    t.edit();
    QObject::connect(
        &t, &TTable::updateRecordRequested, &t,
        [&t] { t.setFieldText(QStringLiteral("Kod"), QStringLiteral("00-950")); },
        Qt::SingleShotConnection);
    t.next();
    t.prior();
    QCOMPARE(t.fieldText(QStringLiteral("Kod")), QStringLiteral("00-950"));
}

void TestTable::unchangedEditIsDroppedOnLeaving()
{
    ContactFixture fx;
    fx.add(QStringLiteral("Alfa"));
    fx.add(QStringLiteral("Beta"));
    TTable &t = fx.table();
    t.first();
    QSignalSpy posted(&t, &TTable::stateChanged);
    t.edit();
    t.setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Alfa")); // same text
    QVERIFY(!t.modified());
    t.setKey(); // key mode ends the edit too
    QCOMPARE(t.state(), DataSetState::SetKey);
    t.setFieldText(QStringLiteral("nazwa"), QStringLiteral("b"));
    t.gotoNearest();
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Beta"));
    QCOMPARE(t.state(), DataSetState::Browse);
}

void TestTable::insertTakesItsPlaceAndCancelLeavesNothing()
{
    ContactFixture fx;
    fx.add(QStringLiteral("Alfa"));
    fx.add(QStringLiteral("Gamma"));
    TTable &t = fx.table();
    t.first();
    t.insert();
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QString());
    t.cancel();
    QCOMPARE(t.recordCount(), 2);
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Alfa"));

    t.last();
    t.insert();
    t.setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Beta"));
    t.post();
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Beta"));
    QVERIFY(!t.atFirst() && !t.atLast());
    QCOMPARE(fx.walkForward(), QStringList({"Alfa", "Beta", "Gamma"}));

    // Typing into an empty table starts a new record.
    ContactFixture empty;
    empty.table().edit();
    QCOMPARE(empty.table().state(), DataSetState::Insert);
}

void TestTable::deleteMovesToFollowingThenPrevious()
{
    ContactFixture fx;
    fx.add(QStringLiteral("A"));
    fx.add(QStringLiteral("B"));
    fx.add(QStringLiteral("C"));
    TTable &t = fx.table();
    t.first();
    t.next();
    t.deleteRecord();
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("C"));
    t.deleteRecord();
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("A"));
    QVERIFY(t.atFirst() && t.atLast());
    t.deleteRecord();
    QVERIFY(t.isEmpty());
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QString());
    QVERIFY_THROWS_EXCEPTION(DatabaseError, t.deleteRecord());
}

void TestTable::deletedContactComesBackWhole()
{
    ContactFixture fx;
    const auto restoreClock = qScopeGuard([] { Clock::setSource({}); });
    const QDateTime deletedAt(QDate(2026, 12, 1), QTime(9, 30), QTimeZone::utc());
    Clock::setSource([&deletedAt] { return deletedAt; });
    TTable &t = fx.table();
    const QStringList values{"Alfa",          "Budowa",        "Ala",     "Polska",       "Łódź",
                             "90-001",        "Piotrkowska 1", "łódzkie", "42 555 11 22", "",
                             "biuro@alfa.pl", "alfa.pl",       "uwagi"};
    const ContactExtras extras{
        {{ContactDetail::Phone, QStringLiteral("komórkowy"), {}, QStringLiteral("603 555 111")},
         {ContactDetail::Address, {}, {}, ContactDetail::joinAddress({"", "", "Długa 2"})}},
        QStringLiteral("uid-alfa"),
        QStringLiteral("2026-11-30T10:00:00Z"),
        QStringLiteral("X-PHOTO:abc\nNICKNAME:Al")};
    const qint64 id = 1000;
    const auto stored = [&t](qint64 at) { return TableBatch(t).values(at); };
    {
        TableBatch batch(t);
        batch.restore(id, values, extras);
        batch.commit();
    }
    fx.add(QStringLiteral("Beta"));
    QVERIFY(t.locate(id));
    t.deleteRecord();
    DeletedContacts deleted(t.database(), t.tableName(), t.fieldNames());
    QList<DeletedContact> kept = deleted.list();
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept[0].id, id);
    QCOMPARE(kept[0].values, values);
    QCOMPARE(kept[0].extras, extras);
    QCOMPARE(kept[0].deletedAt, deletedAt);
    {
        TableBatch batch(t);
        QCOMPARE(deleted.bringBack(batch, id), id);
        batch.commit();
    }
    QVERIFY(t.locate(id));
    QCOMPARE(stored(id), values);
    QCOMPARE(t.extras(), extras);
    QVERIFY(deleted.list().isEmpty());

    // Deleted again, and its id taken meanwhile: it comes back under a new one.
    t.deleteRecord();
    {
        TableBatch batch(t);
        batch.restore(id, {"Zajęty", "", "", "", "", "", "", "", "", "", "", "", ""}, {});
        const qint64 again = deleted.bringBack(batch, id);
        QVERIFY(again != id);
        QCOMPARE(batch.values(again), values);
        QCOMPARE(batch.values(id).first(), QStringLiteral("Zajęty"));
        batch.commit();
    }
    // Kept at least 30 days: a table opened later drops only what is older.
    QVERIFY(t.locate(id));
    t.deleteRecord();
    for (const auto &[days, left] : {std::pair{30, 1}, std::pair{31, 0}}) {
        fx.close();
        Clock::setSource([&deletedAt, days] { return deletedAt.addDays(days); });
        fx.open();
        QCOMPARE(DeletedContacts(fx.table().database(), fx.table().tableName()).list().size(),
                 left);
    }
}

void TestTable::furtherValuesGoWithTheRecord()
{
    ContactFixture fx;
    fx.add(QStringLiteral("Alfa"));
    TTable &t = fx.table();
    const QList<ContactDetail> details{
        {ContactDetail::Phone, QStringLiteral("komórkowy"), {}, QStringLiteral("+48 603 555 111")},
        {ContactDetail::Email, QStringLiteral("prywatny"), QStringLiteral("Ala"),
         QStringLiteral("ala.druga@example.pl")}};
    t.first();
    t.edit();
    t.setDetails(details);
    QCOMPARE(t.details(), details);
    t.cancel();
    QVERIFY(t.details().isEmpty());
    t.edit();
    t.setDetails(details);
    t.post();
    QCOMPARE(t.details(), details);
    const QString uid = t.extras().uid;
    QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}$"))
                 .match(uid)
                 .hasMatch(),
             qPrintable(uid));
    QVERIFY(!t.extras().revision.isEmpty());
    // Found by its further e-mail and by the digits of its further telephone.
    const ContactSearch search(t.database(), t.tableName());
    QCOMPARE(
        search.find(QStringLiteral("ala.druga"), SearchScope::NameRepresentativeEmail, 10).size(),
        1);
    QCOMPARE(search.find(QStringLiteral("603555111"), SearchScope::All, 10).size(), 1);

    t.insert();
    t.setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Beta"));
    t.setDetails({details[0]});
    t.post();
    QCOMPARE(t.details(), QList<ContactDetail>{details[0]});
    QVERIFY(t.extras().uid != uid);
    t.deleteRecord();
    t.first();
    t.deleteRecord();
    QSqlQuery left(t.database());
    QVERIFY(left.exec(QStringLiteral("SELECT (SELECT count(*) FROM \"Kartax2000_details\") + "
                                     "(SELECT count(*) FROM \"Kartax2000_card\")")) &&
            left.next());
    QCOMPARE(left.value(0).toInt(), 0);
    left.finish();

    // Another program's rows get a card of their own and lose it with the row; the stock
    // tool still checks the file.
    SKIP_ON_SERVER();
    t.insert();
    t.setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Delta"));
    t.setDetails({details[1]});
    t.post();
    fx.sqlite3(QStringLiteral("UPDATE Kartax2000 SET Nazwa = 'Delta 2'"));
    t.refresh(); // writes the changed row's search text again, further values included
    QCOMPARE(search.find(QStringLiteral("ala.druga"), SearchScope::All, 10).size(), 1);
    fx.sqlite3(QStringLiteral("INSERT INTO Kartax2000 (Nazwa) VALUES ('Gamma')"));
    QCOMPARE(fx.sqlite3(QStringLiteral("SELECT length(uid) FROM Kartax2000_card WHERE id = "
                                       "(SELECT max(id) FROM Kartax2000)")),
             QStringLiteral("36\n"));
    fx.sqlite3(QStringLiteral("DELETE FROM Kartax2000"));
    QCOMPARE(fx.sqlite3(QStringLiteral("SELECT count(*) FROM Kartax2000_card; PRAGMA "
                                       "integrity_check")),
             QStringLiteral("0\nok\n"));
}

void TestTable::failedPostKeepsEditWithValues()
{
    SKIP_ON_SERVER();
    ContactFixture fx;
    fx.add(QStringLiteral("Alfa"));
    // Another program makes every change fail, as a full disk would.
    fx.sqlite3(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON Kartax2000 "
                              "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END"));
    TTable &t = fx.table();
    t.edit();
    t.setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Alfa Sp. z o.o."));
    t.setFieldText(QStringLiteral("Tel"), QStringLiteral("22 111 22 33"));
    try {
        t.next();
        QFAIL("the move posted into a refusing table");
    } catch (const DatabaseError &error) {
        QCOMPARE(
            error.message(),
            QStringLiteral("Błąd bazy danych %1: database or disk is full").arg(fx.databasePath()));
    }
    QCOMPARE(t.state(), DataSetState::Edit);
    QVERIFY(t.modified());
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Alfa Sp. z o.o."));
    QCOMPARE(t.fieldText(QStringLiteral("Tel")), QStringLiteral("22 111 22 33"));
    fx.sqlite3(QStringLiteral("DROP TRIGGER refuse"));
    t.post();
    QCOMPARE(fx.sqlite3(QStringLiteral("SELECT Nazwa FROM Kartax2000")),
             QStringLiteral("Alfa Sp. z o.o.\n"));
}

void TestTable::lockedDatabaseFailsPostAndKeepsEdit()
{
    SKIP_ON_SERVER();
    ContactFixture fx;
    fx.add(QStringLiteral("Alfa"));
    fx.close();
    TTable t;
    t.setDatabaseFile(fx.databasePath());
    t.setTableName(QStringLiteral("Kartax2000"));
    t.setBusyTimeout(100);
    t.open();
    // A second writer holds the write lock beyond the busy timeout.
    auto other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
    other.setDatabaseName(fx.databasePath());
    QVERIFY(other.open());
    QSqlQuery lock(other);
    QVERIFY(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
    t.edit();
    t.setFieldText(QStringLiteral("Miasto"), QStringLiteral("Kraków"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, t.post());
    QCOMPARE(t.state(), DataSetState::Edit);
    QCOMPARE(t.fieldText(QStringLiteral("Miasto")), QStringLiteral("Kraków"));
    QVERIFY(lock.exec(QStringLiteral("ROLLBACK")));
    t.post();
    QCOMPARE(t.fieldText(QStringLiteral("Miasto")), QStringLiteral("Kraków"));
    lock.finish();
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));
}

void TestTable::secondConnectionSeenAfterRefresh()
{
    ContactFixture fx;
    fx.add(QStringLiteral("Beta"));
    TTable second;
    fx.configure(second);
    second.open();
    second.insert();
    second.setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Alfa"));
    second.post();
    second.first();
    second.edit();
    second.setFieldText(QStringLiteral("Tel"), QStringLiteral("999"));
    second.post();

    TTable &t = fx.table();
    t.refresh();
    QCOMPARE(fx.walkForward(), QStringList({"Alfa", "Beta"}));
    t.first();
    QCOMPARE(t.fieldText(QStringLiteral("Tel")), QStringLiteral("999"));
}

void TestTable::stockToolWritesTakeTheirPlace()
{
    SKIP_ON_SERVER();
    ContactFixture fx;
    fx.add(QStringLiteral("Bogdan"), QStringLiteral("Handel"));
    fx.add(QStringLiteral("Marek"), QStringLiteral("Usługi"));
    // Another program knows nothing of the sort keys.
    fx.sqlite3(QStringLiteral("INSERT INTO Kartax2000 (Nazwa, Branza) VALUES ('Ćwik', 'Apteki'); "
                              "UPDATE Kartax2000 SET Nazwa = 'Żaneta', Branza = 'Budowa' "
                              "WHERE Nazwa = 'Bogdan'"));
    TTable &t = fx.table();
    t.refresh();
    QCOMPARE(fx.walkForward(), QStringList({"Ćwik", "Marek", "Żaneta"}));
    t.setIndexName(QStringLiteral("bInd"));
    QCOMPARE(fx.walkForward(QStringLiteral("Branza")), QStringList({"Apteki", "Budowa", "Usługi"}));

    // And at the next start, without a refresh.
    fx.close();
    fx.sqlite3(QStringLiteral("INSERT INTO Kartax2000 (Nazwa) VALUES ('ala')"));
    fx.open();
    QCOMPARE(fx.walkForward(), QStringList({"ala", "Ćwik", "Marek", "Żaneta"}));
    QCOMPARE(fx.sqlite3(QStringLiteral("SELECT count(*) FROM Kartax2000_dirty")),
             QStringLiteral("0\n"));
}

void TestTable::editStillOpenAtExitIsDiscarded()
{
    ContactFixture fx;
    fx.add(QStringLiteral("Alfa"));
    fx.table().edit();
    fx.table().setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Zmieniona"));
    fx.close();
    fx.open();
    QCOMPARE(fx.walkForward(), QStringList{"Alfa"});
}

void TestTable::longTextsAreStored()
{
    ContactFixture fx;
    const QString longName(10000, QChar(u'ż'));
    const QString notes = QString(QStringLiteral("Linia notatek ąę\r\n")).repeated(60000);
    fx.add(longName, QString(), QString(), {"", "", "", "", "", "", "", "", "", notes});
    fx.close();
    fx.open();
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), longName);
    QCOMPARE(fx.table().fieldText(QStringLiteral("Uwagi")), notes);
}

// New collation rules: opening rebuilds every sort key, telling how far it has got,
// and the indexes come back as they were; a failure leaves the database as it was.
void TestTable::newCollationRulesRebuildEveryKey()
{
    SKIP_ON_SERVER();
    ContactFixture fx;
    for (const char *name : {"Żaneta", "ala", "Ćwik", "Marek"})
        fx.add(QString::fromUtf8(name), QStringLiteral("Handel"));
    fx.close();
    const QString schema = QStringLiteral("SELECT sql FROM sqlite_master ORDER BY name");
    const QString indexes = fx.sqlite3(schema);
    fx.sqlite3(QStringLiteral("UPDATE Kartax2000_meta SET value = 'old' WHERE name = 'collation';"
                              "UPDATE Kartax2000 SET Nazwa_k = CAST(id AS BLOB);"
                              "CREATE TRIGGER refuse BEFORE UPDATE ON Kartax2000 WHEN NEW.id = 3 "
                              "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    const QString stored =
        QStringLiteral("SELECT hex(Nazwa_k) FROM Kartax2000; SELECT * FROM Kartax2000_meta");
    const QString stale = fx.sqlite3(stored);
    const QString refused = fx.sqlite3(schema);
    TTable table;
    table.setDatabaseFile(fx.databasePath());
    table.setTableName(QStringLiteral("Kartax2000"));
    QList<int> progress;
    table.setRebuildProgress([&progress](int percent) { progress << percent; });
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refused")));
    table.open();
    QCOMPARE(fx.sqlite3(stored), stale);
    QCOMPARE(fx.sqlite3(schema), refused);
    table.close();

    fx.sqlite3(QStringLiteral("DROP TRIGGER refuse"));
    progress.clear();
    table.open();
    QCOMPARE(walkForward(table), QStringList({"ala", "Ćwik", "Marek", "Żaneta"}));
    QVERIFY(!progress.isEmpty() && progress.last() == 100);
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QCOMPARE(fx.sqlite3(schema), indexes);
    QCOMPARE(fx.sqlite3(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok\n"));
}

void TestTable::changeByAnotherUserFailsAndKeepsEdit()
{
    ContactFixture fx;
    fx.add(QStringLiteral("Alfa"));
    TTable other; // another copy of the program, which read the record earlier
    fx.configure(other);
    other.open();
    TTable &t = fx.table();
    t.edit();
    t.setFieldText(QStringLiteral("Tel"), QStringLiteral("111"));
    t.post();
    other.edit();
    other.setFieldText(QStringLiteral("Email"), QStringLiteral("a@b.pl"));
    try {
        other.post();
        QFAIL("a post over another user's change succeeded");
    } catch (const DatabaseError &error) {
        QVERIFY(error.message().contains(QStringLiteral("zmieniony przez innego użytkownika")));
    }
    QCOMPARE(other.state(), DataSetState::Edit);
    QCOMPARE(other.fieldText(QStringLiteral("Email")), QStringLiteral("a@b.pl"));
    QCOMPARE(fx.sql(QStringLiteral(R"(SELECT "Tel", "Email" FROM "Kartax2000")")),
             QStringLiteral("111|\n"));
    // Cancelling shows the stored record; the edit made again then keeps both changes.
    other.cancel();
    QCOMPARE(other.fieldText(QStringLiteral("Tel")), QStringLiteral("111"));
    other.edit();
    other.setFieldText(QStringLiteral("Email"), QStringLiteral("a@b.pl"));
    other.post();
    QCOMPARE(fx.sql(QStringLiteral(R"(SELECT "Tel", "Email" FROM "Kartax2000")")),
             QStringLiteral("111|a@b.pl\n"));
    // A delete of a record that another program changed since is refused too.
    fx.sql(QStringLiteral(R"(UPDATE "Kartax2000" SET "Miasto" = 'Łódź')"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, t.deleteRecord());
    QCOMPARE(fx.sql(QStringLiteral(R"(SELECT count(*) FROM "Kartax2000")")), QStringLiteral("1\n"));
}

void TestTable::movedDatabaseRefusesWrites()
{
    SKIP_ON_SERVER();
    ContactFixture fx;
    fx.add(QStringLiteral("Alfa"));
    QVERIFY(QFile::rename(fx.databasePath(), fx.databasePath() + QStringLiteral(".moved")));
    TTable &t = fx.table();
    t.insert();
    t.setFieldText(QStringLiteral("Nazwa"), QStringLiteral("Beta"));
    try {
        t.post();
        QFAIL("a post to a moved database succeeded");
    } catch (const DatabaseError &error) {
        QVERIFY(error.message().contains(fx.databasePath()));
    }
    QCOMPARE(t.state(), DataSetState::Insert);
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Beta"));
}

void TestTable::readOnlyFolderIsReadNotWritten()
{
    SKIP_ON_SERVER();
    ContactFixture fx;
    fx.add(QStringLiteral("Alfa"), QString(), QString(), {"PL", "Gdańsk", "80-266"});
    fx.close();
    // As root nothing stops writing: the folder is then read as the user nobody.
    const passwd *nobody = ::getpwnam("nobody");
    const bool root = ::geteuid() == 0;
    if (root && !nobody)
        QSKIP("running as root without the user nobody");
    QVERIFY(::chmod(QFile::encodeName(fx.folder()), root ? 0755 : 0555) == 0);
    if (root)
        QVERIFY(::seteuid(nobody->pw_uid) == 0);
    const auto restore = qScopeGuard([&] {
        QVERIFY(!root || ::seteuid(0) == 0);
        ::chmod(QFile::encodeName(fx.folder()), 0700);
    });
    TTable t;
    t.setDatabaseFile(fx.databasePath());
    t.setTableName(QStringLiteral("Kartax2000"));
    t.open();
    QVERIFY(t.readOnly());
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Alfa"));
    QStringList read;
    t.forEachRecord([&read](const QStringList &values) { return read << values[0], true; });
    QCOMPARE(read, QStringList{"Alfa"});
    QCOMPARE(ContactSearch(t.database(), t.tableName())
                 .find(QStringLiteral("80-266"), SearchScope::All, 10)
                 .size(),
             1);
    const QString refusal = QStringLiteral("Baza danych %1 jest otwarta tylko do odczytu: brak "
                                           "prawa zapisu do tego pliku lub do folderu %2, w "
                                           "którym leży. Zmian nie można zapisać.")
                                .arg(fx.databasePath(), fx.folder());
    for (const auto &write :
         {std::function<void()>([&t] { t.edit(); }), std::function<void()>([&t] { t.insert(); }),
          std::function<void()>([&t] { t.deleteRecord(); })}) {
        try {
            write();
            QFAIL("a book that cannot be written was changed");
        } catch (const DatabaseError &error) {
            QCOMPARE(error.message(), refusal);
        }
    }
    QCOMPARE(t.state(), DataSetState::Browse);
}

void TestTable::databaseCreatedOnlyWhereItMayBe()
{
    SKIP_ON_SERVER();
    // An empty file left by an interrupted first run (and its journal) is a first run.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Kartax2000.db"));
    for (const QString &leftover : {path, path + QStringLiteral("-journal")}) {
        QFile file(leftover);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(leftover == path ? QByteArray() : QByteArray(512, 'x'));
    }
    {
        TDM9 dm(nullptr, path);
        QVERIFY(dm.t1->isEmpty());
        insertContact(*dm.t1, QStringLiteral("Alfa"));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"Kartax2000.db"}));
    QCOMPARE(ContactFixture::sqlite3Against(path, QStringLiteral("SELECT Nazwa FROM Kartax2000")),
             QStringLiteral("Alfa\n"));

    // An alias that names a missing file is an error that names it; nothing is created.
    const QString missing = dir.filePath(QStringLiteral("udzial/Kartax2000.db"));
    {
        QSettings ini(SettingsStore::defaultPath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Aliasy/Kax2000/Database"), missing);
    }
    try {
        TDM9 dm;
        QFAIL("an alias naming a missing file opened");
    } catch (const DatabaseError &error) {
        QVERIFY(error.message().contains(QDir::toNativeSeparators(missing)));
    }
    QVERIFY(!QFileInfo::exists(missing));
    QFile::remove(SettingsStore::defaultPath());
}

QTEST_GUILESS_MAIN(TestTable)
#include "tst_table.moc"
