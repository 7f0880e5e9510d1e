#include "exchange/contact_record.h"
#include "platform/clock.h"
#include "store/deleted_contacts.h"
#include "store/table.h"
#include "store/table_batch.h"
#include "support/contact_fixture.h"
#include "support/dav_test_server.h"
#include "sync/dav_client.h"
#include "sync/sync_conflicts.h"
#include "sync/sync_engine.h"
#include "sync/sync_state.h"
#include "sync/sync_text.h"

#include <QTest>

// Two-way sync of the contact table with a CardDAV book that a phone (vdirsyncer) shares.
class TestSyncEngine : public QObject
{
    Q_OBJECT

private slots:
    void firstSyncPairs_data() { servers(); }
    void firstSyncPairs();
    void changesBothWays_data() { servers(); }
    void changesBothWays();
    void deletes_data() { servers(); }
    void deletes();
    void refusedAndRewritten_data() { servers(); }
    void refusedAndRewritten();
    void serverStopsMidSync();
    void lock();
    void etags_data();
    void etags();
    void wholeBook_data() { servers(); }
    void wholeBook();

private:
    static void servers();
};

namespace {

const QString kTable = QStringLiteral("Kartax2000");

QByteArray vcard(const QString &uid, const QString &org, const QStringList &more = {})
{
    QStringList lines{"BEGIN:VCARD", "VERSION:3.0", "UID:" + uid, "FN:" + org, "ORG:" + org};
    lines << more << "END:VCARD";
    return (lines.join("\r\n") + "\r\n").toUtf8();
}

// The program, the server and a phone that shares the book.
struct Setup
{
    explicit Setup(DavTestServer::Kind kind) : server(kind) {}

    SyncReport sync(const std::function<bool(int, const QString &)> &progress = {})
    {
        CardDavSync engine(fixture.table());
        engine.setConfirm([this](const SyncPlan &plan) {
            plans << plan;
            return agree;
        });
        if (progress)
            engine.setProgress(progress);
        if (busy)
            engine.setBusy(busy);
        SyncTarget target;
        target.book = book.isEmpty() ? server.addressBookUrl() : book;
        target.user = server.user();
        target.password = server.password();
        return engine.run(target);
    }
    QString sql(const QString &statement) { return fixture.sql(statement); }
    QString field(const QString &name, const QString &field)
    {
        return sql(QStringLiteral("SELECT \"%1\" FROM \"%2\" WHERE \"Nazwa\" = '%3'")
                       .arg(field, kTable, name))
            .trimmed();
    }
    void edit(const QString &name, const QString &field, const QString &value)
    {
        TTable &table = fixture.table();
        for (table.first(); !table.eof(); table.next())
            if (table.fieldText(QStringLiteral("Nazwa")) == name) {
                table.edit();
                table.setFieldText(field, value);
                table.post();
                return;
            }
        QFAIL(qPrintable(name));
    }
    void remove(const QString &name)
    {
        TTable &table = fixture.table();
        for (table.first(); !table.eof(); table.next())
            if (table.fieldText(QStringLiteral("Nazwa")) == name) {
                table.deleteRecord();
                return;
            }
    }
    QStringList names() { return fixture.walkForward(); }
    QString phone() const
    {
        QString all;
        for (const QString &name : vdir->cards())
            all += QString::fromUtf8(vdir->card(name));
        return all;
    }

    DavTestServer server;
    ContactFixture fixture;
    std::unique_ptr<VdirsyncerClient> vdir;
    QList<SyncPlan> plans;
    bool agree = true;
    std::function<bool(qint64)> busy;
    QUrl book; // the server's first book when empty
};

#define START(setup)                                                                               \
    QFETCH(int, kind);                                                                             \
    Setup setup{DavTestServer::Kind(kind)};                                                        \
    if (!setup.server.available())                                                                 \
        QSKIP(qPrintable(setup.server.unavailableReason()));                                       \
    QVERIFY2(setup.server.start(), qPrintable(setup.server.error()));                              \
    setup.fixture.open();                                                                          \
    setup.vdir = std::make_unique<VdirsyncerClient>(setup.server);                                 \
    if (!setup.vdir->available())                                                                  \
        QSKIP(qPrintable(setup.vdir->unavailableReason()));                                        \
    setup.vdir->setConflictResolution(QStringLiteral("b wins"))

#define PHONE_SYNC(setup) QVERIFY2(setup.vdir->sync(), qPrintable(setup.vdir->error()))

#define SYNCED(setup, said)                                                                        \
    do {                                                                                           \
        const SyncReport report = setup.sync();                                                    \
        QVERIFY2(!report.error, qPrintable(report.error.message));                                 \
        QCOMPARE(report.summary(), QString::fromUtf8(said));                                       \
    } while (false)

} // namespace

