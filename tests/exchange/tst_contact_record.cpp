#include "exchange/contact_export.h"
#include "exchange/contact_formats.h"
#include "exchange/contact_record.h"
#include "exchange/country_names.h"
#include "exchange/csv.h"
#include "exchange/vcard.h"
#include "store/table.h"
#include "support/contact_fixture.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>

// The record that import and export pass: its fields, the table, and country names.
class TestContactRecord : public QObject
{
    Q_OBJECT

private slots:
    void fieldsByNameAndCaption_data();
    void fieldsByNameAndCaption();
    void recordGoesIntoTableAndBack();
    void countryNamesBecomeTheProgramsOwn_data();
    void countryNamesBecomeTheProgramsOwn();
    void formatsByNameExtensionAndContent_data();
    void formatsByNameExtensionAndContent();
    void wholeTableExportsInIndexOrder_data();
    void wholeTableExportsInIndexOrder();
};

void TestContactRecord::fieldsByNameAndCaption_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("caption");
    QTest::newRow("first") << "nazwa" << 0 << "Nazwa";
    QTest::newRow("representative") << "FILIA" << 2 << "Przedstawiciel";
    QTest::newRow("postal code") << "Kod" << 5 << "Kod pocztowy";
    QTest::newRow("telefax") << "Fax" << 9 << "Telefax";
    QTest::newRow("last") << "Uwagi" << 12 << "Uwagi";
    QTest::newRow("none") << "Telefon" << -1 << "";
}

void TestContactRecord::fieldsByNameAndCaption()
{
    QFETCH(QString, name);
    QFETCH(int, field);
    QCOMPARE(ContactRecord::fieldIndex(name), field);
    QTEST(ContactRecord::fieldCaption(field), "caption");
}

void TestContactRecord::recordGoesIntoTableAndBack()
{
    ContactFixture fx;
    TTable &table = fx.table();
    ContactRecord record;
    for (int i = 0; i < ContactRecord::kFieldCount; ++i)
        record.values[std::size_t(i)] = QStringLiteral("ą%1\n;").arg(i);
    QVERIFY(!record.isEmpty());
    table.insert();
    record.setInto(table);
    table.post();
    table.first();
    QCOMPARE(table.fieldText(QStringLiteral("Kod")), QStringLiteral("ą5\n;"));
    QCOMPARE(ContactRecord::fromTable(table), record);
    QVERIFY(ContactRecord().isEmpty());
}

void TestContactRecord::countryNamesBecomeTheProgramsOwn_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("English") << "Poland"
                             << "Polska";
    QTest::newRow("two letters") << "PL"
                                 << "Polska";
    QTest::newRow("three letters") << "pol"
                                   << "Polska";
    QTest::newRow("German") << " Polen "
                            << "Polska";
    QTest::newRow("Polish, lower case") << "polska"
                                        << "Polska";
    QTest::newRow("Germany") << "Germany"
                             << "Niemcy";
    QTest::newRow("DE") << "DE"
                        << "Niemcy";
    QTest::newRow("Czech") << "Czech Republic"
                           << "Rep.Czeska";
    QTest::newRow("list keeps its blank") << "sri lanka"
                                          << "Sri Lanka ";
    QTest::newRow("unknown kept") << "Atlantyda "
                                  << "Atlantyda ";
    QTest::newRow("empty") << ""
                           << "";
}

void TestContactRecord::countryNamesBecomeTheProgramsOwn()
{
    QFETCH(QString, given);
    QTEST(CountryNames::toPolish(given), "expected");
}

void TestContactRecord::formatsByNameExtensionAndContent_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QString>("byPath"); // --format name, empty: none
    QTest::addColumn<QString>("byContent");
    QTest::newRow("vCard by extension") << "a.VCARD" << QByteArray("x") << "vcf"
                                        << "csv";
    QTest::newRow("card without extension") << "kontakty"
                                            << QByteArray("\xef\xbb\xbf"
                                                          "BEGIN:VCARD\r\n")
                                            << ""
                                            << "vcf";
    QTest::newRow("book") << "b.db" << QByteArray("SQLite format 3\0", 16) << "db"
                          << "db";
    QTest::newRow("text") << "c.txt" << QByteArray("Nazwa;Tel\n") << ""
                          << "csv";
}

void TestContactRecord::formatsByNameExtensionAndContent()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, start);
    QFETCH(QString, byPath);
    QFETCH(QString, byContent);
    const ContactFormats::FileFormat *format = ContactFormats::forPath(path);
    QCOMPARE(format ? format->name : QString(), byPath);
    QCOMPARE(ContactFormats::forContent(start).name, byContent);
    QCOMPARE(ContactFormats::named(byContent.toUpper()), &ContactFormats::forContent(start));
    // What the dialogs and messages say of the formats.
    QCOMPARE(ContactFormats::openFilter(),
             QStringLiteral("Kontakty: vCard, CSV lub baza Kartax2000 (*.vcf *.vcard *.csv "
                            "*.db);;Baza Kartax2000 (*.db)"));
    QCOMPARE(ContactFormats::saveFilter(), QStringLiteral("Kontakty: vCard lub CSV (*.vcf *.csv)"));
    QCOMPARE(ContactFormats::savedExtensions(), QStringLiteral(".vcf (vCard) lub .csv"));
    // vCard 3.0 is chosen by its name alone.
    QCOMPARE(ContactFormats::names(true), QStringList({"vcf", "vcf3", "csv"}));
    QCOMPARE(ContactFormats::named(QStringLiteral("vcf3"))->writer, ContactExport::Format::VCard3);
}

