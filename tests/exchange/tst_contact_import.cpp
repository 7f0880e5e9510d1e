#include "exchange/contact_export.h"
#include "exchange/contact_import.h"
#include "records.h"
#include "store/contact_search.h"
#include "store/deleted_contacts.h"
#include "store/import_journal.h"
#include "store/table.h"
#include "store/table_batch.h"
#include "support/contact_fixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStringEncoder>
#include <QTest>
#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

using namespace ContactImport;

using namespace Qt::StringLiterals;

namespace {

QString write(const ContactFixture &fx, const QString &name, const QByteArray &bytes)
{
    const QString path = fx.folder() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Whether a row another program inserts after an import is still marked for the
// program to give it its sort keys and search text.
// The indexes of a contact table in a file, of its deleted contacts and of its search
// text.
const QString kIndexNames =
    QStringLiteral("SELECT group_concat(name, ' ') FROM (SELECT name FROM sqlite_master "
                   "WHERE type = 'index' AND sql IS NOT NULL ORDER BY name)");
const QString kIndexes =
    QStringLiteral("Kartax2000_deleted_at Kartax2000_search_start_b Kartax2000_search_start_f "
                   "Kartax2000_search_start_n bInd fInd nInd\n");

bool othersWritesAreMarked(ContactFixture &fx)
{
    fx.sql(QStringLiteral(R"(INSERT INTO "Kartax2000" ("Nazwa") VALUES ('Obcy'))"));
    return fx.sql(QStringLiteral(R"(SELECT (SELECT count(*) FROM "Kartax2000_dirty") || ' ' || )"
                                 R"((SELECT count(*) FROM "Kartax2000_search_marks"))")) ==
           QStringLiteral("1 1\n");
}

QList<QStringList> allRecords(ContactFixture &fx)
{
    QList<QStringList> records;
    fx.table().first();
    for (; !fx.table().isEmpty() && !fx.table().eof(); fx.table().next())
        records << fields(ContactRecord::fromTable(fx.table()));
    return records;
}

const QByteArray kStored = "BEGIN:VCARD\nVERSION:3.0\nFN:Łódzka Sp.\nTEL:+48 22 555 11 22\n"
                           "EMAIL:biuro@lodzka.pl\nEND:VCARD\n";

} // namespace

// Import of files into the contact table: round trips, duplicates, and failures
// that leave the table as it was.
class TestContactImport : public QObject
{
    Q_OBJECT

private slots:
    void exportedFileImportsUnchanged_data();
    void exportedFileImportsUnchanged();
    void databaseFieldsItLacksStayEmpty();
    void duplicatesFollowTheChoice_data();
    void duplicatesFollowTheChoice();
    void aFileImportedTwiceAddsNothing_data();
    void aFileImportedTwiceAddsNothing();
    void furtherValuesComeAlong();
    void manyContactsKeepTheirFurtherValues();
    void anImportIsUndone();
    void failureLeavesTheTableAsItWas_data();
    void failureLeavesTheTableAsItWas();
    void serverGoneIsSaidInPolish();
    void aLargeImportIsIndexedAsASmallOne_data();
    void aLargeImportIsIndexedAsASmallOne();
};

void TestContactImport::exportedFileImportsUnchanged_data()
{
    // Exported as; -1 and -2: the source's own database file, open and closed.
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("importAs");
    QTest::newRow("vCard 4.0") << int(ContactExport::Format::VCard4) << int(Format::VCard);
    QTest::newRow("vCard 3.0") << int(ContactExport::Format::VCard3) << int(Format::VCard);
    QTest::newRow("CSV UTF-8") << int(ContactExport::Format::CsvUtf8) << int(Format::Csv);
    QTest::newRow("CSV Windows-1250")
        << int(ContactExport::Format::CsvWindows1250) << int(Format::Csv);
    QTest::newRow("Kartax2000 database, open meanwhile") << -1 << int(Format::Database);
    QTest::newRow("Kartax2000 database, closed") << -2 << int(Format::Database);
}

void TestContactImport::exportedFileImportsUnchanged()
{
    QFETCH(int, format);
    ContactFixture from(format < 0); // a database to import is a file
    for (int n = 0; n < 3; ++n) {
        QStringList rest;
        for (int i = 3; i < ContactRecord::kFieldCount; ++i)
            rest << QStringLiteral("ż%1;, \"x\"\n\\%2").arg(i).arg(n);
        from.add(QStringLiteral("Żółć %1").arg(n), QStringLiteral("b,%1").arg(n),
                 QStringLiteral("Łucja;%1").arg(n), rest);
    }
    const QString path =
        format < 0 ? from.databasePath() : from.folder() + QStringLiteral("/k.out");
    QVERIFY(format < 0 ||
            ContactExport::exportTable(from.table(), path, ContactExport::Format(format)).ok);

    if (format == -2)
        from.close();
    ContactFixture to;
    Options options;
    QFETCH(int, importAs);
    options.format = Format(importAs);
    const Result result = importFile(to.table(), path, options);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.summary(), QStringLiteral("Dodano 3, zaktualizowano 0, pominięto 0"));
    if (format == -2)
        from.open();
    QCOMPARE(allRecords(to), allRecords(from));
    // The search index took the imported contacts in the same transaction.
    const ContactSearch search(to.table().database(), to.table().tableName());
    QCOMPARE(search.find(QStringLiteral("lucja;1"), SearchScope::All, 10).size(), 1);
    QVERIFY(othersWritesAreMarked(to));
}

