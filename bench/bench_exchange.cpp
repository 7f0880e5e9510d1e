// Export and import of 100,000 contacts: each file format written from the table,
// then read into an empty address book with sort keys, indexes and duplicate checks,
// and one contact changed right after (the first post pays for what the import left);
// and the vCards again with two further values each (a mobile number and a private
// e-mail address), which the import keeps beside the contact.
// Usage: bench_exchange CONTACTS.db [FORMAT]   (a database of 100,000 contacts; FORMAT,
// vcard or csv, measures that one only)

#include "bench_util.h"
#include "exchange/contact_export.h"
#include "exchange/contact_import.h"
#include "platform/errors.h"
#include "store/contact_schema.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {

struct Format
{
    const char *name;
    ContactExport::Format exportAs;
    ContactImport::Format importAs;
};

constexpr Format kFormats[] = {
    {"vcard", ContactExport::Format::VCard4, ContactImport::Format::VCard},
    {"csv", ContactExport::Format::CsvUtf8, ContactImport::Format::Csv},
};

constexpr int kRuns = 3;

// The vCard file with a further telephone and e-mail address in every card.
QByteArray withFurtherValues(const QByteArray &cards)
{
    QByteArray out;
    out.reserve(cards.size() + cards.size() / 3);
    qsizetype start = 0;
    int n = 0;
    for (qsizetype end; (end = cards.indexOf("END:VCARD", start)) >= 0; start = end + 9) {
        out += QByteArrayView(cards).sliced(start, end - start);
        out +=
            QStringLiteral("TEL;TYPE=cell:+48 600 %1\r\nEMAIL;TYPE=home:prywatny.%1@example.pl\r\n")
                .arg(++n, 6, 10, QLatin1Char('0'))
                .toLatin1();
        out += "END:VCARD";
    }
    out += QByteArrayView(cards).sliced(start);
    return out;
}

struct Imports
{
    double median = 0;    // s
    double peak = 0;      // MB
    double firstPost = 0; // ms: a change of one contact right after the import
};

// Imports the file into a new book once per run: the median time, the peak memory, and
// the first post after the import, which pays for any work the import left to it.
Imports timeImports(const QTemporaryDir &dir, const QString &name, const QString &file,
                    ContactImport::Format format, qint64 expected)
{
    std::vector<double> imports;
    std::vector<double> posts;
    double peak = 0;
    for (int run = 0; run < kRuns; ++run) {
        TTable table;
        table.setTableName(QString::fromLatin1(ContactSchema::kTableName));
        table.setDatabaseFile(dir.filePath(QStringLiteral("%1-%2.db").arg(name).arg(run)));
        table.open();
        ContactImport::Options options;
        options.format = format;
        // The sample names repeat: every duplicate is added, as a user would answer
        // once for all the rest.
        options.askDuplicate = [](const ContactImport::Duplicate &) {
            return ContactImport::Decision{ContactImport::Choice::Add, true};
        };
        bench::resetPeakResident();
        const auto start = bench::Clock::now();
        const auto result = ContactImport::importFile(table, file, options);
        imports.push_back(bench::microsecondsSince(start) / 1e6);
        peak = std::max(peak, bench::peakResidentMegabytes());
        if (!result.ok || result.added != expected)
            throw KaxError(result.ok ? QStringLiteral("wrong count: ") + result.summary()
                                     : result.error);
        const auto postStart = bench::Clock::now();
        table.edit();
        table.setFieldText(QStringLiteral("Miasto"), QStringLiteral("Zmienione"));
        table.post();
        posts.push_back(bench::microsecondsSince(postStart) / 1e3);
    }
    return {bench::median(imports), peak, bench::median(posts)};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_exchange CONTACTS.db\n");
        return 2;
    }
    QTemporaryDir dir;
    try {
        TTable source;
        source.setTableName(QString::fromLatin1(ContactSchema::kTableName));
        source.setDatabaseFile(QString::fromLocal8Bit(argv[1]));
        source.open();
        bench::report("exchange_records", double(source.recordCount()), "records");
        for (const Format &format : kFormats) {
            if (argc > 2 && qstrcmp(argv[2], format.name) != 0)
                continue;
            const QString file = dir.filePath(QString::fromLatin1(format.name));
            std::vector<double> exports;
            for (int run = 0; run < kRuns; ++run) {
                const auto start = bench::Clock::now();
                const auto result = ContactExport::exportTable(source, file, format.exportAs);
                exports.push_back(bench::microsecondsSince(start) / 1e6);
                if (!result.ok)
                    throw KaxError(result.error);
            }
            bench::report(
                qPrintable(QStringLiteral("export_%1_median").arg(QLatin1String(format.name))),
                bench::median(exports), "s");
            bench::report(
                qPrintable(QStringLiteral("export_%1_size").arg(QLatin1String(format.name))),
                double(QFile(file).size()) / 1e6, "MB");

            const Imports timed = timeImports(dir, QLatin1String(format.name), file,
                                              format.importAs, source.recordCount());
            const double median = timed.median;
            bench::report(
                qPrintable(QStringLiteral("import_%1_first_post").arg(QLatin1String(format.name))),
                timed.firstPost, "ms");
            bench::report(
                qPrintable(QStringLiteral("import_%1_median").arg(QLatin1String(format.name))),
                median, "s");
            if (format.importAs == ContactImport::Format::Csv)
                bench::report("import_own_csv_100k", median, "s"); // the program's own columns
            bench::report(
                qPrintable(QStringLiteral("import_%1_peak_rss").arg(QLatin1String(format.name))),
                timed.peak, "MB");
            if (format.importAs != ContactImport::Format::VCard)
                continue;
            QFile plain(file);
            const QString further = dir.filePath(QStringLiteral("vcard-further"));
            QFile out(further);
            if (!plain.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly) ||
                out.write(withFurtherValues(plain.readAll())) < 0 || !out.flush())
                throw KaxError(QStringLiteral("cannot write ") + further);
            out.close();
            const Imports withFurther = timeImports(dir, QStringLiteral("further"), further,
                                                    format.importAs, source.recordCount());
            bench::report("import_vcard_two_further_median", withFurther.median, "s");
            bench::report("import_vcard_two_further_ratio", withFurther.median / median, "x");
            bench::report("import_vcard_two_further_peak_rss", withFurther.peak, "MB");
        }
    } catch (const KaxError &error) {
        std::fprintf(stderr, "bench_exchange: %s\n", qPrintable(error.message()));
        return 1;
    }
    return 0;
}