void TestContactRecord::wholeTableExportsInIndexOrder_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("vCard") << "kontakty.VCF";
    QTest::newRow("CSV") << "kontakty.csv";
}

void TestContactRecord::wholeTableExportsInIndexOrder()
{
    QFETCH(QString, file);
    ContactFixture fx;
    fx.add(QStringLiteral("Żbik"), QStringLiteral("drewno"), QStringLiteral("Łucja"),
           {QStringLiteral("Polska"), QStringLiteral("Łódź")});
    fx.add(QStringLiteral("ąbc"));
    fx.add(QStringLiteral("Zenit"), {}, {}, {{}, {}, {}, {}, {}, {}, {}, {}, {}, "a;b\n\"c\""});
    fx.table().last();
    const QString path = fx.folder() + QLatin1Char('/') + file;
    QVERIFY(!ContactExport::formatForPath(path + QStringLiteral(".txt")));

    const ContactExport::Result result =
        ContactExport::exportTable(fx.table(), path, *ContactExport::formatForPath(path));
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.written, 3);
    QCOMPARE(fx.table().fieldText(QStringLiteral("Nazwa")), QStringLiteral("Żbik")); // stays

    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly));
    VCardReader cards(&in);
    CsvReader rows(&in);
    const bool vcard = file.endsWith(QLatin1String("VCF"));
    QVERIFY(vcard || rows.open());
    QList<ContactRecord> read;
    for (ContactRecord record; vcard ? cards.readNext(&record) : rows.readNext(&record);)
        read << std::exchange(record, {});
    QCOMPARE(read.size(), 3);
    QCOMPARE(read[0][ContactRecord::Nazwa], QStringLiteral("ąbc"));
    QCOMPARE(read[1][ContactRecord::Uwagi], QStringLiteral("a;b\n\"c\""));
    QCOMPARE(read[2][ContactRecord::Filia], QStringLiteral("Łucja"));
    QCOMPARE(read[2][ContactRecord::Miasto], QStringLiteral("Łódź"));

    // A cancelled export leaves the earlier file as it was.
    in.seek(0);
    const QByteArray before = in.readAll();
    const auto cancelled = ContactExport::exportTable(
        fx.table(), path, ContactExport::Format::VCard3, [](qint64, qint64) { return false; });
    QVERIFY(!cancelled.ok);
    QVERIFY(cancelled.error.contains(path));
    in.close();
    QVERIFY(in.open(QIODevice::ReadOnly));
    QCOMPARE(in.readAll(), before);
    in.close();

    // A replaced file keeps its mode; one nobody may write is refused, even to root.
    const QByteArray name = QFile::encodeName(path);
    QCOMPARE(::chmod(name.constData(), 0640), 0);
    QVERIFY(ContactExport::exportTable(fx.table(), path, ContactExport::Format::VCard4).ok);
    struct stat status
    {
    };
    QCOMPARE(::stat(name.constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, 0640u);
    QCOMPARE(::chmod(name.constData(), 0444), 0);
    QCOMPARE(ContactExport::exportTable(fx.table(), path, ContactExport::Format::CsvUtf8).error,
             QStringLiteral("Nie można zapisać pliku %1: plik jest tylko do odczytu").arg(path));
    QVERIFY(in.open(QIODevice::ReadOnly));
    QVERIFY(in.readAll().startsWith("BEGIN:VCARD"));

    // A device or a pipe is written into, never replaced; a full one says why.
    const QString full = QStringLiteral("/dev/full");
    QCOMPARE(ContactExport::exportTable(fx.table(), full, ContactExport::Format::VCard4).error,
             QStringLiteral("Nie można zapisać pliku /dev/full: brak miejsca na urządzeniu"));
    QVERIFY(!QFileInfo(full).isFile());
    const QString pipe = fx.folder() + QStringLiteral("/potok.vcf");
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QCOMPARE(ContactExport::exportTable(fx.table(), pipe, ContactExport::Format::VCard4).error,
             QStringLiteral("Nie można zapisać pliku %1: nikt nie czyta z tego potoku").arg(pipe));
    QFile reader(pipe);
    QVERIFY(reader.open(::open(QFile::encodeName(pipe).constData(), O_RDONLY | O_NONBLOCK),
                        QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    QVERIFY(ContactExport::exportTable(fx.table(), pipe, ContactExport::Format::VCard4).ok);
    QCOMPARE(reader.readAll().count("BEGIN:VCARD"), 3);
    QVERIFY(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile());
}

QTEST_GUILESS_MAIN(TestContactRecord)
#include "tst_contact_record.moc"