void TestContactImport::databaseFieldsItLacksStayEmpty()
{
    ContactFixture to;
    const QString path = to.folder() + QStringLiteral("/firma.kopia");
    ContactFixture::sqlite3Against(
        path, QStringLiteral("CREATE TABLE Kartax2000 (id INTEGER PRIMARY KEY, Tel, nazwa);"
                             "INSERT INTO Kartax2000 VALUES (7, '22 555', 'Żak'), (3, NULL, '');"));
    QCOMPARE(formatOf(path), Format::Database);
    Options options;
    options.format = Format::Database;
    QList<int> percents;
    options.progress = [&percents](qint64, int percent) {
        percents << percent;
        return true;
    };
    const Result result = importFile(to.table(), path, options);
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(std::is_sorted(percents.begin(), percents.end()));
    QCOMPARE(percents.last(), 100);
    // In id order, as stored: the nameless contact keeps its empty name, NULL stays NULL.
    const QString quote = testingOnServer() ? QStringLiteral("quote_nullable") : u"quote"_s;
    QCOMPARE(to.sql(QStringLiteral(R"(SELECT %1("Nazwa"), %1("Tel"), %1("Uwagi") FROM )"
                                   R"("Kartax2000" ORDER BY id)")
                        .arg(quote)),
             QStringLiteral("''|NULL|NULL\n'Żak'|'22 555'|NULL\n"));
}

