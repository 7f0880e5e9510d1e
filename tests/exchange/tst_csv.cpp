#include "exchange/csv.h"
#include "fuzz.h"
#include "records.h"

#include <QBuffer>
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
                         "E-mail Address\tWeb Page\tMobile Phone\tBusiness Country/Region\r\n"
                         "Anna\tMazur\t\t22 1\t22 2\ta@m.pl\tm.pl\t600\tGermany\r\n";

QByteArray encoded(const QString &text, QStringEncoder::Encoding encoding)
{
    QStringEncoder encoder(encoding, QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
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
    // Nazwa|Branza|Filia|Kraj|Miasto|Kod|Ulica|Region|Tel|Fax|Email|Http|Uwagi
    QTest::addColumn<QString>("first");
    QTest::newRow("Windows-1250, program's captions")
        << kWindows1250 << CsvEncoding::Detect << CsvEncoding::Windows1250 << ";"
        << QVector<int>{0, 1, 2, 4, 3, 8, 12}
        << "Łódź; Spółka|Budownictwo|Jan Kowalski|Polska|Łódź||||42 000||||Linia 1\r\nLinia \"2\"";
    const QString google = "Nowak Sp. j.|Handel|Jan Nowak|Polska|Gdańsk|80-001|"
                           "ul. Krótka 1, lok. 2||+48 1||jan@nowak.pl||"
                           "E-mail 2 - Value: jan@dom.pl\nUwaga: \"VIP\"";
    const QVector<int> googleMapping{-1, 2, 2, 0, 1, 10, 12, 8, 6, 4, 5, 3, 12};
    QTest::newRow("Google, UTF-8")
        << kGoogle << CsvEncoding::Detect << CsvEncoding::Utf8 << "," << googleMapping << google;
    QTest::newRow("Google, UTF-8 chosen")
        << kGoogle << CsvEncoding::Utf8 << CsvEncoding::Utf8 << "," << googleMapping << google;
    const QString outlook = "Anna Mazur|||Niemcy|||||22 1|22 2|a@m.pl|m.pl|Mobile Phone: 600";
    const QVector<int> outlookMapping{2, 2, 0, 8, 9, 10, 11, 12, 3};
    QTest::newRow("Outlook, UTF-16 LE")
        << encoded(kOutlook, QStringEncoder::Utf16LE) << CsvEncoding::Detect << CsvEncoding::Utf16LE
        << "\t" << outlookMapping << outlook;
    QStringEncoder withoutMark(QStringEncoder::Utf16LE);
    QTest::newRow("Outlook, UTF-16 LE without mark")
        << QByteArray(withoutMark.encode(kOutlook)) << CsvEncoding::Detect << CsvEncoding::Utf16LE
        << "\t" << outlookMapping << outlook;
    QTest::newRow("Outlook, UTF-16 BE")
        << encoded(kOutlook, QStringEncoder::Utf16BE) << CsvEncoding::Detect << CsvEncoding::Utf16BE
        << "\t" << outlookMapping << outlook;
    QTest::newRow("Thunderbird, trailing comma")
        << QByteArray("First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,"
                      "Work Phone,Home Phone,Fax Number,Mobile Number,Work Address,Work Address 2,"
                      "Work City,Work State,Work ZipCode,Work Country,Job Title,Organization,"
                      "Web Page 1,Notes\n"
                      "Ewa,Lis,Ewa Lis,,ewa@lis.pl,,12,,13,,Polna 1,m. 2,Opole,opolskie,45-001,"
                      "Polska,Doradca,Lis i S-ka,lis.pl,,\n")
        << CsvEncoding::Detect << CsvEncoding::Utf8 << ","
        << QVector<int>{2, 2, -1, -1, 10, 12, 8, 12, 9, 12, 6, 6, 4, 7, 5, 3, 1, 0, 11, 12}
        << "Lis i S-ka|Doradca|Ewa Lis|Polska|Opole|45-001|Polna 1, m. 2|opolskie|12|13|"
           "ewa@lis.pl|lis.pl|";
    QTest::newRow("ISO-8859-2 detected")
        << QByteArray("Display Name;City\n\xA6wi\xEAty \xA3uk;\xA3\xF3"
                      "d\xBC\n")
        << CsvEncoding::Detect << CsvEncoding::Iso8859_2 << ";" << QVector<int>{2, 4}
        << "Święty Łuk||||Łódź||||||||";
    QTest::newRow("ISO-8859-2 chosen")
        << QByteArray("Display Name,City\n\xA6wi\xEAty \xA3uk,\xA3\xF3"
                      "d\xBC\n")
        << CsvEncoding::Iso8859_2 << CsvEncoding::Iso8859_2 << "," << QVector<int>{2, 4}
        << "Święty Łuk||||Łódź||||||||";
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
    QTEST(reader.mapping(), "mapping");
    QCOMPARE(reader.previewRows().size(), 1);
    ContactRecord record;
    QVERIFY(reader.readNext(&record));
    QFETCH(QString, first);
    QCOMPARE(fields(record), first.split(u'|'));
    QVERIFY(!reader.readNext(&record));
    QVERIFY(!reader.hasError());
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
    QTest::newRow("UTF-8") << false << full << true << QByteArray("\xEF\xBB\xBFNazwa;Bran\xC5\xBC");
    QTest::newRow("Windows-1250") << true << full << true
                                  << QByteArray("Nazwa;Bran\xBF"
                                                "a;");
    QTest::newRow("representative only")
        << false << QStringList{"", "", "Nowak"} << true << QByteArray("\xEF\xBB\xBF");
    QTest::newRow("Windows-1250 loses Japanese")
        << true << QStringList{"日本"} << false << QByteArray("Nazwa;");
}

void TestCsv::writtenFilesReadBackUnchanged()
{
    QFETCH(bool, windows);
    QFETCH(QStringList, values);
    QFETCH(bool, lossless);
    QFETCH(QByteArray, start);
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    CsvWriter writer(&out, windows ? CsvWriter::Encoding::Windows1250 : CsvWriter::Encoding::Utf8);
    const ContactRecord record = recordOf(values);
    QVERIFY(writer.write(record));
    QVERIFY(writer.write(record));
    QCOMPARE(writer.lossless(), lossless);
    QVERIFY(bytes.startsWith(start));
    if (!lossless)
        return;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    CsvReader reader(&in);
    QVERIFY(reader.open());
    QCOMPARE(reader.mapping(), (QVector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    for (int i = 0; i < 2; ++i) {
        ContactRecord back;
        QVERIFY(reader.readNext(&back));
        QCOMPARE(fields(back), fields(record));
    }
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
