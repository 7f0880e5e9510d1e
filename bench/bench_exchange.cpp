// Export and import of 100,000 contacts: each file format written from the table,
// then read into an empty address book with sort keys, indexes and duplicate checks.
// Usage: bench_exchange CONTACTS.db   (a database of 100,000 contacts)

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

            std::vector<double> imports;
            double peak = 0;
            for (int run = 0; run < kRuns; ++run) {
                const QString target = dir.filePath(
                    QStringLiteral("%1-%2.db").arg(QLatin1String(format.name)).arg(run));
                TTable table;
                table.setTableName(QString::fromLatin1(ContactSchema::kTableName));
                table.setDatabaseFile(target);
                table.open();
                ContactImport::Options options;
                options.format = format.importAs;
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
                if (!result.ok || result.added != source.recordCount())
                    throw KaxError(result.ok ? QStringLiteral("wrong count: ") + result.summary()
                                             : result.error);
            }
            bench::report(
                qPrintable(QStringLiteral("import_%1_median").arg(QLatin1String(format.name))),
                bench::median(imports), "s");
            bench::report(
                qPrintable(QStringLiteral("import_%1_peak_rss").arg(QLatin1String(format.name))),
                peak, "MB");
        }
    } catch (const KaxError &error) {
        std::fprintf(stderr, "bench_exchange: %s\n", qPrintable(error.message()));
        return 1;
    }
    return 0;
}