void TestContactImport::duplicatesFollowTheChoice_data()
{
    QTest::addColumn<QByteArray>("incoming");
    QTest::addColumn<int>("choice");
    QTest::addColumn<bool>("forAll");
    QTest::addColumn<int>("asked");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("names");
    // Neither an e-mail address alone nor a name in another town or with another
    // telephone makes a duplicate; a name in the same town with nothing else to compare does.
    const QByteArray sameMail = "BEGIN:VCARD\nFN:Inna\nEMAIL:BIURO@lodzka.pl\nEND:VCARD\n";
    const QByteArray samePhone =
        "BEGIN:VCARD\nFN:łódzka SP.\nTEL:22-555-11-22\nURL:lodzka.pl\nEND:VCARD\n";
    const QByteArray sameName = "BEGIN:VCARD\nFN:LODZKA  sp.\nNOTE:n\nEND:VCARD\n";
    const QByteArray otherPhone = "BEGIN:VCARD\nFN:Łódzka Sp.\nTEL:601 222 333\nEND:VCARD\n";
    const QByteArray otherTown =
        "BEGIN:VCARD\nFN:Łódzka Sp.\nADR:;;;Łódź;;;\nEMAIL:biuro@lodzka.pl\nEND:VCARD\n";
    const QString byPhone = QStringLiteral("ta sama nazwa i miejscowość, ten sam numer telefonu");
    const QString byName = QStringLiteral("ta sama nazwa i miejscowość");
    const QStringList stored{"Łódzka Sp."};
    const QStringList twice{"Łódzka Sp.", "Łódzka Sp."};
    QTest::newRow("e-mail alone, added")
        << sameMail << int(Choice::Skip) << false << 0 << ""
        << "Dodano 1, zaktualizowano 0, pominięto 0" << QStringList{"Inna", "Łódzka Sp."};
    QTest::newRow("another telephone, added") << otherPhone << int(Choice::Skip) << false << 0 << ""
                                              << "Dodano 1, zaktualizowano 0, pominięto 0" << twice;
    QTest::newRow("another town, added") << otherTown << int(Choice::Skip) << false << 0 << ""
                                         << "Dodano 1, zaktualizowano 0, pominięto 0" << twice;
    QTest::newRow("name and telephone, empty fields filled")
        << samePhone << int(Choice::UpdateEmpty) << false << 1 << byPhone
        << "Dodano 0, zaktualizowano 1, pominięto 0" << stored;
    QTest::newRow("name, added anyway")
        << sameName << int(Choice::Add) << false << 1 << byName
        << "Dodano 1, zaktualizowano 0, pominięto 0" << QStringList{"LODZKA  sp.", "Łódzka Sp."};
    QTest::newRow("asked each time")
        << sameName + samePhone << int(Choice::Skip) << false << 2 << byPhone
        << "Dodano 0, zaktualizowano 0, pominięto 2" << stored;
    QTest::newRow("for all the rest")
        << samePhone + sameName + sameMail << int(Choice::Skip) << true << 1 << byPhone
        << "Dodano 1, zaktualizowano 0, pominięto 2" << QStringList{"Inna", "Łódzka Sp."};
    QTest::newRow("in UTF-16") << "\xFF\xFE" + QStringEncoder(QStringEncoder::Utf16LE)
                                                   .encode(QString::fromUtf8(sameName))
                                                   .
                                                   operator QByteArray()
                               << int(Choice::Skip) << false << 1 << byName
                               << "Dodano 0, zaktualizowano 0, pominięto 1" << stored;
    QTest::newRow("blank cards passed over")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nEND:VCARD\nBEGIN:VCARD\nFN: \n"
                      "PHOTO;ENCODING=b:AAAA\nEND:VCARD\nBEGIN:VCARD\nFN:Nowa\nEND:VCARD\n")
        << int(Choice::Skip) << false << 0 << ""
        << "Dodano 1, zaktualizowano 0, pominięto 2, w tym pustych 2"
        << QStringList{"Łódzka Sp.", "Nowa"};
    QTest::newRow("a duplicate within the file")
        << "BEGIN:VCARD\nFN:Nowa\nEND:VCARD\n" + sameMail + "BEGIN:VCARD\nFN:nowa\nEND:VCARD\n"
        << int(Choice::Skip) << false << 1 << byName << "Dodano 2, zaktualizowano 0, pominięto 1"
        << QStringList{"Inna", "Łódzka Sp.", "Nowa"};
    // On another street: one sharing a telephone is a duplicate, one without is not.
    QTest::newRow("a shared telephone within the file")
        << QByteArray("BEGIN:VCARD\nFN:Nowa\nADR:;;Długa 1;;;;\nTEL:22 555 00 01, 22 555 00 02\n"
                      "END:VCARD\nBEGIN:VCARD\nFN:Nowa\nADR:;;Krótka 2;;;;\nTEL:22 555 00 02\n"
                      "END:VCARD\nBEGIN:VCARD\nFN:Nowa\nADR:;;Krótka 2;;;;\nTEL:22 555 00 03\n"
                      "END:VCARD\n")
        << int(Choice::Skip) << false << 1 << byPhone << "Dodano 2, zaktualizowano 0, pominięto 1"
        << QStringList{"Łódzka Sp.", "Nowa", "Nowa"};
}