void TestSyncEngine::servers()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("Radicale") << int(DavTestServer::Radicale);
    QTest::newRow("Xandikos") << int(DavTestServer::Xandikos);
}

void TestSyncEngine::firstSyncPairs()
{
    START(s);
    s.fixture.add("Alfa", {}, {}, {"", "Warszawa", "", "Długa 1", "", "", "", "alfa@example.pl"});
    s.fixture.add("Gamma");
    QVERIFY(
        s.vdir->writeCard("a", vcard("inny-uid", "Alfa",
                                     {"ADR;TYPE=WORK:;;Długa 1;Warszawa;;;", "TEL:22 111 22 33",
                                      "X-PHONE-THING:zostaje", "PHOTO;VALUE=uri:http://x/p.jpg"})));
    QVERIFY(s.vdir->writeCard("b", vcard("b", "Beta")));
    PHONE_SYNC(s);

    s.agree = false;
    QCOMPARE(s.sync().error.message, QStringLiteral("Synchronizację przerwano przed zmianami."));
    QCOMPARE(s.names(), QStringList({"Alfa", "Gamma"}));
    QCOMPARE(s.plans.size(), 1);
    QVERIFY(s.plans[0].firstSync);
    QCOMPARE(s.plans[0].paired, 1);
    QVERIFY(s.plans[0].describe().contains("te same po obu stronach: 1"));

    // Alfa is the same contact: the phone's number fills the program's, nothing is doubled.
    s.agree = true;
    SYNCED(s, "wysłano 2, pobrano 2, usunięto 0, konflikty 0");
    QCOMPARE(s.names(), QStringList({"Alfa", "Beta", "Gamma"}));
    QCOMPARE(s.field("Alfa", "Tel"), QStringLiteral("22 111 22 33"));
    SYNCED(s, "wysłano 0, pobrano 0, usunięto 0, konflikty 0");
    PHONE_SYNC(s);
    QCOMPARE(s.vdir->cards().size(), 3);
    QVERIFY(s.phone().contains("alfa@example.pl"));

    // Properties the program does not show go back as they came when the contact changes.
    s.edit("Alfa", "Uwagi", "stały klient");
    SYNCED(s, "wysłano 1, pobrano 0, usunięto 0, konflikty 0");
    PHONE_SYNC(s);
    const QString alfa = s.phone();
    QVERIFY(alfa.contains("stały klient"));
    QVERIFY(alfa.contains("X-PHONE-THING:zostaje"));
    QVERIFY(alfa.contains("PHOTO;VALUE=uri:http://x/p.jpg") ||
            alfa.contains("PHOTO:http://x/p.jpg"));
    QCOMPARE(s.vdir->cards().size(), 3);
    QCOMPARE(s.plans.size(), 2); // asked at the first sync alone
}

void TestSyncEngine::changesBothWays()
{
    START(s);
    QVERIFY(s.vdir->writeCard("k", vcard("k", "Kappa", {"TEL:111", "EMAIL:k@example.pl"})));
    PHONE_SYNC(s);
    SYNCED(s, "wysłano 0, pobrano 1, usunięto 0, konflikty 0");

    // One side changed: the other takes it.
    s.edit("Kappa", "Tel", "222");
    SYNCED(s, "wysłano 1, pobrano 0, usunięto 0, konflikty 0");
    PHONE_SYNC(s);
    QVERIFY(s.phone().contains("222"));
    const QString name = s.vdir->cards().first();
    QVERIFY(s.vdir->writeCard(name, vcard("k", "Kappa", {"TEL:333", "EMAIL:k@example.pl"})));
    PHONE_SYNC(s);
    s.busy = [](qint64) { return true; }; // open for editing: the change waits
    QCOMPARE(s.sync().deferred, 1);
    QCOMPARE(s.field("Kappa", "Tel"), QStringLiteral("222"));
    s.busy = nullptr;
    SYNCED(s, "wysłano 0, pobrano 1, usunięto 0, konflikty 0");
    QCOMPARE(s.field("Kappa", "Tel"), QStringLiteral("333"));

    // Different fields on each side: both kept, no conflict.
    s.edit("Kappa", "Uwagi", "notatka");
    QVERIFY(s.vdir->writeCard(name, vcard("k", "Kappa", {"TEL:333", "EMAIL:nowy@example.pl"})));
    PHONE_SYNC(s);
    SYNCED(s, "wysłano 1, pobrano 1, usunięto 0, konflikty 0");
    QCOMPARE(s.field("Kappa", "Email"), QStringLiteral("nowy@example.pl"));
    QCOMPARE(s.field("Kappa", "Uwagi"), QStringLiteral("notatka"));

    // The same field on both: the server's goes to the contact, the program's is kept.
    PHONE_SYNC(s);
    s.edit("Kappa", "Tel", "444");
    QVERIFY(s.vdir->writeCard(
        name, vcard("k", "Kappa", {"TEL:555", "EMAIL:nowy@example.pl", "NOTE:notatka"})));
    PHONE_SYNC(s);
    SYNCED(s, "wysłano 0, pobrano 1, usunięto 0, konflikty 1");
    QCOMPARE(s.field("Kappa", "Tel"), QStringLiteral("555"));
    SyncConflicts conflicts(s.fixture.table().database(), kTable);
    const QList<SyncConflict> kept = conflicts.all();
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept[0].local[ContactRecord::Tel], QStringLiteral("444"));
    QCOMPARE(kept[0].server[ContactRecord::Tel], QStringLiteral("555"));
    QCOMPARE(kept[0].uid, QStringLiteral("k"));
    SYNCED(s, "wysłano 0, pobrano 0, usunięto 0, konflikty 0");
}

