#include "exchange/command_line.h"

#include "exchange/contact_export.h"
#include "exchange/contact_query.h"
#include "platform/errors.h"
#include "store/data_module.h"
#include "store/table.h"

#include <QTextStream>

namespace CommandLine {

namespace {

const QString kExport = QStringLiteral("--export");
const QString kFormat = QStringLiteral("--format");
const QString kQuery = QStringLiteral("--query");

// The options given, by name ("--export" -> FILE); each takes one value.
using Options = QHash<QString, QString>;

const QStringList &modes()
{
    static const QStringList names{kExport, kQuery};
    return names;
}

const QStringList &optionNames()
{
    static const QStringList names = modes() + QStringList{kFormat};
    return names;
}

int usage(QTextStream &err, const QString &problem)
{
    err << problem << '\n'
        << "Użycie: kartax2000 --export PLIK [--format vcf|csv]" << '\n'
        << "        kartax2000 --query TEKST" << '\n';
    return 2;
}

int exportContacts(const Options &options, QTextStream &out, QTextStream &err)
{
    const QString path = options.value(kExport);
    const QString formatName = options.value(kFormat).toLower();
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
    TDM9 data; // the address book the program itself would open
    const ContactExport::Result result = ContactExport::exportTable(*data.t1, path, *format);
    if (!result.ok) {
        err << result.error << '\n';
        return 1;
    }
    out << QStringLiteral("Liczba zapisanych kontaktów: %1. Plik: %2").arg(result.written).arg(path)
        << '\n';
    return 0;
}

// Answers a mail client's address-book query; nothing found is status 1.
int queryContacts(const Options &options, QTextStream &out)
{
    TDM9 data;
    return ContactQuery::write(*data.t1, options.value(kQuery), out) > 0 ? 0 : 1;
}

} // namespace

bool requested(const QStringList &arguments)
{
    const QStringList given = arguments.mid(1);
    return std::any_of(modes().begin(), modes().end(),
                       [&given](const QString &mode) { return given.contains(mode); });
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (!optionNames().contains(argument))
            return usage(err, QStringLiteral("Nieznany argument: %1").arg(argument));
        if (i + 1 == arguments.size())
            return usage(err, QStringLiteral("Brak wartości po %1.").arg(argument));
        options.insert(argument, arguments[++i]);
    }
    qsizetype given = 0;
    for (const QString &mode : modes())
        given += options.contains(mode) ? 1 : 0;
    if (given != 1)
        return usage(err,
                     QStringLiteral("Podaj jedno z: %1.").arg(modes().join(QStringLiteral(", "))));
    try {
        if (options.contains(kExport))
            return exportContacts(options, out, err);
        if (options.contains(kQuery))
            return queryContacts(options, out);
    } catch (const KaxError &error) {
        err << error.message() << '\n';
        return 1;
    }
    return 2;
}

} // namespace CommandLine