void TestContactImport::duplicatesFollowTheChoice()
{
    QFETCH(QByteArray, incoming);
    QFETCH(int, choice);
    QFETCH(bool, forAll);
    ContactFixture fx;
    QVERIFY(importFile(fx.table(), write(fx, "a.vcf", kStored), {}).ok);

    Options options;
    int asked = 0;
    QString reason;
    options.askDuplicate = [&](const Duplicate &duplicate) {
        ++asked;
        reason = duplicate.reason;
        if (duplicate.stored[ContactRecord::Nazwa] != QStringLiteral("Łódzka Sp.") &&
            duplicate.stored[ContactRecord::Nazwa] != QStringLiteral("Nowa"))
            qWarning("unexpected stored contact");
        return Decision{Choice(choice), forAll};
    };
    const Result result = importFile(fx.table(), write(fx, "b.vcf", incoming), options);
    QVERIFY2(result.ok, qPrintable(result.error));
    QTEST(asked, "asked");
    QTEST(reason, "reason");
    QTEST(result.summary(), "summary");
    QTEST(fx.walkForward(), "names");
    if (Choice(choice) == Choice::UpdateEmpty) {
        // Only the empty fields were filled; the current record is the updated one.
        QCOMPARE(fx.table().fieldText(QStringLiteral("Http")), QStringLiteral("lodzka.pl"));
        QCOMPARE(fx.table().fieldText(QStringLiteral("Tel")), QStringLiteral("+48 22 555 11 22"));
    }
}

void TestContactImport::aFileImportedTwiceAddsNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("added");
    QTest::newRow("vCard with UIDs")
        << QByteArray("BEGIN:VCARD\nVERSION:4.0\nUID:urn:uuid:1\nFN:Anna\nEND:VCARD\n"
                      "BEGIN:VCARD\nVERSION:4.0\nUID:urn:uuid:2\nFN:Jan\nEND:VCARD\n")
        << int(Format::VCard) << "Dodano 2, zaktualizowano 0, pominięto 0";
    QTest::newRow("vCard, one name in two towns")
        << QByteArray("BEGIN:VCARD\nFN:Anna\nEND:VCARD\n"
                      "BEGIN:VCARD\nFN:Anna\nADR:;;;Gdańsk;;;\nEND:VCARD\n")
        << int(Format::VCard) << "Dodano 2, zaktualizowano 0, pominięto 0";
    QTest::newRow("CSV, one name on two streets")
        << QByteArray("Nazwa;Miasto;Ulica;Tel\nA;Gdańsk;ul. Długa 1;22 555 11 22\n"
                      "A;Gdańsk;Krótka 2;22 555 11 33\na;GDANSK;dluga 1;\n")
        << int(Format::Csv) << "Dodano 2, zaktualizowano 0, pominięto 1";
    // A firm's branches share its name and head office's e-mail address.
    QByteArray branches("Nazwa;Miasto;Tel;Email\n");
    for (int firm = 0; firm < 5; ++firm)
        for (int branch = 0; branch < 10; ++branch)
            branches += QStringLiteral("Firma %1;Miasto %2;22 555 %1%2 00;biuro@firma%1.pl\n")
                            .arg(firm)
                            .arg(branch)
                            .toUtf8();
    QTest::newRow("CSV, branches")
        << branches << int(Format::Csv) << "Dodano 50, zaktualizowano 0, pominięto 0";
}

void TestContactImport::aFileImportedTwiceAddsNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, format);
    ContactFixture fx;
    Options options;
    options.format = Format(format);
    const QString path = write(fx, QStringLiteral("k"), bytes);
    Result result = importFile(fx.table(), path, options);
    QTEST(result.summary(), "added");
    const qint64 added = result.added;
    result = importFile(fx.table(), path, options);
    QVERIFY2(result.summary().startsWith(u"Dodano 0, zaktualizowano 0, pominięto "_s),
             qPrintable(result.summary()));
    QCOMPARE(fx.table().recordCount(), added);
}

