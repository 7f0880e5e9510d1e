#include "exchange/csv.h"
#include "fuzz.h"
#include "records.h"

#include <QBuffer>
#include <QFile>
#include <QStringEncoder>
#include <QTest>

namespace {

// Nazwa, Branża, Przedstawiciel, Miasto, Kraj, Telefon, Uwagi in Windows-1250.
const QByteArray kWindows1250 = "Nazwa;Bran\xBF"
                                "a;Przedstawiciel;Miasto;Kraj;Telefon;Uwagi\r\n"
                                "\"\xA3\xF3"
                                "d\x9F; Sp\xF3\xB3ka\";Budownictwo;Jan Kowalski;\xA3\xF3"
                                "d\x9F;Polska;42 000;"
                                "\"Linia 1\r\nLinia \"\"2\"\"\"\r\n";

const QByteArray kGoogle =
    "Name,Given Name,Family Name,Organization 1 - Name,Organization 1 - Title,"
    "E-mail 1 - Value,E-mail 2 - Value,Phone 1 - Value,Address 1 - Street,Address 1 - City,"
    "Address 1 - Postal Code,Address 1 - Country,Notes\n"
    "Jan Nowak,Jan,Nowak,Nowak Sp. j.,Handel,jan@nowak.pl,jan@dom.pl,+48 1,"
    "\"ul. Kr\xC3\xB3tka 1, lok. 2\",Gda\xC5\x84sk,80-001,Poland,\"Uwaga: \"\"VIP\"\"\"\n";

const QString kOutlook = "First Name\tLast Name\tCompany\tBusiness Phone\tBusiness Fax\t"
                         "E-mail Address\tWeb Page\tMobile Phone\tBusiness Country/Region\t"
                         "Birthday\tPriority\tGender\r\n"
                         "Anna\tMazur\t\t22 1\t22 2\ta@m.pl\tm.pl\t600\tGermany\t"
                         "0/0/00\tNormal\tUnspecified\r\n";

QByteArray encoded(const QString &text, QStringEncoder::Encoding encoding)
{
    QStringEncoder encoder(encoding, QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
}

QByteArray fixture(const char *name)
{
    QFile file(QFINDTESTDATA(QString::fromLatin1("exchange/data/") + QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QVector<int> fieldsOf(const CsvMapping &mapping)
{
    QVector<int> fields;
    for (const CsvColumn &column : mapping)
        fields << column.field;
    return fields;
}

// A record as one line: its fields, then "kind type „label”: value" of each further value.
QString lineOf(const ContactRecord &record)
{
    QStringList line = fields(record);
    for (const ContactDetail &d : record.extras.details)
        line << (QStringList{ContactDetail::kindName(d.kind), d.type,
                             d.label.isEmpty() ? QString() : u'„' + d.label + u'”'}
                     .join(u' ')
                     .simplified() +
                 QStringLiteral(": ") + d.value);
    return line.join(u'|');
}

} // namespace

// CSV files: encodings, delimiters, headers of other programs, bad input, and the
// files the program writes.
class TestCsv : public QObject
{
    Q_OBJECT

private slots:
    void fileIsRecognised_data();
    void fileIsRecognised();
    void rowsAndErrors_data();
    void rowsAndErrors();
    void writtenFilesReadBackUnchanged_data();
    void writtenFilesReadBackUnchanged();
    void mutatedInputNeverBreaksTheReader();
};

void TestCsv::fileIsRecognised_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<CsvEncoding>("chosen");
    QTest::addColumn<CsvEncoding>("encoding");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QVector<int>>("mapping");
    // Nazwa|Branza|Filia|Kraj|Miasto|Kod|Ulica|Region|Tel|Fax|Email|Http|Uwagi|further…
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("kept");
    QTest::newRow("Windows-1250, program's captions")
        << kWindows1250 << CsvEncoding::Detect << CsvEncoding::Windows1250 << ";"
        << QVector<int>{0, 1, 2, 4, 3, 8, 12}
        << QStringList{"Łódź; Spółka|Budownictwo|Jan Kowalski|Polska|Łódź||||42 000||||"
                       "Linia 1\r\nLinia \"2\""}
        << QStringList{};
    const QStringList google{"Nowak Sp. j.||Jan Nowak|Polska|Gdańsk|80-001|ul. Krótka 1, lok. 2||"
                             "+48 1||jan@nowak.pl||Uwaga: \"VIP\"|email: jan@dom.pl|"
                             "inne „Stanowisko”: Handel"};
    const QVector<int> googleMapping{-1, 2, 2, 0, -1, 10, 10, 8, 6, 4, 5, 3, 12};
    QTest::newRow("Google, UTF-8") << kGoogle << CsvEncoding::Detect << CsvEncoding::Utf8 << ","
                                   << googleMapping << google << QStringList{};
    QTest::newRow("Google, UTF-8 chosen") << kGoogle << CsvEncoding::Utf8 << CsvEncoding::Utf8
                                          << "," << googleMapping << google << QStringList{};
    const QStringList outlook{"Anna Mazur|||Niemcy|||||22 1|22 2|a@m.pl|m.pl||tel komórkowy: 600"};
    const QVector<int> outlookMapping{2, 2, 0, 8, 9, 10, 11, 8, 3, -1, -1, -1};
    QTest::newRow("Outlook, UTF-16 LE")
        << encoded(kOutlook, QStringEncoder::Utf16LE) << CsvEncoding::Detect << CsvEncoding::Utf16LE
        << "\t" << outlookMapping << outlook << QStringList{};
    QStringEncoder withoutMark(QStringEncoder::Utf16LE);
    QTest::newRow("Outlook, UTF-16 LE without mark")
        << QByteArray(withoutMark.encode(kOutlook)) << CsvEncoding::Detect << CsvEncoding::Utf16LE
        << "\t" << outlookMapping << outlook << QStringList{};
    QTest::newRow("Outlook, UTF-16 BE")
        << encoded(kOutlook, QStringEncoder::Utf16BE) << CsvEncoding::Detect << CsvEncoding::Utf16BE
        << "\t" << outlookMapping << outlook << QStringList{};
    QTest::newRow("Thunderbird, trailing comma")
        << QByteArray("First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,"
                      "Work Phone,Home Phone,Fax Number,Mobile Number,Work Address,Work Address 2,"
                      "Work City,Work State,Work ZipCode,Work Country,Job Title,Organization,"
                      "Web Page 1,Notes\n"
                      "Ewa,Lis,Ewa Lis,,ewa@lis.pl,,12,,13,,Polna 1,m. 2,Opole,opolskie,45-001,"
                      "Polska,Doradca,Lis i S-ka,lis.pl,,\n")
        << CsvEncoding::Detect << CsvEncoding::Utf8 << ","
        << QVector<int>{2, 2, -1, -1, 10, 10, 8, 8, 9, 8, 6, 6, 4, 7, 5, 3, -1, 0, 11, 12}
        << QStringList{"Lis i S-ka||Ewa Lis|Polska|Opole|45-001|Polna 1, m. 2|opolskie|12|13|"
                       "ewa@lis.pl|lis.pl||inne „Stanowisko”: Doradca"}
        << QStringList{};
    QTest::newRow("ISO-8859-2 detected")
        << QByteArray("Display Name;City\n\xA6wi\xEAty \xA3uk;\xA3\xF3"
                      "d\xBC\n")
        << CsvEncoding::Detect << CsvEncoding::Iso8859_2 << ";" << QVector<int>{2, 4}
        << QStringList{"Święty Łuk||||Łódź||||||||"} << QStringList{};
    QTest::newRow("ISO-8859-2 chosen")
        << QByteArray("Display Name,City\n\xA6wi\xEAty \xA3uk,\xA3\xF3"
                      "d\xBC\n")
        << CsvEncoding::Iso8859_2 << CsvEncoding::Iso8859_2 << "," << QVector<int>{2, 4}
        << QStringList{"Święty Łuk||||Łódź||||||||"} << QStringList{};
    QTest::newRow("spreadsheet with Polish headers, Windows-1250")
        << fixture("arkusz.csv") << CsvEncoding::Detect << CsvEncoding::Windows1250 << ";"
        << QVector<int>{0, 6, 5, 4, 8, 8, 10, 11, 2, -1, 12}
        << QStringList{"Przedsiębiorstwo Handlowe \"Żuraw\" Sp. z o.o.||Tomasz "
                       "Żurawski||Poznań|60-780|"
                       "ul. Grunwaldzka 12||61 852 33 44||biuro@zuraw.pl|www.zuraw.pl|Dostawa w "
                       "czwartki|"
                       "tel komórkowy: 605 111 222|inne „NIP”: 778-12-34-567",
                       "Apteka Pod Orłem||Małgorzata Kędzierska||Łódź|90-102|ul. Piotrkowska 80||"
                       "502 333 444||apteka@podorlem.pl|||inne „NIP”: 725-00-11-222",
                       "Zakład Stolarski Jan Bąk||||Zakopane|34-500|ul. Zakopiańska 3||18 201 22 "
                       "33||||"
                       "Meble na zamówienie\r\nKontakt po 16:00|inne „NIP”: 736-45-67-890"}
        << QStringList{"NIP"};
    QVector<int> webmail(65, -1);
    for (const auto &[column, field] : std::initializer_list<std::pair<int, int>>{
             {1, 2},  {2, 2},  {3, 2},  {25, 12}, {28, 1}, {30, 10}, {32, 10},
             {34, 8}, {36, 8}, {39, 6}, {40, 4},  {42, 7}, {43, 5},  {44, 3},
             {48, 6}, {49, 4}, {51, 7}, {52, 5},  {53, 3}, {56, 0},  {64, 11}})
        webmail[column] = field;
    QTest::newRow("Google Contacts export")
        << fixture("webmail.csv") << CsvEncoding::Detect << CsvEncoding::Utf8 << "," << webmail
        << QStringList{"Budex Sp. z o.o.|Klienci|Jan Kowalski|Polska|Warszawa|00-590|ul. "
                       "Marszałkowska 10|"
                       "mazowieckie|+48 603 555 111||jan.kowalski@budex.pl|www.budex.pl|Klient od "
                       "2019|"
                       "tel komórkowy: +48 503 555 222|tel służbowy: +48 22 555 11 11|"
                       "email domowy: jan.k@poczta.onet.pl|urodziny: 1975-03-14|"
                       "inne „Stanowisko”: Kierownik sprzedaży|inne „Dział”: Handel",
                       "Anna Wiśniewska|||Polska|Gdańsk|80-827|ul. Długa 5/3||+48 601 222 333|"
                       "+48 58 555 22 22|anna.wisniewska@gmail.com|||inne „Nickname”: Ania",
                       "Zieliński i Synowie|Dostawcy|Piotr Zieliński|Polska|Kraków|31-042|Rynek "
                       "Główny 1|"
                       "małopolskie|+48 12 444 55 66||p.zielinski@zielinski.com.pl|||"
                       "email służbowy: biuro@zielinski.com.pl|"
                       "adres domowy: ;;os. Zielone 7;Wieliczka;;32-020;Polska|inne „Stanowisko”: "
                       "Właściciel"}
        << QStringList{"Nickname"};
}

void TestCsv::fileIsRecognised()
{
    QFETCH(QByteArray, input);
    QFETCH(CsvEncoding, chosen);
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(&buffer, chosen);
    QVERIFY(reader.open());
    QTEST(reader.encoding(), "encoding");
    QTEST(QString(reader.delimiter()), "delimiter");
    QTEST(fieldsOf(reader.mapping()), "mapping");
    QFETCH(QStringList, records);
    QCOMPARE(reader.previewRows().size(), records.size());
    QStringList read;
    for (ContactRecord record; reader.readNext(&record);)
        read << lineOf(record);
    QCOMPARE(read, records);
    QVERIFY(!reader.hasError());
    QTEST(reader.keptColumns(), "kept");
}

void TestCsv::rowsAndErrors_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("errorLine");
    const QByteArray header = "Nazwa;Uwagi\n";
    QTest::newRow("no header") << QByteArray("\n\n") << -1 << 1;
    QTest::newRow("header only") << header << 0 << 0;
    QTest::newRow("blank rows skipped, last without break")
        << header + "\n;\r\na;\"b\nc\"\r\n\r\n;;\nd;e" << 2 << 0;
    QTest::newRow("more rows than the preview")
        << header + QByteArray("x;y\n").repeated(25) << 25 << 0;
    QTest::newRow("unclosed quote") << header + "a;b\nc;d\n\"" + QByteArray(3 << 20, 'x') << 2 << 4;
    QTest::newRow("quote never closed") << header + "a;b\n\"c;d\ne;f\n" << 1 << 3;
}

void TestCsv::rowsAndErrors()
{
    QFETCH(QByteArray, input);
    QFETCH(int, rows);
    QFETCH(int, errorLine);
    QBuffer buffer(&input);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(&buffer);
    if (rows < 0) {
        QVERIFY(!reader.open());
    } else {
        QVERIFY(reader.open() || errorLine > 0);
        ContactRecord record;
        int read = 0;
        while (reader.readNext(&record))
            ++read;
        QCOMPARE(read, rows);
    }
    QCOMPARE(reader.hasError() ? reader.errorLine() : 0, errorLine);
}

void TestCsv::writtenFilesReadBackUnchanged_data()
{
    QTest::addColumn<bool>("windows");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<bool>("lossless");
    QTest::addColumn<QByteArray>("start");
    // Two records are written: the first with these further values and UID, then one
    // with the second's; the columns they need, and a piece of the file.
    QTest::addColumn<ContactExtras>("first");
    QTest::addColumn<ContactExtras>("second");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QByteArrayList>("within");
    const QStringList full{"\"Żuraw\"; Sp. z o.o.",
                           "Dźwigi, żurawie",
                           " Jan ",
                           "PL",
                           "Chrząszczyżewoszyce",
                           "00-950",
                           "ul. Długa 1\\3",
                           "łódzkie",
                           "42\t000",
                           "",
                           "ść@ąę.pl",
                           "http://a.pl/?a=1;b=2",
                           "Wiersz 1\r\nwiersz 2\nwiersz 3\n\n€ „cudzysłów”"};
    QTest::newRow("UTF-8") << false << full << true << QByteArray("\xEF\xBB\xBFNazwa;Bran\xC5\xBC")
                           << ContactExtras{} << ContactExtras{} << QStringList{}
                           << QByteArrayList{};
    QTest::newRow("Windows-1250") << true << full << true
                                  << QByteArray("Nazwa;Bran\xBF"
                                                "a;")
                                  << ContactExtras{} << ContactExtras{} << QStringList{}
                                  << QByteArrayList{};
    QTest::newRow("representative only")
        << false << QStringList{"", "", "Nowak"} << true << QByteArray("\xEF\xBB\xBF")
        << ContactExtras{} << ContactExtras{} << QStringList{} << QByteArrayList{};
    QTest::newRow("Windows-1250 loses Japanese")
        << true << QStringList{"日本"} << false << QByteArray("Nazwa;") << ContactExtras{}
        << ContactExtras{} << QStringList{} << QByteArrayList{};

    using D = ContactDetail;
    ContactExtras first;
    first.uid = "urn:uuid:4f1c2a3e-0000-4000-8000-000000000001";
    first.details = {{D::Phone, "komórkowy", "", "+48 603 555 111"},
                     {D::Phone, "", "recepcja", "=1+1"},
                     {D::Fax, "", "", "-5"},
                     {D::Email, "domowy", "", "@jan"},
                     {D::Web, "", "", "http://b.pl"},
                     {D::Address, "domowy", "", D::joinAddress({"", "", "Polna 1", "Opole"})},
                     {D::Person, "", "", "Ewa Lis"},
                     {D::Birthday, "", "", "1980-02-29"},
                     {D::Other, "", "Stanowisko", "'=HYPERLINK(\"x\")"},
                     {D::Other, "", "Stanowisko", "Prezes"},
                     {D::Other, "", "Telefon 2", "etykieta jak kolumna"},
                     {D::Other, "x", "NIP", "+48 22;\n\"1\""}};
    ContactExtras second;
    second.uid = "2";
    second.details = {{D::Phone, "domowy", "", "'+48 1"}, {D::Other, "", "NIP", "\t7"}};
    QStringList formulas = full;
    formulas[0] = "=SUM(A1:A2)";
    formulas[8] = "+48 22 555 11 11";
    formulas[9] = "-x";
    QTest::newRow("further values, UID, cells like formulas")
        << true << formulas << true << QByteArray("Nazwa;") << first << second
        << QStringList{"Telefon 2",       "Telefon 2 – typ",
                       "Telefon 3",       "Telefon 3 – etykieta",
                       "Faks 2",          "E-mail 2 (domowy)",
                       "Strona WWW 2",    "Adres 2 (domowy)",
                       "Osoba 2",         "Urodziny",
                       "Stanowisko",      "Stanowisko",
                       "Inne: Telefon 2", "NIP",
                       "NIP – typ",       "UID"}
        << QByteArrayList{"\r\n'=SUM(A1:A2);",
                          ";+48 22 555 11 11;'-x;",
                          ";\"''=HYPERLINK(",
                          ";+48 603 555 111;",
                          ";'=1+1;",
                          ";-5;",
                          ";'\t7;"};
}

void TestCsv::writtenFilesReadBackUnchanged()
{
    QFETCH(bool, windows);
    QFETCH(QStringList, values);
    QFETCH(bool, lossless);
    QFETCH(QByteArray, start);
    QFETCH(ContactExtras, first);
    QFETCH(ContactExtras, second);
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    CsvWriter writer(&out, windows ? CsvWriter::Encoding::Windows1250 : CsvWriter::Encoding::Utf8);
    QList<ContactRecord> records{recordOf(values), recordOf(values)};
    records[0].extras = first;
    records[1].extras = second;
    const QStringList columns = CsvWriter::detailColumns({first, second});
    QTEST(columns, "columns");
    writer.setColumns(columns);
    QVERIFY(writer.write(records[0]));
    QVERIFY(writer.write(records[1]));
    QCOMPARE(writer.lossless(), lossless);
    QCOMPARE(writer.unplaced(), 0);
    QVERIFY(bytes.startsWith(start));
    QFETCH(QByteArrayList, within);
    for (const QByteArray &piece : within)
        QVERIFY2(bytes.contains(piece), piece.constData());
    if (!lossless)
        return;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    CsvReader reader(&in);
    QVERIFY(reader.open());
    QCOMPARE(fieldsOf(reader.mapping()).mid(0, 13),
             (QVector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    for (const ContactRecord &record : std::as_const(records)) {
        ContactRecord back;
        QVERIFY(reader.readNext(&back));
        QCOMPARE(fields(back), fields(record));
        QCOMPARE(back.extras.details, record.extras.details);
        QCOMPARE(back.extras.uid, record.extras.uid);
    }
    QCOMPARE(reader.keptColumns(), QStringList{}); // its own "other" columns are not unknown
}

void TestCsv::mutatedInputNeverBreaksTheReader()
{
    QRandomGenerator random(20261208);
    const QList<QByteArray> inputs{kWindows1250, kGoogle,
                                   encoded(kOutlook, QStringEncoder::Utf16LE),
                                   encoded(kOutlook, QStringEncoder::Utf8)};
    for (int round = 0; round < 3000; ++round) {
        QByteArray input = mutated(inputs, random);
        QBuffer buffer(&input);
        buffer.open(QIODevice::ReadOnly);
        CsvReader reader(&buffer, CsvEncoding(random.bounded(6)));
        if (!reader.open())
            continue;
        ContactRecord record;
        int rows = 0;
        while (reader.readNext(&record)) {
            QVERIFY(++rows <= input.size());
            for (const QString &value : record.values)
                QVERIFY(value.size() <= 2 * input.size() + 64);
        }
        QVERIFY(reader.mapping().size() == reader.headers().size());
    }
}

QTEST_GUILESS_MAIN(TestCsv)
#include "tst_csv.moc"
