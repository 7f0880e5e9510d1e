#include "exchange/command_line.h"

#include "exchange/contact_export.h"
#include "platform/errors.h"
#include "store/data_module.h"
#include "store/table.h"

#include <QTextStream>

namespace CommandLine {

namespace {

const QString kExport = QStringLiteral("--export");
const QString kFormat = QStringLiteral("--format");

int usage(QTextStream &err, const QString &problem)
{
    err << problem << '\n' << "Użycie: kartax2000 --export PLIK [--format vcf|csv]" << '\n';
    return 2;
}

} // namespace

bool requested(const QStringList &arguments)
{
    return arguments.mid(1).contains(kExport);
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    QString path;
    QString formatName;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if ((argument == kExport || argument == kFormat) && i + 1 == arguments.size())
            return usage(err, QStringLiteral("Brak wartości po %1.").arg(argument));
        if (argument == kExport)
            path = arguments[++i];
        else if (argument == kFormat)
            formatName = arguments[++i].toLower();
        else
            return usage(err, QStringLiteral("Nieznany argument: %1").arg(argument));
    }
    std::optional<ContactExport::Format> format = ContactExport::formatForPath(path);
    if (formatName == QLatin1String("vcf"))
        format = ContactExport::Format::VCard4;
    else if (formatName == QLatin1String("csv"))
        format = ContactExport::Format::CsvUtf8;
    else if (!formatName.isEmpty())
        return usage(err, QStringLiteral("Nieznany format: %1").arg(formatName));
    if (!format)
        return usage(
            err, QStringLiteral("Format pliku %1 nieznany: podaj --format vcf lub csv.").arg(path));
    try {
        TDM9 data; // the address book the program itself would open
        const ContactExport::Result result = ContactExport::exportTable(*data.t1, path, *format);
        if (!result.ok) {
            err << result.error << '\n';
            return 1;
        }
        out << QStringLiteral("Liczba zapisanych kontaktów: %1. Plik: %2")
                   .arg(result.written)
                   .arg(path)
            << '\n';
    } catch (const KaxError &error) {
        err << error.message() << '\n';
        return 1;
    }
    return 0;
}

} // namespace CommandLine