void TestContactImport::furtherValuesComeAlong()
{
    // A contact of another database with further values, its UID and kept vCard lines.
    ContactFixture from(true);
    from.add(u"Anna Nowak"_s, {}, {},
             {"PL", "Gdańsk", "", "Długa 1", "", "22 555 11 22", "", "anna@firma.pl"});
    QList<ContactDetail> details{{ContactDetail::Phone, u"komórkowy"_s, {}, u"601 222 333"_s},
                                 {ContactDetail::Email, {}, u"Anna"_s, u"anna@dom.pl"_s}};
    from.table().edit();
    from.table().setDetails(details);
    from.table().post();
    from.sql(uR"(UPDATE "Kartax2000_card" SET uid = 'urn:uuid:a1', kept = 'X-A:1')"_s);
    ContactFixture to;
    Options options;
    options.format = Format::Database;
    Choice choice = Choice::Skip;
    QString reason;
    options.askDuplicate = [&](const Duplicate &duplicate) {
        reason = duplicate.reason;
        return Decision{choice, false};
    };
    const auto import = [&] {
        const Result result = importFile(to.table(), from.databasePath(), options);
        return result.ok ? result.summary() : result.error;
    };
    QCOMPARE(import(), u"Dodano 1, zaktualizowano 0, pominięto 0"_s);
    ContactExtras extras = to.table().extras();
    QCOMPARE(extras.details, details);
    QCOMPARE(extras.uid + u' ' + extras.kept, u"urn:uuid:a1 X-A:1"_s);
    // Found as Znajdź looks, by its further telephone's digits.
    const ContactSearch search(to.table().database(), to.table().tableName());
    QCOMPARE(search.find(u"601222333"_s, SearchScope::All, 10).size(), 1);

    // Known by its UID under another name, it takes the telephone it has now as a further one.
    to.sql(uR"(UPDATE "Kartax2000" SET "Nazwa" = 'Anna N.')"_s);
    from.sql(uR"(UPDATE "Kartax2000" SET "Tel" = '+48 22 555 99 99')"_s);
    choice = Choice::UpdateEmpty;
    QCOMPARE(import(), u"Dodano 0, zaktualizowano 1, pominięto 0"_s);
    QCOMPARE(reason, u"ten sam identyfikator UID"_s);
    details << ContactDetail{ContactDetail::Phone, {}, {}, u"+48 22 555 99 99"_s};
    QCOMPARE(to.table().detailStore().readDetails(to.table().recordId()), details);
    QCOMPARE(search.find(u"225559999"_s, SearchScope::All, 10).size(), 1);
    QCOMPARE(import(), u"Dodano 0, zaktualizowano 0, pominięto 1"_s);
    // Added anyway, it gets a UID of its own.
    choice = Choice::Add;
    QCOMPARE(import(), u"Dodano 1, zaktualizowano 0, pominięto 0"_s);
    extras = to.table().extras();
    QVERIFY(!extras.uid.isEmpty() && extras.uid != u"urn:uuid:a1"_s);
    QCOMPARE(extras.kept, u"X-A:1"_s);
    // A time-ordered one: UIDs made later sort after it.
    static const QRegularExpression v7(
        u"^[0-9a-f]{8}-[0-9a-f]{4}-7[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$"_s);
    QVERIFY2(v7.match(extras.uid).hasMatch(), qPrintable(extras.uid));
    QVERIFY(ContactDetails::newUid() > extras.uid);
}

void TestContactImport::manyContactsKeepTheirFurtherValues()
{
    // More contacts than a server takes in one statement; the 200th repeats the 120th's
    // UID, so it is looked up while the rows before it still wait to be written.
    QByteArray vcf;
    for (int i = 1; i <= 250; ++i)
        vcf += "BEGIN:VCARD\nVERSION:3.0\nFN:K" + QByteArray::number(i) +
               "\nUID:urn:uuid:" + QByteArray::number(i == 200 ? 120 : i) + "\nTEL:1\nTEL:60" +
               QByteArray::number(i) + "\nEND:VCARD\n";
    ContactFixture fx;
    Options options;
    options.format = Format::VCard;
    options.askDuplicate = [](const Duplicate &) { return Decision{Choice::Skip, false}; };
    const Result result = importFile(fx.table(), write(fx, u"k.vcf"_s, vcf), options);
    QCOMPARE(result.ok ? result.summary() : result.error,
             u"Dodano 249, zaktualizowano 0, pominięto 1"_s);
    QCOMPARE(fx.sql(uR"(SELECT count(*), min(value), max(value) FROM "Kartax2000_details")"_s),
             u"249|601|6099\n"_s);
    QCOMPARE(fx.sql(uR"(SELECT c.uid, d.value FROM "Kartax2000" k JOIN "Kartax2000_card" c ON )"
                    uR"(c.id = k.id JOIN "Kartax2000_details" d ON d.contact = k.id )"
                    uR"(WHERE k."Nazwa" = 'K120')"_s),
             u"urn:uuid:120|60120\n"_s);
    // In the file's order, and found by a further value.
    QCOMPARE(fx.sql(uR"(SELECT "Nazwa" FROM "Kartax2000" ORDER BY id DESC LIMIT 1)"_s),
             u"K250\n"_s);
    const ContactSearch search(fx.table().database(), fx.table().tableName());
    QCOMPARE(search.find(u"60250"_s, SearchScope::All, 10).size(), 1);
}