void TestSyncEngine::deletes()
{
    START(s);
    for (const QString &name : QStringList{"D1", "D2", "D3", "D4"})
        s.fixture.add(name);
    SYNCED(s, "wysłano 4, pobrano 0, usunięto 0, konflikty 0");
    PHONE_SYNC(s);
    QCOMPARE(s.vdir->cards().size(), 4);
    const auto cardOf = [&](const QString &name) {
        for (const QString &card : s.vdir->cards())
            if (s.vdir->card(card).contains(("ORG:" + name).toUtf8()))
                return card;
        return QString();
    };

    // Deleted in the program, unchanged there: gone there too; and the other way round.
    s.remove("D1");
    QVERIFY(s.vdir->removeCard(cardOf("D2")));
    PHONE_SYNC(s);
    SYNCED(s, "wysłano 0, pobrano 0, usunięto 2, konflikty 0");
    QCOMPARE(s.names(), QStringList({"D3", "D4"}));
    // Both are kept among the deleted contacts, the one deleted there by the sync first.
    QStringList deleted;
    for (const DeletedContact &contact :
         DeletedContacts(s.fixture.table().database(), s.fixture.table().tableName()).list())
        deleted << contact.values.first();
    QCOMPARE(deleted, QStringList({"D2", "D1"}));
    PHONE_SYNC(s);
    QCOMPARE(s.vdir->cards().size(), 2);

    // A change wins over a delete on either side.
    const QString d3 = cardOf("D3");
    QByteArray changed = s.vdir->card(d3);
    changed.replace("END:VCARD", "NOTE:wraca\r\nEND:VCARD");
    QVERIFY(s.vdir->writeCard(d3, changed));
    PHONE_SYNC(s);
    s.remove("D3");
    s.edit("D4", "Uwagi", "zostaje");
    QVERIFY(s.vdir->removeCard(cardOf("D4")));
    PHONE_SYNC(s);
    SYNCED(s, "wysłano 1, pobrano 1, usunięto 0, konflikty 0");
    QCOMPARE(s.names(), QStringList({"D3", "D4"}));
    QCOMPARE(s.field("D3", "Uwagi"), QStringLiteral("wraca"));
    PHONE_SYNC(s);
    QCOMPARE(s.vdir->cards().size(), 2);
    QVERIFY(s.phone().contains("zostaje"));
}

