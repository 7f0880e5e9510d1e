#include "exchange/vcard.h"
#include "fuzz.h"
#include "records.h"

#include <QBuffer>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

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
    return result;
}

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
    void mutatedInputNeverBreaksTheReader();
};

void TestVCard::cardFillsFields_data()
{
    QTest::addColumn<QByteArray>("input");
    // Nazwa|Branza|Filia|Kraj|Miasto|Kod|Ulica|Region|Tel|Fax|Email|Http|Uwagi
    QTest::addColumn<QString>("expected");
    QTest::newRow("2.1 quoted-printable Windows-1250")
        << kPhone21
        << "Łódź Budowa||Paweł Kowalski|Polska|Łódź|90-001|ul. Piotrkowska 1|łódzkie|"
           "+48 42 111 22 33|42 111 22 34|pawel@lodzbud.pl||"
           "Pierwsza linia\nDruga bardzo długa linia\nTel.: 600 100 200";
    QTest::newRow("3.0 folded and escaped")
        << kFolded30
        << "Firma, Handel i Usługi|Hurtownia|Anna Nowak|Polska|Kraków|31-000|Rynek 5, Piętro 3|"
           "małopolskie|22 123 45 67||anna@firma.pl|http://firma.pl|"
           "Linia 1\nLinia 2; koniec \\ ukośnik\nTel.: 22 000 00 00\nE-mail: anna@dom.pl";
    const QString grouped = "Jan Zieliński|Transport, Spedycja||Niemcy|Berlin|10115|"
                            "Hauptstraße 1||+48-22-555-01-01||jan@example.com||";
    QTest::newRow("4.0 groups, no organisation") << kGrouped40 << grouped;
    QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + kGrouped40 << grouped;
    const QString text = QString::fromUtf8(kGrouped40);
    QTest::newRow("UTF-16, byte-order mark")
        << "\xFF\xFE" + QStringEncoder(QStringEncoder::Utf16LE).encode(text).operator QByteArray()
        << grouped;
    QTest::newRow("UTF-16 big-endian, no mark")
        << QStringEncoder(QStringEncoder::Utf16BE).encode(text).operator QByteArray() << grouped;
    QTest::newRow("no charset, not UTF-8")
        << QByteArray("BEGIN:VCARD\nVERSION:2.1\nN:Ma\xB3\x65\x63ki;Jan\nTEL;FAX;HOME:1\n"
                      "TEL;FAX;WORK:2\nADR:;;;;;;POL\nEND:VCARD\n")
        << "Jan Małecki|||Polska||||||2|||Faks: 1";
}

void TestVCard::cardFillsFields()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    const ReadResult result = readAll(input);
    QCOMPARE(result.errorLine, 0);
    QCOMPARE(result.records.size(), 1);
    QCOMPARE(fields(result.records.first()), expected.split(u'|'));
}

void TestVCard::badInputIsReportedOrSkipped_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("cards");
    QTest::addColumn<int>("errorLine");
    QTest::addColumn<int>("warnings");
    const QByteArray card = "BEGIN:VCARD\nVERSION:3.0\nFN:A\nEND:VCARD\n";
    QTest::newRow("three cards") << kPhone21 + kFolded30 + kGrouped40 << 3 << 0 << 0;
    QTest::newRow("cut short") << card + kFolded30.left(60) << 1 << 5 << 0;
    QTest::newRow("BEGIN inside a card") << QByteArray("BEGIN:VCARD\nFN:B\n") + card << 1 << 0 << 1;
    QTest::newRow("garbage around cards")
        << QByteArray("\x00\x01\xFF\xFEgarbage\n:\n;;;\n", 18) + card + "END:VCARD\n" + card << 2
        << 0 << 0;
    QTest::newRow("enormous line")
        << card + "BEGIN:VCARD\nNOTE:" + QByteArray(2 << 20, 'x') + "\nEND:VCARD\n"
        << 1 << 6 << 0;
    QTest::newRow("enormous folded line")
        << card + "BEGIN:VCARD\nNOTE:x\n" + QByteArray(" 0123456789\n").repeated(110000) << 1 << 6
        << 0;
}

void TestVCard::badInputIsReportedOrSkipped()
{
    QFETCH(QByteArray, input);
    QFETCH(int, cards);
    QFETCH(int, errorLine);
    QFETCH(int, warnings);
    const ReadResult result = readAll(input);
    QCOMPARE(result.records.size(), cards);
    QCOMPARE(result.errorLine, errorLine);
    QCOMPARE(result.warnings, warnings);
}

void TestVCard::writtenCardsReadBackUnchanged_data()
{
    QTest::addColumn<bool>("v4");
    QTest::addColumn<QStringList>("values");
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
    for (const bool v4 : {true, false}) {
        const char *version = v4 ? "4.0" : "3.0";
        QTest::addRow("%s every field", version) << v4 << full;
        QTest::addRow("%s same name twice", version)
            << v4 << QStringList{"Kowalski", "", "Kowalski"};
        QTest::addRow("%s representative only", version) << v4 << QStringList{"", "", "Nowak"};
        QTest::addRow("%s empty", version) << v4 << QStringList{};
        QTest::addRow("%s blanks kept", version)
            << v4 << QStringList{" A ", "", "", "Sri Lanka ", "", "", " ", "", "", "", "", "", " "};
    }
}

void TestVCard::writtenCardsReadBackUnchanged()
{
    QFETCH(bool, v4);
    QFETCH(QStringList, values);
    const ContactRecord record = recordOf(values);
    const QByteArray card =
        VCardWriter::card(record, v4 ? VCardWriter::Version::V4 : VCardWriter::Version::V3);
    QVERIFY(
        card.startsWith(v4 ? "BEGIN:VCARD\r\nVERSION:4.0\r\n" : "BEGIN:VCARD\r\nVERSION:3.0\r\n"));
    for (const QByteArray &line : card.split('\n')) {
        QVERIFY2(line.size() <= 76, line.constData()); // 75 octets and the CR
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8.decode(line);
        QVERIFY2(!utf8.hasError(), line.constData());
    }
    const ReadResult result = readAll(card + card);
    QCOMPARE(result.records.size(), 2);
    QCOMPARE(fields(result.records.last()), fields(record));
}

void TestVCard::mutatedInputNeverBreaksTheReader()
{
    QRandomGenerator random(20261208);
    const QList<QByteArray> inputs{kPhone21, kFolded30, kGrouped40,
                                   VCardWriter::card(recordOf({"A;b", "c,d", "e\nf"}))};
    for (int round = 0; round < 3000; ++round) {
        const QByteArray input = mutated(inputs, random);
        const ReadResult result = readAll(input);
        QVERIFY(result.records.size() <= input.toUpper().count("BEGIN"));
        for (const ContactRecord &record : result.records) {
            for (const QString &value : record.values) {
                QVERIFY(value.size() <= 2 * input.size());
                QVERIFY(!value.contains(QChar(0)) && !value.contains(u'\r'));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestVCard)
#include "tst_vcard.moc"