void TestContactImport::anImportIsUndone()
{
    ContactFixture fx;
    QVERIFY(importFile(fx.table(),
                       write(fx, "a.vcf", kStored + "BEGIN:VCARD\nFN:Wisła SA\nEND:VCARD\n"), {})
                .ok);
    // The next import fills both stored contacts' empty fields and adds one.
    const QString path =
        write(fx, "b.vcf",
              "BEGIN:VCARD\nFN:łódzka SP.\nTEL:22-555-11-22\nURL:lodzka.pl\nTEL:601 000 111\n"
              "END:VCARD\nBEGIN:VCARD\nFN:Wisła SA\nNOTE:n\nEND:VCARD\n"
              "BEGIN:VCARD\nFN:Nowa\nEND:VCARD\nBEGIN:VCARD\nFN:Inna\nEND:VCARD\n");
    Options options;
    options.askDuplicate = [](const Duplicate &) { return Decision{Choice::UpdateEmpty, true}; };
    QCOMPARE(importFile(fx.table(), path, options).summary(),
             QStringLiteral("Dodano 2, zaktualizowano 2, pominięto 0"));
    TTable &t = fx.table();
    ImportJournal journal(t.database(), t.tableName(), t.fieldNames());
    const auto last = journal.summary();
    QVERIFY(last);
    QCOMPARE(
        QStringList({last->file, QString::number(last->added), QString::number(last->updated)}),
        QStringList({path, "2", "2"}));
    // Changed since the import, an added contact and an updated one: left, and named.
    QTest::qWait(1100); // an edit a second later carries a later revision
    t.first();
    t.edit();
    t.setFieldText(QStringLiteral("Uwagi"), QStringLiteral("też moja"));
    t.post();
    t.last();
    QCOMPARE(t.fieldText(QStringLiteral("Nazwa")), QStringLiteral("Wisła SA"));
    t.edit();
    t.setFieldText(QStringLiteral("Uwagi"), QStringLiteral("moja"));
    t.post();
    ImportJournal::Undone undone;
    {
        TableBatch batch(t);
        undone = journal.undo(batch);
        batch.commit();
    }
    QCOMPARE(undone.removed, 1);
    QCOMPARE(undone.restored, 1);
    QCOMPARE(undone.changedSince, (QStringList{"Inna", "Wisła SA"}));
    QCOMPARE(fx.walkForward(), (QStringList{"Inna", "Łódzka Sp.", "Wisła SA"}));
    QCOMPARE(fx.walkForward(QStringLiteral("Uwagi")), (QStringList{"też moja", "", "moja"}));
    QCOMPARE(fx.walkForward(QStringLiteral("Http")), (QStringList{"", "", ""}));
    t.first();
    t.next();
    QVERIFY(t.details().isEmpty()); // the further telephone the import added is gone
    QCOMPARE(DeletedContacts(t.database(), t.tableName()).list().first().values.first(),
             QStringLiteral("Nowa"));
    QVERIFY(!journal.summary());
}

