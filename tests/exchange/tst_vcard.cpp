#include "exchange/vcard.h"
#include "fuzz.h"
#include "records.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

Q_DECLARE_METATYPE(ContactRecord)

namespace {

const QByteArray kPhone21 =
    "BEGIN:VCARD\r\nVERSION:2.1\r\n"
    "N;CHARSET=WINDOWS-1250;ENCODING=QUOTED-PRINTABLE:Kowalski;Pawe=B3\r\n"
    "FN;CHARSET=WINDOWS-1250;ENCODING=QUOTED-PRINTABLE:Pawe=B3 Kowalski\r\n"
    "ORG;CHARSET=WINDOWS-1250;ENCODING=QUOTED-PRINTABLE:=A3=F3d=9F Budowa;Dzia=B3\r\n"
    "TEL;CELL:600 100 200\r\n"
    "TEL;WORK;VOICE:+48 42 111 22 33\r\n"
    "TEL;WORK;FAX:42 111 22 34\r\n"
    "EMAIL;INTERNET:pawel@lodzbud.pl\r\n"
    "ADR;WORK;CHARSET=WINDOWS-1250;ENCODING=QUOTED-PRINTABLE:;;ul. Piotrkowska 1;=A3=F3d=9F;"
    "=B3=F3dzkie;90-001;Poland\r\n"
    "NOTE;CHARSET=WINDOWS-1250;ENCODING=QUOTED-PRINTABLE:Pierwsza linia=0D=0ADruga bardzo d=\r\n"
    "=B3uga linia\r\n"
    "END:VCARD\r\n";

const QByteArray kFolded30 =
    "BEGIN:VCARD\nVERSION:3.0\nFN:Anna Nowak\nN:Nowak;Anna;;;\n"
    "ORG:Firma\\, Handel i Us\n \xC5\x82ugi;Sprzeda\xC5\xBC\n"
    "TITLE:Hurtownia\n"
    "TEL;TYPE=HOME:22 000 00 00\n"
    "TEL;TYPE=WORK;TYPE=VOICE:22 123 45 67\n"
    "EMAIL;TYPE=INTERNET:anna@dom.pl\n"
    "EMAIL;TYPE=INTERNET;TYPE=WORK:anna@firma.pl\n"
    "ADR;TYPE=HOME:;;Domowa 2;Krak\xC3\xB3w;;30-001;PL\n"
    "ADR;TYPE=WORK:;Pi\xC4\x99tro 3;Rynek 5;Krak\xC3\xB3w;ma\xC5\x82opolskie;"
    "31-000;PL\n"
    "URL:http://firma.pl\n"
    "NOTE:Linia 1\\nLinia 2\\; koniec \\\\ uko\xC5\x9Bnik\n"
    "END:VCARD\n";

const QByteArray kGrouped40 = "BEGIN:VCARD\r\nVERSION:4.0\r\nfn:Jan Zieli\xC5\x84ski\r\n"
                              "item1.email;type=pref:jan@example.com\r\n"
                              "item1.X-ABLabel:Praca\r\n"
                              "item2.tel;value=uri;type=\"work,voice\":tel:+48-22-555-01-01\r\n"
                              "item3.ADR;TYPE=work:;;Hauptstra\xC3\x9F"
                              "e 1;Berlin;;10115;Germany\r\n"
                              "X-UNKNOWN;FOO=bar:whatever\r\n"
                              "categories:Transport,Spedycja\r\n"
                              "END:VCARD\r\n";

struct ReadResult
{
    QList<ContactRecord> records;
    qint64 errorLine = 0;
    qsizetype warnings = 0;
    qsizetype notices = 0;
};

ReadResult readAll(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    VCardReader reader(&buffer);
    ReadResult result;
    ContactRecord record;
    while (reader.readNext(&record))
        result.records << record;
    result.errorLine = reader.hasError() ? reader.errorLine() : 0;
    result.warnings = reader.warnings().size();
    result.notices = reader.notices().size();
    return result;
}

// A record's further values ("kind|type|label|value"), UID, revision and kept lines.
QStringList extrasOf(const ContactRecord &record, bool kept = true)
{
    QStringList lines;
    for (const ContactDetail &d : record.extras.details)
        lines << QStringList{ContactDetail::kindName(d.kind), d.type, d.label, d.value}.join(u'|');
    if (!record.extras.uid.isEmpty())
        lines << "UID " + record.extras.uid;
    if (!record.extras.revision.isEmpty())
        lines << "REV " + record.extras.revision;
    if (kept && !record.extras.kept.isEmpty())
        lines << record.extras.kept.split(u'\n');
    return lines;
}

// The names of the kept lines but N, which goes back only while it names the contact.
QStringList keptNames(const ContactRecord &record)
{
    QStringList names;
    for (const QString &line : record.extras.kept.split(u'\n', Qt::SkipEmptyParts))
        names << line.section(QRegularExpression("[;:]"), 0, 0);
    names.removeAll("N");
    return names;
}

QByteArray fixture(const char *name)
{
    QFile file(QFINDTESTDATA(QString::fromLatin1("exchange/data/") + QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The index-th card of a file.
QByteArray cardOf(const QByteArray &file, int index)
{
    return "BEGIN:VCARD" + QString::fromUtf8(file).split("BEGIN:VCARD").value(index + 1).toUtf8();
}

const QString kPhoto =
    "/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAABAgMEBQYHCAkKCwwNDg8QERITFBUWFxgZGhscHR4fICEiIy"
    "QlJicoKSorLC0uLzAxMjM0NTY3ODk6Ozw9Pj8AAQIDBAUGBwgJCgsMDQ4PEBESExQVFhcYGRobHB0eHyAh"
    "IiMkJSYnKCkqKywtLi8wMTIzNDU2Nzg5Ojs8PT4//9k=";

} // namespace

// vCard files: the fields a card fills, bad input, and the cards the program writes.
class TestVCard : public QObject
{
    Q_OBJECT

private slots:
    void cardFillsFields_data();
    void cardFillsFields();
    void badInputIsReportedOrSkipped_data();
    void badInputIsReportedOrSkipped();
    void writtenCardsReadBackUnchanged_data();
    void writtenCardsReadBackUnchanged();
    void mutatedInputNeverBreaksTheReaderNorTheWriter();
};

void TestVCard::cardFillsFields_data()
{
    QTest::addColumn<QByteArray>("input");
    // Nazwa|Branza|Filia|Kraj|Miasto|Kod|Ulica|Region|Tel|Fax|Email|Http|Uwagi
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("extras");
    QTest::newRow("2.1 quoted-printable Windows-1250")
        << kPhone21
        << "Łódź Budowa||Paweł Kowalski|Polska|Łódź|90-001|ul. Piotrkowska 1|łódzkie|"
           "+48 42 111 22 33|42 111 22 34|pawel@lodzbud.pl||"
           "Pierwsza linia\nDruga bardzo długa linia"
        << QStringList{"inne||Dział|Dział", "tel|komórkowy||600 100 200"};
    QTest::newRow("3.0 folded and escaped")
        << kFolded30
        << "Firma, Handel i Usługi||Anna Nowak|Polska|Kraków|31-000|Rynek 5, Piętro 3|"
           "małopolskie|22 123 45 67||anna@firma.pl|http://firma.pl|"
           "Linia 1\nLinia 2; koniec \\ ukośnik"
        << QStringList{"inne||Dział|Sprzedaż", "inne||Stanowisko|Hurtownia",
                       "tel|domowy||22 000 00 00", "email|||anna@dom.pl",
                       "adres|domowy||;;Domowa 2;Kraków;;30-001;PL"};
    const QString grouped = "Jan Zieliński|Transport, Spedycja||Niemcy|Berlin|10115|"
                            "Hauptstraße 1||+48-22-555-01-01||jan@example.com||";
    const QStringList groupedKept{"item1.X-ABLabel:Praca", "X-UNKNOWN;FOO=bar:whatever"};
    QTest::newRow("4.0 groups, no organisation") << kGrouped40 << grouped << groupedKept;
    QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + kGrouped40 << grouped << groupedKept;
    const QString text = QString::fromUtf8(kGrouped40);
    QTest::newRow("UTF-16, byte-order mark")
        << "\xFF\xFE" + QStringEncoder(QStringEncoder::Utf16LE).encode(text).operator QByteArray()
        << grouped << groupedKept;
    QTest::newRow("UTF-16 big-endian, no mark")
        << QStringEncoder(QStringEncoder::Utf16BE).encode(text).operator QByteArray() << grouped
        << groupedKept;
    QTest::newRow("no charset, not UTF-8")
        << QByteArray("BEGIN:VCARD\nVERSION:2.1\nN:Ma\xB3\x65\x63ki;Jan\nTEL;FAX;HOME:1\n"
                      "TEL;FAX;WORK:2\nADR:12;;;;;;POL\nADR;WORK:;;;\nTEL;WORK:\nTEL:5\n"
                      "END:VCARD\n")
        << "Jan Małecki|||Polska|||skr. poczt. 12||5|2|||"
        << QStringList{"fax|domowy||1", "N:Małecki;Jan"};
    QTest::newRow("an earlier version's own card: TITLE is the line of business")
        << QByteArray("BEGIN:VCARD\nVERSION:4.0\nPRODID:-//Kartax2000//Kartax2000//PL\nFN:Ala\n"
                      "N:Ala;;;;\nORG:Alfa\nTITLE:Meble\nEND:VCARD\n")
        << "Alfa|Meble|Ala||||||||||" << QStringList{};

    const QByteArray phone = fixture("phone-2.1.vcf");
    QTest::newRow("phone: person with a photo")
        << cardOf(phone, 0)
        << "Hydro-Bud||Paweł Żółkiewicz||||||42 630 99 00||p.zolkiewicz@hydrobud.pl||"
           "Klucze do piwnicy u sąsiada\nKod bramy 1234, piętro 3"
        << QStringList{"tel|komórkowy||+48 600 100 200",
                       "tel|komórkowy||+48 601 300 400",
                       "tel|domowy||42 630 11 22",
                       "email|domowy||pawel.zolkiewicz@gmail.com",
                       "inne||Stanowisko|Kierownik budowy",
                       "X-ANDROID-CUSTOM;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:vnd.android."
                       "cursor.item/nickname;=50=61=77=65=C5=82=65=6B;1;;;;;;;;;;;;;",
                       "PHOTO;ENCODING=BASE64;JPEG:" + kPhoto};
    QTest::newRow("phone: person without an organisation")
        << cardOf(phone, 1) << "Mama||||||||+48 602 555 666||||"
        << QStringList{"tel|domowy||42 640 12 34", "urodziny|||1958-03-21", "N:;Mama;;;",
                       "X-ANDROID-CUSTOM:vnd.android.cursor.item/relation;Tata;1;;;;;;;;;;;;;"};
    QTest::newRow("phone: company") << cardOf(phone, 2)
                                    << "Pizzeria Roma||||Łódź|90-006|ul. Piotrkowska 120||42 633 "
                                       "00 00|||http://pizzeriaroma.pl|"
                                    << QStringList{"tel|służbowy||42 633 00 01"};
    const QByteArray desktop = fixture("desktop-3.0.vcf");
    QTest::newRow("desktop: person of an organisation")
        << cardOf(desktop, 0)
        << "Politechnika Łódzka|Nauka, Dostawcy|dr Anna Nowak|Polska|Łódź|90-924|"
           "ul. Żeromskiego 116, pok. 112|łódzkie|+48 42 631 30 00|+48 42 631 30 01|"
           "anna.nowak@p.lodz.pl|https://www.p.lodz.pl|Poznana na konferencji w Toruniu, 2019."
        << QStringList{"inne||Dział|Instytut Chemii, Zakład Fizykochemii",
                       "inne||Stanowisko|Adiunkt",
                       "inne||Funkcja|Kierownik projektu",
                       "urodziny|||1979-04-15",
                       "email|domowy||ania.nowak@poczta.onet.pl",
                       "email|other||anowak@example.org",
                       "tel|komórkowy||+48 605 000 111",
                       "adres|domowy||;;ul. Narutowicza 2 m. 5;Łódź;;90-135;Polska",
                       "UID pas-id-6571A2B300000001",
                       "REV 2026-11-02T10:15:00Z",
                       "N:Nowak;Anna;;dr;",
                       "X-EVOLUTION-FILE-AS:Nowak\\, Anna",
                       "NICKNAME:Ania",
                       "LABEL;TYPE=WORK:ul. Żeromskiego 116\\npok. 112\\n90-924 Łódź",
                       "X-EVOLUTION-BLOG-URL:https://anowak.blog.pl",
                       "PHOTO;ENCODING=b;TYPE=JPEG:" + kPhoto,
                       "X-MOZILLA-HTML:FALSE"};
    QTest::newRow("desktop: company")
        << cardOf(desktop, 1)
        << "Hurtownia Elektryczna ELMAX|Dostawcy, Elektryka||Polska|Łódź|92-412|"
           "ul. Rokicińska 164||+48 42 684 20 00|+48 42 684 20 01|biuro@elmax.pl|"
           "https://elmax.pl|"
        << QStringList{"email|służbowy||zamowienia@elmax.pl",
                       "UID 8f3c2a1e-5b7d-4c9a-9e21-0d6f4b2a7c11", "X-ABSHOWAS:COMPANY",
                       "item1.X-ABLabel:_$!<HomePage>!$_"};
}

void TestVCard::cardFillsFields()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    QFETCH(QStringList, extras);
    const ReadResult result = readAll(input);
    QCOMPARE(result.errorLine, 0);
    QCOMPARE(result.records.size(), 1);
    QCOMPARE(fields(result.records.first()), expected.split(u'|'));
    QCOMPARE(extrasOf(result.records.first()), extras);
}

void TestVCard::badInputIsReportedOrSkipped_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("cards");
    QTest::addColumn<int>("errorLine");
    QTest::addColumn<int>("warnings");
    QTest::addColumn<int>("notices");
    const QByteArray card = "BEGIN:VCARD\nVERSION:3.0\nFN:A\nEND:VCARD\n";
    QTest::newRow("three cards") << kPhone21 + kFolded30 + kGrouped40 << 3 << 0 << 0 << 0;
    QTest::newRow("cut short") << card + kFolded30.left(60) << 1 << 5 << 0 << 0;
    QTest::newRow("BEGIN inside a card")
        << QByteArray("BEGIN:VCARD\nFN:B\n") + card << 1 << 0 << 1 << 0;
    QTest::newRow("garbage around cards")
        << QByteArray("\x00\x01\xFF\xFEgarbage\n:\n;;;\n", 18) + card + "END:VCARD\n" + card << 2
        << 0 << 0 << 0;
    QTest::newRow("enormous line")
        << card + "BEGIN:VCARD\nNOTE:" + QByteArray(2 << 20, 'x') + "\nEND:VCARD\n"
        << 1 << 6 << 0 << 0;
    QTest::newRow("enormous folded line")
        << card + "BEGIN:VCARD\nNOTE:x\n" + QByteArray(" 0123456789\n").repeated(110000) << 1 << 6
        << 0 << 0;
    const QByteArray photo = "PHOTO;ENCODING=b:" + QByteArray(700000, 'A') + "\n";
    QTest::newRow("more than 1 MB kept") << card + "BEGIN:VCARD\n" + photo + photo + "END:VCARD\n"
                                         << 2 << 0 << 0 << 1;
}

void TestVCard::badInputIsReportedOrSkipped()
{
    QFETCH(QByteArray, input);
    QFETCH(int, cards);
    QFETCH(int, errorLine);
    QFETCH(int, warnings);
    QFETCH(int, notices);
    const ReadResult result = readAll(input);
    QCOMPARE(result.records.size(), cards);
    QCOMPARE(result.errorLine, errorLine);
    QCOMPARE(result.warnings, warnings);
    QCOMPARE(result.notices, notices);
}

void TestVCard::writtenCardsReadBackUnchanged_data()
{
    QTest::addColumn<bool>("v4");
    QTest::addColumn<ContactRecord>("record");
    QTest::addColumn<QByteArray>("line"); // one the card holds, from its start
    const QStringList full{"Zakład \"Żuraw\"; Sp. z o.o., Łódź",
                           "Dźwigi, żurawie",
                           "Grzegorz Brzęczyszczykiewicz",
                           "PL",
                           "Chrząszczyżewoszyce",
                           "00-950",
                           "ul. Długa 1\\3",
                           "łódzkie",
                           "tel:+48 42 000",
                           "42;001",
                           "biuro@zuraw.pl",
                           "https://zuraw.pl/a,b;c",
                           QString(40, u'ą') + "\nwiersz 2\n\n\\n nie jest znakiem\n" +
                               QString(100, u'€')};
    using D = ContactDetail;
    ContactRecord every = recordOf(full);
    every.extras.details = {
        {D::Other, "", "Dział", "Zarząd, , Sekretariat"},
        {D::Phone, "komórkowy, x-własny", "Prywatny; \"drugi\" ^", "+48 600 000 001"},
        {D::Fax, "domowy", "", "22 000 00 02"},
        {D::Web, "", "blog", "https://x.pl/a,b"},
        {D::Address, "służbowy", "magazyn", "skr. 5;;ul. A\\;B;Łódź;;90-001;Polska"},
        {D::Person, "", "Sekretarka", "Maria Wiśniewska"},
        {D::Birthday, "", "", "1970-01-31"},
        {D::Birthday, "", "", "imieniny, 24 czerwca"},
        {D::Other, "", "Stanowisko", "Prezes"},
        {D::Other, "", "Kategorie", "VIP, Stali"},
        {D::Other, "", "Dział", "Kadry"},
        {D::Other, "", "NIP", "725-000-00-00"},
        {D::Other, "", "", "bez etykiety"},
        {D::Email, "", "", "a@b.pl"}};
    every.extras.uid = "urn:uuid:0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0";
    every.extras.revision = "2026-12-10T08:15:00Z";
    every.extras.kept = "N:Brzęczyszczykiewicz;Grzegorz;;inż.;\nitem2.X-ABLabel:Sklep\n"
                        "X-ANDROID-CUSTOM;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:"
                        "vnd.android.cursor.item/nickname;=C5=81ukasz=0D=0A2";
    const QByteArray phone = fixture("phone-2.1.vcf");
    const QByteArray desktop = fixture("desktop-3.0.vcf");
    const auto read = [](const QByteArray &file, int card) {
        return readAll(cardOf(file, card)).records.value(0);
    };
    ContactRecord renamed = read(desktop, 0);
    renamed[ContactRecord::Filia] = "Anna Maria Kowalska";
    for (const bool v4 : {true, false}) {
        const char *version = v4 ? "4.0" : "3.0";
        QTest::addRow("%s every field", version) << v4 << recordOf(full) << QByteArray();
        QTest::addRow("%s same name twice", version)
            << v4 << recordOf({"Kowalski", "", "Kowalski"}) << QByteArray("N:Kowalski;;;;\r\n");
        QTest::addRow("%s representative only", version)
            << v4 << recordOf({"", "", "Nowak"}) << QByteArray("ORG:\r\n");
        QTest::addRow("%s empty", version) << v4 << recordOf({}) << QByteArray("N:;;;;\r\n");
        QTest::addRow("%s blanks kept", version)
            << v4 << recordOf({" A ", "", "", "Sri Lanka ", "", "", " ", "", "", "", "", "", " "})
            << QByteArray();
        QTest::addRow("%s name split", version)
            << v4 << recordOf({"Firma", "", "Jan  Maria Kowalski"})
            << QByteArray("N:Kowalski;Jan Maria;;;\r\nORG:Firma\r\n");
        QTest::addRow("%s every kind of value", version)
            << v4 << every
            << QByteArray("X-ANDROID-CUSTOM:vnd.android.cursor.item/nickname;Łukasz\\n2\r\n");
        QTest::addRow("%s phone: person", version)
            << v4 << read(phone, 0)
            << QByteArray(v4 ? "PHOTO:data:image/jpeg;base64,/9j/"
                             : "PHOTO;ENCODING=b;TYPE=JPEG:/9j/");
        QTest::addRow("%s phone: no organisation", version)
            << v4 << read(phone, 1) << QByteArray("FN:Mama\r\nN:;Mama;;;\r\nTEL;");
        QTest::addRow("%s phone: company", version)
            << v4 << read(phone, 2) << QByteArray("N:;;;;\r\nORG:Pizzeria Roma\r\n");
        QTest::addRow("%s desktop: person", version)
            << v4 << read(desktop, 0)
            << QByteArray("N:Nowak;Anna;;dr;\r\nORG:Politechnika Łódzka;Instytut Chemii;"
                          "Zakład Fizykochemii\r\nCATEGORIES:Nauka,Dostawcy\r\n");
        QTest::addRow("%s desktop: renamed", version)
            << v4 << renamed << QByteArray("N:Kowalska;Anna Maria;;;\r\n");
        QTest::addRow("%s desktop: company", version)
            << v4 << read(desktop, 1)
            << QByteArray(v4 ? "EMAIL;TYPE=work:zamowienia" : "EMAIL;TYPE=WORK:zamowienia");
    }
}

void TestVCard::writtenCardsReadBackUnchanged()
{
    QFETCH(bool, v4);
    QFETCH(ContactRecord, record);
    QFETCH(QByteArray, line);
    const auto version = v4 ? VCardWriter::Version::V4 : VCardWriter::Version::V3;
    const QByteArray card = VCardWriter::card(record, version);
    QVERIFY(
        card.startsWith(v4 ? "BEGIN:VCARD\r\nVERSION:4.0\r\n" : "BEGIN:VCARD\r\nVERSION:3.0\r\n"));
    QVERIFY2(card.contains("\r\n" + line), card.constData());
    for (const QByteArray &physical : card.split('\n')) {
        QVERIFY2(physical.size() <= 76, physical.constData()); // 75 octets and the CR
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8.decode(physical);
        QVERIFY2(!utf8.hasError(), physical.constData());
    }
    const ReadResult result = readAll(card + card);
    QCOMPARE(result.records.size(), 2);
    const ContactRecord &back = result.records.last();
    QCOMPARE(fields(back), fields(record));
    QCOMPARE(extrasOf(back, false), extrasOf(record, false));
    // Kept lines come back one for one (N while it names the contact), some in the
    // version's syntax, and from there on unchanged: the card read back writes the same card.
    QCOMPARE(keptNames(back), keptNames(record));
    QCOMPARE(VCardWriter::card(back, version), card);
}

void TestVCard::mutatedInputNeverBreaksTheReaderNorTheWriter()
{
    QRandomGenerator random(20261208);
    const QList<QByteArray> inputs{kPhone21,
                                   kFolded30,
                                   kGrouped40,
                                   VCardWriter::card(recordOf({"A;b", "c,d", "e\nf"})),
                                   fixture("phone-2.1.vcf"),
                                   fixture("desktop-3.0.vcf")};
    for (int round = 0; round < 3000; ++round) {
        const QByteArray input = mutated(inputs, random);
        const ReadResult result = readAll(input);
        QVERIFY(result.records.size() <= input.toUpper().count("BEGIN"));
        for (const ContactRecord &record : result.records) {
            QStringList values(record.values.begin(), record.values.end());
            values << extrasOf(record);
            for (const QString &value : values) {
                QVERIFY(value.size() <= 2 * input.size());
                QVERIFY(!value.contains(QChar(0)) && !value.contains(u'\r'));
            }
            // Whatever was read is written as one card that reads back the same.
            const QByteArray card = VCardWriter::card(record, VCardWriter::Version::V3);
            const ContactRecord back = readAll(card).records.value(0);
            QCOMPARE(fields(back), fields(record));
            QCOMPARE(extrasOf(back, false), extrasOf(record, false));
        }
    }
}

QTEST_GUILESS_MAIN(TestVCard)
#include "tst_vcard.moc"
