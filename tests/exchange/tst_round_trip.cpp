#include "exchange/contact_export.h"
#include "exchange/contact_import.h"
#include "exchange/contact_record.h"
#include "store/table.h"
#include "support/contact_fixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>

// Real exports of other programs imported, exported and imported again: every value comes
// back, and other address books (khard, abook) read what the program writes.
class TestRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void everyValueComesBack_data();
    void everyValueComesBack();
};

namespace {

// Imports a file in the format its name or content tells.
ContactImport::Result importInto(TTable &table, const QString &path)
{
    ContactImport::Options options;
    options.format = ContactImport::formatOf(path).value_or(ContactImport::Format::VCard);
    return ContactImport::importFile(table, path, options);
}

// The book's records in name order, with what they hold beside their fields; the revision
// is the time of the write, so it is left out.
QList<ContactRecord> records(TTable &table)
{
    QList<ContactRecord> list;
    const RecordPlaces places(table.fieldNames());
    table.forEachRecordWithExtras([&](const QStringList &values, const ContactExtras &extras) {
        ContactRecord record = places.record(values);
        record.extras = extras;
        record.extras.revision.clear();
        list << record;
        return true;
    });
    return list;
}

// The record as lines to compare. Kept vCard lines are compared by their property names
// alone unless asked: a line of another version is written in the version of the file
// (a 2.1 quoted-printable value as text, a 3.0 picture as a data: address in 4.0).
QString describe(const ContactRecord &record, bool keptAsWritten = false)
{
    QStringList lines(record.values.begin(), record.values.end());
    // Line ends are the file's, not values. Each format keeps the order of the values of
    // one kind (a CSV file groups the other values by what they are).
    lines.replaceInStrings(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QList<ContactDetail> details = record.extras.details;
    std::stable_sort(details.begin(), details.end(), [](const auto &a, const auto &b) {
        return a.kind != b.kind ? a.kind < b.kind
                                : a.kind == ContactDetail::Other && a.label < b.label;
    });
    for (const ContactDetail &detail : std::as_const(details))
        lines << QStringLiteral("%1|%2|%3|%4")
                     .arg(ContactDetail::kindName(detail.kind), detail.type, detail.label,
                          detail.value);
    lines << record.extras.uid;
    if (keptAsWritten) {
        lines << record.extras.kept;
    } else {
        static const QRegularExpression value(QStringLiteral("[;:].*"));
        for (const QString &kept : record.extras.kept.split(u'\n', Qt::SkipEmptyParts))
            lines << QString(kept).remove(value);
    }
    return lines.join(u'\n');
}

// Whether two descriptions agree; the first line that differs is shown.
bool sameLines(const QString &got, const QString &wanted)
{
    const QStringList a = got.split(u'\n');
    const QStringList b = wanted.split(u'\n');
    for (qsizetype line = 0; line < std::max(a.size(), b.size()); ++line) {
        if (a.value(line) != b.value(line)) {
            qWarning("line %d: %s\nwanted: %s", int(line), qPrintable(a.value(line)),
                     qPrintable(b.value(line)));
            return false;
        }
    }
    return true;
}

// Runs a program; its standard output, or a failure of the test with its error output.
QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        qWarning("%s: %s", qPrintable(program), process.readAllStandardError().constData());
        return QStringLiteral("<%1 failed>").arg(program);
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

void TestRoundTrip::everyValueComesBack_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<int>("contacts");
    QTest::newRow("a phone's vCard 2.1") << "phone-2.1.vcf" << 3;
    QTest::newRow("a desktop program's vCard 3.0") << "desktop-3.0.vcf" << 2;
    QTest::newRow("a web-mail CSV") << "webmail.csv" << 3;
    QTest::newRow("a Polish spreadsheet") << "arkusz.csv" << 3;
}

void TestRoundTrip::everyValueComesBack()
{
    QFETCH(QString, fixture);
    const QString source = QFINDTESTDATA(QStringLiteral("exchange/data/") + fixture);
    QVERIFY(!source.isEmpty());
    ContactFixture first;
    const ContactImport::Result imported = importInto(first.table(), source);
    QVERIFY2(imported.ok, qPrintable(imported.error));
    const QList<ContactRecord> original = records(first.table());
    QTEST(int(original.size()), "contacts");
    QVERIFY(std::any_of(original.begin(), original.end(), [](const ContactRecord &record) {
        return record.extras.details.size() >= 2;
    }));

    // Exported as one file of each format and as a folder of cards, then read back.
    const bool fromCsv = fixture.endsWith(QLatin1String(".csv"));
    const QString folder = first.folder() + QStringLiteral("/karty");
    QVERIFY(QDir().mkpath(folder));
    for (const QString &name : {QStringLiteral("k.vcf"), QStringLiteral("k.csv"), folder}) {
        const QString path = name == folder ? folder : first.folder() + u'/' + name;
        const auto exported =
            ContactExport::exportTable(first.table(), path, *ContactExport::formatForPath(path));
        QVERIFY2(exported.ok, qPrintable(exported.error));
        ContactFixture again;
        const bool csv = name.endsWith(QLatin1String(".csv"));
        QStringList files{path};
        if (path == folder) {
            files.clear();
            for (const QString &file : QDir(folder).entryList(QDir::Files))
                files << folder + u'/' + file;
            QCOMPARE(files.size(), original.size());
        }
        for (const QString &file : std::as_const(files)) {
            const ContactImport::Result result = importInto(again.table(), file);
            QVERIFY2(result.ok, qPrintable(file + u' ' + result.error));
        }
        QList<ContactRecord> back = records(again.table());
        QCOMPARE(back.size(), original.size());
        for (qsizetype i = 0; i < back.size(); ++i) {
            // A CSV file has no place for vCard properties kept as they came.
            ContactRecord expected = original[i];
            if (csv && !fromCsv)
                expected.extras.kept.clear();
            QVERIFY2(sameLines(describe(back[i]), describe(expected)), qPrintable(name));
        }
        if (name != QLatin1String("k.vcf"))
            continue;
        // Once written by the program, a card comes back exactly, kept lines and all.
        const QString second = again.folder() + QStringLiteral("/k.vcf");
        QVERIFY(
            ContactExport::exportTable(again.table(), second, ContactExport::Format::VCard4).ok);
        ContactFixture third;
        QVERIFY(importInto(third.table(), second).ok);
        const QList<ContactRecord> last = records(third.table());
        QCOMPARE(last.size(), back.size());
        for (qsizetype i = 0; i < back.size(); ++i)
            QVERIFY(sameLines(describe(last[i], true), describe(back[i], true)));
    }

    // khard lists the folder with every contact and each of its numbers; abook converts
    // the file.
    const QString config = first.folder() + QStringLiteral("/khard.conf");
    QFile conf(config);
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("[addressbooks]\n[[kartax]]\npath = %1\n").arg(folder).toUtf8());
    conf.close();
    const QString listed = run(QStringLiteral("khard"), {"-c", config, "list", "--parsable"});
    const QString phones = run(QStringLiteral("khard"), {"-c", config, "phone", "--parsable"});
    const QString converted =
        run(QStringLiteral("abook"),
            {"--convert", "--informat", "vcard", "--infile",
             first.folder() + QStringLiteral("/k.vcf"), "--outformat", "abook"});
    QCOMPARE(converted.count(QStringLiteral("\nname=")), original.size());
    for (const ContactRecord &record : original) {
        QVERIFY2(listed.contains(record.extras.uid), qPrintable(listed));
        QVERIFY2(converted.contains(record[ContactRecord::Email]), qPrintable(converted));
        for (const ContactDetail &phone : record.extras.ofKind(ContactDetail::Phone))
            QVERIFY2(phones.contains(phone.value), qPrintable(phone.value + u'\n' + phones));
    }
}

QTEST_GUILESS_MAIN(TestRoundTrip)
#include "tst_round_trip.moc"