void TestContactImport::failureLeavesTheTableAsItWas_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes"); // neither bytes nor sql: the file is not written
    // The file is made by sqlite3 running it; "mkfifo" makes a pipe, "link" a hard link
    // to the address book's own file.
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("error");
    // In a file, enough for a batch that sets the table's indexes aside.
    const int cards = testingOnServer() ? 600 : 5000;
    QByteArray many;
    for (int i = 0; i < cards; ++i)
        many += "BEGIN:VCARD\nFN:K" + QByteArray::number(i) + "\nEND:VCARD\n";
    const QByteArray png("\x89PNG\r\n\x1a\n\0\0", 10);
    QTest::newRow("cancelled") << "k.vcf" << many << "" << true
                               << "Import przerwano; nic nie zaimportowano.";
    QTest::newRow("last card cut short")
        << "k.vcf" << many + "BEGIN:VCARD\nFN:X\n"
        << "" << false << QStringLiteral(", wiersz %1: ").arg(cards * 3 + 1);
    QTest::newRow("no contacts") << "k.vcf" << png << "" << false
                                 << "nie znaleziono żadnych kontaktów";
    QTest::newRow("no column maps") << "k.csv" << QByteArray("Kolor;Waga\nczerwony;3\n") << ""
                                    << false << "Żadna kolumna pliku";
    QTest::newRow("not a database")
        << "k.db" << png << "" << false << "To nie jest baza danych Kartax2000: ";
    QTest::newRow("database without the contact table")
        << "k.db" << QByteArray() << "CREATE TABLE Kartax (Nazwa); INSERT INTO Kartax VALUES (1);"
        << false << "nie zawiera tabeli kontaktów Kartax2000.";
    QTest::newRow("database cancelled") << "k.db" << QByteArray()
                                        << "CREATE TABLE Kartax2000 (Nazwa); INSERT INTO "
                                           "Kartax2000 VALUES ('Nowy');"
                                        << true << "Import przerwano; nic nie zaimportowano.";
    QTest::newRow("the same database by another name")
        << "./Kartax2000.db" << QByteArray() << "" << false
        << "nie można zaimportować bazy do niej samej.";
    QTest::newRow("the same database through a hard link")
        << "./kopia.db" << QByteArray() << "link" << false
        << "nie można zaimportować bazy do niej samej.";
    QTest::newRow("a pipe") << "k.vcf" << QByteArray() << "mkfifo" << false
                            << ": to nie jest zwykły plik, lecz potok lub urządzenie";
    QTest::newRow("a device") << "/dev/urandom" << QByteArray() << "" << false
                              << ": to nie jest zwykły plik, lecz potok lub urządzenie";
    QTest::newRow("database whose table is an endless view")
        << "k.db" << QByteArray()
        << "CREATE VIEW Kartax2000 AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
           "FROM n) SELECT i AS Nazwa FROM n;"
        << false << "„Kartax2000” nie jest zwykłą tabelą";
    QTest::newRow("CSV quote never closed")
        << "k.csv" << QByteArray("Nazwa;Miasto\nA;B\n\"C;D\nE;F\n") << "" << false
        << ", wiersz 3: Cudzysłów otwarty w tym wierszu nie jest zamknięty do końca pliku.";
}

void TestContactImport::failureLeavesTheTableAsItWas()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, sql);
    QFETCH(bool, cancel);
    QFETCH(QString, error);
    if (testingOnServer() && file.startsWith(u'.'))
        QSKIP("the table in a file of its own");
    ContactFixture fx;
    fx.add(QStringLiteral("Stały"));
    const QString path = !bytes.isEmpty()        ? write(fx, file, bytes)
                         : file.startsWith(u'/') ? file
                                                 : fx.folder() + u'/' + file;
    const QByteArray name = QFile::encodeName(path);
    if (sql == u"mkfifo")
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    else if (sql == u"link")
        QCOMPARE(::link(QFile::encodeName(fx.databasePath()).constData(), name.constData()), 0);
    else if (!sql.isEmpty())
        ContactFixture::sqlite3Against(path, sql);
    Options options;
    options.format = formatOf(path).value_or(Format::VCard);
    options.progress = [cancel](qint64, int) { return !cancel; };
    const Result result = importFile(fx.table(), path, options);
    QVERIFY(!result.ok);
    QCOMPARE(result.cancelled, cancel);
    QVERIFY2(result.error.contains(error), qPrintable(result.error));
    QVERIFY(cancel || result.error.contains(path));
    QCOMPARE(fx.walkForward(), QStringList{"Stały"});
    QCOMPARE(fx.sql(QStringLiteral(R"(SELECT count(*) FROM "Kartax2000")")), QStringLiteral("1\n"));
    QVERIFY(othersWritesAreMarked(fx));
    if (!testingOnServer())
        QCOMPARE(fx.sql(kIndexNames), kIndexes);
}