void TestSyncEngine::refusedAndRewritten()
{
    START(s);
    s.fixture.add("Rho", {}, {}, {"", "", "", "", "", "100"});
    // Further values of every kind go up as vCard 3.0 and read back the same.
    s.fixture.table().first();
    s.fixture.table().edit();
    s.fixture.table().setDetails(
        {{ContactDetail::Phone, "komórkowy", "", "600 100 200"},
         {ContactDetail::Email, "prywatny", "dom", "rho@example.pl"},
         {ContactDetail::Address, "domowy", "",
          ContactDetail::joinAddress({"", "", "Krótka 2", "Łódź", "", "90-001", "Polska"})},
         {ContactDetail::Person, "", "", "Jan Nowak"},
         {ContactDetail::Birthday, "", "", "1980-05-01"},
         {ContactDetail::Other, "", "Stanowisko", "prezes"}});
    s.fixture.table().post();
    SYNCED(s, "wysłano 1, pobrano 0, usunięto 0, konflikty 0");
    DavClient dav;
    dav.setCredentials(s.server.user(), s.server.password());
    bool ok = false;
    const QUrl card = dav.list(s.server.addressBookUrl(), &ok).value(0).url;
    QVERIFY(ok);
    const auto serverCard = [&] {
        return dav.multiget(s.server.addressBookUrl(), {card}, &ok).value(0);
    };

    // The server rewrites the card with its properties sorted by name: no change.
    DavCard stored = serverCard();
    QList<QByteArray> lines = stored.vcard.split('\n');
    const auto name = [](const QByteArray &line) {
        return line.left(line.indexOf(':')).split(';')[0];
    };
    std::stable_sort(lines.begin() + 2, lines.end() - 2, // BEGIN, VERSION and END stay
                     [&](const QByteArray &a, const QByteArray &b) { return name(a) < name(b); });
    QVERIFY(lines.join('\n') != stored.vcard);
    DavClient::PutResult put = dav.put({card, lines.join('\n'), stored.etag});
    QVERIFY2(!put.error, qPrintable(put.error.message));
    SYNCED(s, "wysłano 0, pobrano 0, usunięto 0, konflikty 0");
    SYNCED(s, "wysłano 0, pobrano 0, usunięto 0, konflikty 0");
    // An upload answered without an ETag, or with a weak one: nothing is a change either.
    for (const QString &etag : {QStringLiteral("''"), QStringLiteral("'W/' || etag")}) {
        s.sql(QStringLiteral("UPDATE \"Kartax2000_sync\" SET etag = %1").arg(etag));
        SYNCED(s, "wysłano 0, pobrano 0, usunięto 0, konflikty 0");
    }

    // The card changes there while the program uploads its change: the upload is refused
    // (412), and the next sync merges both.
    s.edit("Rho", "Tel", "200");
    bool changedThere = false;
    const SyncReport refused = s.sync([&](int, const QString &step) {
        if (step.startsWith(QStringLiteral("Wysyłam")) && !std::exchange(changedThere, true)) {
            DavCard now = serverCard();
            now.vcard.replace("END:VCARD", "NOTE:z telefonu\r\nEND:VCARD");
            dav.put({card, now.vcard, now.etag});
        }
        return true;
    });
    QVERIFY2(!refused.error, qPrintable(refused.error.message));
    QCOMPARE(refused.sent, 0);
    SYNCED(s, "wysłano 1, pobrano 1, usunięto 0, konflikty 0");
    QCOMPARE(s.field("Rho", "Uwagi"), QStringLiteral("z telefonu"));
    QVERIFY(serverCard().vcard.contains("200"));
}

void TestSyncEngine::serverStopsMidSync()
{
    Setup s(DavTestServer::Radicale);
    if (!s.server.available())
        QSKIP(qPrintable(s.server.unavailableReason()));
    QVERIFY2(s.server.start(), qPrintable(s.server.error()));
    s.fixture.open();
    for (int i = 0; i < 90; ++i)
        s.fixture.add(QStringLiteral("S%1").arg(i, 3, 10, QLatin1Char('0')));
    const SyncReport cut = s.sync([&](int, const QString &step) {
        if (step.startsWith(QStringLiteral("Wysyłam 51 ")) && s.server.isRunning())
            s.server.stop();
        return true;
    });
    QCOMPARE(cut.error.kind, DavError::NoConnection);
    QCOMPARE(cut.sent, 50);
    QVERIFY2(s.server.start(), qPrintable(s.server.error()));
    SYNCED(s, "wysłano 40, pobrano 0, usunięto 0, konflikty 0");
    DavClient dav;
    dav.setCredentials(s.server.user(), s.server.password());
    bool ok = false;
    const QList<DavCard> cards = dav.list(s.server.addressBookUrl(), &ok);
    QCOMPARE(cards.size(), 90);
    SYNCED(s, "wysłano 0, pobrano 0, usunięto 0, konflikty 0");

    // More than ten contacts and a tenth of the book to delete: asked first.
    for (int i = 0; i < 13; ++i)
        QVERIFY(!dav.remove(cards[i].url, {}));
    s.agree = false;
    QCOMPARE(s.sync().error.message, QStringLiteral("Synchronizację przerwano przed zmianami."));
    QCOMPARE(s.plans.last().toDeleteLocal, 13);
    QCOMPARE(s.names().size(), 90);
    s.agree = true;
    SYNCED(s, "wysłano 0, pobrano 0, usunięto 13, konflikty 0");

    // Uploads whose answers were lost: the cards are there already (412) and are paired.
    s.sql(QStringLiteral("DELETE FROM \"Kartax2000_sync\""));
    SYNCED(s, "wysłano 0, pobrano 0, usunięto 0, konflikty 0");
    SYNCED(s, "wysłano 0, pobrano 0, usunięto 0, konflikty 0");
    QCOMPARE(dav.list(s.server.addressBookUrl(), &ok).size(), 77);
}

