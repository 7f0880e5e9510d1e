#include "exchange/command_line.h"

#include "exchange/contact_export.h"
#include "exchange/contact_import.h"
#include "exchange/contact_query.h"
#include "platform/errors.h"
#include "store/data_module.h"
#include "store/table.h"

#include <QHash>
#include <QTextStream>
#include <algorithm>
#include <optional>

namespace CommandLine {

namespace {

const QString kImport = QStringLiteral("--import");
const QString kExport = QStringLiteral("--export");
const QString kFormat = QStringLiteral("--format");
const QString kQuery = QStringLiteral("--query");
const QString kDuplicates = QStringLiteral("--duplicates");
const QString kHelp = QStringLiteral("--help");
const QString kVersion = QStringLiteral("--version");

// The options given, by name ("--export" -> FILE); each takes one value.
using Options = QHash<QString, QString>;

const QStringList &modes()
{
    static const QStringList names{kImport, kExport, kQuery};
    return names;
}

const QStringList &optionNames()
{
    static const QStringList names = modes() + QStringList{kFormat, kDuplicates};
    return names;
}

int usage(QTextStream &err, const QString &problem)
{
    err << problem << '\n'
        << "Użycie: kartax2000 --import PLIK [--format vcf|csv|db] [--duplicates skip|update|add]"
        << '\n'
        << "        kartax2000 --export PLIK [--format vcf|csv]" << '\n'
        << "        kartax2000 --query TEKST" << '\n'
        << "Więcej informacji: kartax2000 --help" << '\n';
    return 2;
}

int help(QTextStream &out)
{
    out << QStringLiteral(
        "Użycie: kartax2000 [PLIK]\n"
        "  lub:  kartax2000 --import PLIK [--format vcf|csv|db] [--duplicates skip|update|add]\n"
        "  lub:  kartax2000 --export PLIK [--format vcf|csv]\n"
        "  lub:  kartax2000 --query TEKST\n"
        "Książka adresowa firm i kontaktów. Bez argumentów otwiera okno programu;\n"
        "z PLIKIEM vCard, CSV lub bazą Kartax2000 otwiera okno i importuje z niego\n"
        "kontakty.\n"
        "\n"
        "      --import PLIK      dodaje kontakty z PLIKU (vCard, CSV lub innej bazy\n"
        "                         Kartax2000), bez okna\n"
        "      --export PLIK      zapisuje wszystkie kontakty do PLIKU, bez okna\n"
        "      --format vcf|csv|db format pliku (domyślnie według rozszerzenia lub\n"
        "                         zawartości); db: baza Kartax2000, tylko dla --import\n"
        "      --duplicates WYBÓR co zrobić z kontaktem, który już jest: skip (pomiń,\n"
        "                         domyślnie), update (uzupełnij puste pola), add (dodaj)\n"
        "      --query TEKST      adresy e-mail kontaktów, których nazwa, przedstawiciel\n"
        "                         lub e-mail zawiera TEKST (dla programów pocztowych)\n"
        "      --help             wyświetla tę pomoc i kończy działanie\n"
        "      --version          wyświetla wersję programu i kończy działanie\n"
        "\n"
        "Kod wyjścia: 0 wykonano, 1 błąd (dla --query: nic nie znaleziono),\n"
        "2 błędne argumenty.\n"
        "\n"
        "Dane: $XDG_DATA_HOME/Kartax2000 (albo folder programu, gdy można w nim pisać).\n"
        "Ustawienia: $XDG_CONFIG_HOME/Kartax2000/Kartax2000.ini.\n"
        "Pełny opis: man kartax2000.\n");
    return 0;
}

int showVersion(QTextStream &out)
{
    out << "kartax2000 (Kartax2000) " << version() << '\n'
        << QStringLiteral("Copyright (C) 2026 autorzy programu Kartax2000.") << '\n';
    return 0;
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

int importContacts(const Options &options, QTextStream &out, QTextStream &err)
{
    const QString path = options.value(kImport);
    const QString formatName = options.value(kFormat).toLower();
    ContactImport::Options settings;
    if (formatName == QLatin1String("vcf"))
        settings.format = ContactImport::Format::VCard;
    else if (formatName == QLatin1String("csv"))
        settings.format = ContactImport::Format::Csv;
    else if (formatName == QLatin1String("db"))
        settings.format = ContactImport::Format::Database;
    else if (!formatName.isEmpty())
        return usage(err, QStringLiteral("Nieznany format: %1").arg(formatName));
    else if (QString why; const auto format = ContactImport::formatOf(path, &why))
        settings.format = *format;
    else {
        err << QStringLiteral("Nie można odczytać pliku %1: %2").arg(path, why) << '\n';
        return 1;
    }
    // Nobody is there to ask: one answer for every duplicate, skipping by default so
    // that importing the same file twice adds nothing.
    static const QHash<QString, ContactImport::Choice> choices{
        {QStringLiteral("skip"), ContactImport::Choice::Skip},
        {QStringLiteral("update"), ContactImport::Choice::UpdateEmpty},
        {QStringLiteral("add"), ContactImport::Choice::Add}};
    const QString choiceName = options.value(kDuplicates, QStringLiteral("skip")).toLower();
    if (!choices.contains(choiceName))
        return usage(err, QStringLiteral("Nieznany wybór dla duplikatów: %1").arg(choiceName));
    const ContactImport::Decision decision{choices.value(choiceName), true};
    settings.askDuplicate = [decision](const ContactImport::Duplicate &) { return decision; };
    TDM9 data;
    const ContactImport::Result result = ContactImport::importFile(*data.t1, path, settings);
    if (!result.ok) {
        err << result.error << '\n';
        return 1;
    }
    out << result.summary() << '\n';
    return 0;
}

// Answers a mail client's address-book query; nothing found is status 1.
int queryContacts(const Options &options, QTextStream &out)
{
    // A mail client shows the first line: a book that cannot be opened says so there.
    std::optional<TDM9> data;
    try {
        data.emplace();
    } catch (const KaxError &error) {
        ContactQuery::writeFailure(error.message(), out);
        throw;
    }
    return ContactQuery::write(*data->t1, options.value(kQuery), out) > 0 ? 0 : 1;
}

} // namespace

bool requested(const QStringList &arguments)
{
    const QStringList given = arguments.mid(1);
    // Every "--" option is the command line's, so an unknown one is refused as GNU
    // programs do; Qt's own options (-platform, -style) have one dash.
    return std::any_of(given.begin(), given.end(),
                       [](const QString &argument) { return argument.startsWith(u"--"); });
}

namespace {

QtMessageHandler g_previousHandler = nullptr;

// The database driver's own warnings, in English, as a server goes away mid-statement;
// the command reports the failure itself, in Polish.
void withoutDriverWarnings(QtMsgType type, const QMessageLogContext &context,
                           const QString &message)
{
    static const QStringList driverWarnings{QStringLiteral("QPSQLDriver::"),
                                            QStringLiteral("QPSQLResult::"),
                                            QStringLiteral("Unable to free statement")};
    const bool driver =
        type == QtWarningMsg &&
        (std::any_of(driverWarnings.begin(), driverWarnings.end(),
                     [&message](const QString &start) { return message.startsWith(start); }) ||
         (message.startsWith(u"QSqlQuery::") && message.endsWith(u"database not open")));
    if (!driver && g_previousHandler)
        g_previousHandler(type, context, message);
}

// While it lives, keeps the database driver's warnings off the command's error output,
// and a server's notices too (the client library would print them there in the
// server's language).
class QuietDriver final
{
public:
    QuietDriver() : m_options(qgetenv(kServerOptions))
    {
        g_previousHandler = qInstallMessageHandler(withoutDriverWarnings);
        if (!m_options.contains("client_min_messages"))
            qputenv(kServerOptions, (m_options + " -c client_min_messages=error").trimmed());
    }
    ~QuietDriver()
    {
        qInstallMessageHandler(g_previousHandler);
        if (m_options.isEmpty())
            qunsetenv(kServerOptions);
        else
            qputenv(kServerOptions, m_options);
    }
    QuietDriver(const QuietDriver &) = delete;
    QuietDriver &operator=(const QuietDriver &) = delete;

private:
    static constexpr char kServerOptions[] = "PGOPTIONS";
    QByteArray m_options;
};

} // namespace

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    // As GNU programs do, --help and --version win over anything else given.
    if (arguments.mid(1).contains(kHelp))
        return help(out);
    if (arguments.mid(1).contains(kVersion))
        return showVersion(out);
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
    const QuietDriver quiet;
    try {
        if (options.contains(kImport))
            return importContacts(options, out, err);
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

QString fileToOpen(const QStringList &arguments)
{
    if (arguments.size() != 2 || arguments[1].startsWith(u'-'))
        return {};
    return arguments[1];
}

QString version()
{
    return QString::fromLatin1(KARTAX_VERSION);
}

} // namespace CommandLine