void TestContactImport::serverGoneIsSaidInPolish()
{
    if (!testingOnServer())
        QSKIP("a server's connection");
    ContactFixture fx;
    QByteArray cards;
    for (int i = 0; i < 2000; ++i)
        cards += "BEGIN:VCARD\nFN:K" + QByteArray::number(i) + "\nEND:VCARD\n";
    Options options;
    bool cut = false;
    options.progress = [&fx, &cut](qint64, int) {
        if (!std::exchange(cut, true)) // the server ends the import's connection
            fx.sql(QStringLiteral("SELECT pg_terminate_backend(pg_backend_pid())"));
        return true;
    };
    const Result result = importFile(fx.table(), write(fx, "k.vcf", cards), options);
    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains(u": Połączenie z serwerem bazy danych (serwer "_s) &&
                 result.error.endsWith(u") zostało zerwane.\nNic nie zaimportowano."_s),
             qPrintable(result.error));
}

void TestContactImport::aLargeImportIsIndexedAsASmallOne_data()
{
    QTest::addColumn<bool>("reading"); // another statement of the connection is reading
    QTest::newRow("alone") << false;
    QTest::newRow("while the table is read") << true;
}

void TestContactImport::aLargeImportIsIndexedAsASmallOne()
{
    SKIP_ON_SERVER();
    QFETCH(bool, reading);
    ContactFixture fx;
    fx.add(QStringLiteral("Stały"));
    QSqlQuery reader(fx.table().database());
    QVERIFY(!reading ||
            (reader.exec(QStringLiteral(R"(SELECT id FROM "Kartax2000")")) && reader.next()));
    QByteArray csv("Nazwa;Miasto\n");
    for (int i = 4999; i >= 0; --i)
        csv += QStringLiteral("K%1;Łódź\n").arg(i, 4, 10, QLatin1Char('0')).toUtf8();
    Options options;
    options.format = Format::Csv;
    const Result result = importFile(fx.table(), write(fx, QStringLiteral("k.csv"), csv), options);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.added, 5000);
    fx.table().first();
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("K0000"));
    fx.table().next();
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("K0001"));
    fx.table().last();
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Stały"));
    const ContactSearch search(fx.table().database(), fx.table().tableName());
    QCOMPARE(search.find(QStringLiteral("k4321 lodz"), SearchScope::All, 10).size(), 1);
    QCOMPARE(search.find(QStringLiteral("k432"), SearchScope::NameRepresentativeEmail, 100).size(),
             10);
    QCOMPARE(fx.sql(kIndexNames), kIndexes);
    // The log is copied into the file in the background; the connection copies again.
    QCOMPARE(fx.sql(QStringLiteral("PRAGMA wal_autocheckpoint")), QStringLiteral("1000\n"));
    reader.finish(); // a read left open would see the file as the import left it
    // Once merged in the background, the indexes' memory for pending rows and their
    // merging are back to the defaults, with no setting left in either index.
    QTRY_COMPARE(fx.sql(QStringLiteral("SELECT group_concat(k) FROM (SELECT k FROM "
                                       "Kartax2000_search_config UNION ALL SELECT k FROM "
                                       "Kartax2000_search_names_config)")),
                 QStringLiteral("version,version\n"));
    QCOMPARE(fx.sql(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok\n"));
    for (const char *index : {"Kartax2000_search", "Kartax2000_search_names"})
        QCOMPARE(fx.sql(QStringLiteral("INSERT INTO %1 (%1) VALUES ('integrity-check')")
                            .arg(QLatin1String(index))),
                 QString());
}

QTEST_GUILESS_MAIN(TestContactImport)
#include "tst_contact_import.moc"