void TestSyncEngine::lock()
{
    Setup s(DavTestServer::Xandikos);
    if (!s.server.available())
        QSKIP(qPrintable(s.server.unavailableReason()));
    QVERIFY2(s.server.start(), qPrintable(s.server.error()));
    s.fixture.open();
    s.fixture.add("Lambda");
    SyncState other(s.fixture.table().database(), kTable);
    other.ensure();
    QVERIFY(other.tryLock("inna-kopia"));
    QVERIFY(!other.tryLock("trzecia-kopia"));
    const SyncReport refused = s.sync();
    QCOMPARE(refused.error.message,
             QStringLiteral("Inna kopia programu synchronizuje tę książkę."));
    QCOMPARE(refused.sent, 0);
    other.unlock("inna-kopia");
    QCOMPARE(s.sync([](int, const QString &) { return false; }).error.message,
             QStringLiteral("Przerwano."));
    SYNCED(s, "wysłano 1, pobrano 0, usunięto 0, konflikty 0");
    QVERIFY(other.tryLock("inna-kopia")); // the sync let it go

    // A lock its holder left more than two minutes ago is taken over.
    const QDateTime later = QDateTime::currentDateTimeUtc().addSecs(121);
    Clock::setSource([later] { return later; });
    const SyncReport takenOver = s.sync();
    Clock::setSource({});
    QVERIFY2(!takenOver.error, qPrintable(takenOver.error.message));
}

void TestSyncEngine::etags_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("same");
    QTest::newRow("quoted") << QByteArray("\"abc\"") << QByteArray("\"abc\"") << true;
    QTest::newRow("unquoted") << QByteArray("abc") << QByteArray("\"abc\"") << true;
    QTest::newRow("weak") << QByteArray("W/\"abc\"") << QByteArray("\"abc\"") << true;
    QTest::newRow("other") << QByteArray("\"abc\"") << QByteArray("\"abd\"") << false;
    QTest::newRow("none known") << QByteArray() << QByteArray() << false;
}

void TestSyncEngine::etags()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QTEST(SyncText::sameEtag(a, b), "same");
    QCOMPARE(SyncText::fileName("abc-1.x"), QStringLiteral("abc-1.x.vcf"));
    QVERIFY(SyncText::fileName("a/b") != SyncText::fileName("a?b"));
    QVERIFY(!SyncText::fileName("a/b").contains(u'/'));
}

// Many new contacts into an empty book: Radicale takes them in one request, Xandikos one
// by one; either way the phone gets each once, the book keeps its name, and nothing moves
// at the next sync.
void TestSyncEngine::wholeBook()
{
    START(s);
    s.book = s.server.createAddressBook(QStringLiteral("firma"), QStringLiteral("Kontakty firmy"));
    QVERIFY2(s.book.isValid(), qPrintable(s.server.error()));
    s.vdir = std::make_unique<VdirsyncerClient>(s.server, s.book);
    for (int i = 0; i < 120; ++i)
        s.fixture.add(QStringLiteral("W%1").arg(i, 3, 10, QLatin1Char('0')));
    SYNCED(s, "wysłano 120, pobrano 0, usunięto 0, konflikty 0");
    SYNCED(s, "wysłano 0, pobrano 0, usunięto 0, konflikty 0");
    PHONE_SYNC(s);
    QCOMPARE(s.vdir->cards().size(), 120);
    QVERIFY(s.phone().contains("W119"));
    DavClient dav;
    dav.setCredentials(s.server.user(), s.server.password());
    const QList<DavAddressBook> books = dav.discover(s.book);
    QCOMPARE(books.size(), 1);
    QCOMPARE(books.first().displayName, QStringLiteral("Kontakty firmy"));
}

QTEST_GUILESS_MAIN(TestSyncEngine)
#include "tst_sync_engine.moc"
