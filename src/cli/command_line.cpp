#include "cli/command_line.h"

#include "cli/commands.h"
#include "cli/quiet_driver.h"
#include "exchange/contact_formats.h"
#include "platform/errors.h"

#include <QTextStream>
#include <algorithm>

namespace CommandLine {

namespace {

const QString kHelp = QStringLiteral("--help");
const QString kVersion = QStringLiteral("--version");

// "vcf|csv|db": the --format names, of the written formats alone when asked.
QString formatNames(bool writtenOnly)
{
    return ContactFormats::names(writtenOnly).join(u'|');
}

const QStringList &modes()
{
    static const QStringList names{kImport, kExport, kQuery, kSync, kBackup, kRestore};
    return names;
}

const QStringList &optionNames()
{
    static const QStringList names = modes() + QStringList{kFormat, kDuplicates, kYes, kYesEnglish};
    return names;
}

// The options that take no value.
bool isFlag(const QString &option)
{
    return option == kSync || option == kYes || option == kYesEnglish;
}

int help(QTextStream &out)
{
    out << QStringLiteral(
               "Użycie: kartax2000 [PLIK]\n"
               "  lub:  kartax2000 --import PLIK [--format %1] [--duplicates skip|update|add]\n"
               "  lub:  kartax2000 --export PLIK [--format %2]\n"
               "  lub:  kartax2000 --query TEKST\n"
               "  lub:  kartax2000 --sync [--tak]\n"
               "  lub:  kartax2000 --backup PLIK\n"
               "  lub:  kartax2000 --restore PLIK [--yes]\n"
               "Książka adresowa firm i kontaktów. Bez argumentów otwiera okno programu;\n"
               "z PLIKIEM vCard, CSV lub bazą Kartax2000 otwiera okno i importuje z niego\n"
               "kontakty.\n"
               "\n"
               "      --import PLIK      dodaje kontakty z PLIKU (vCard, CSV lub innej bazy\n"
               "                         Kartax2000), bez okna\n"
               "      --export PLIK      zapisuje wszystkie kontakty do PLIKU, bez okna; do\n"
               "                         istniejącego folderu każdy w osobnej wizytówce\n"
               "      --format FORMAT    format pliku, %1 (domyślnie według\n"
               "                         rozszerzenia lub zawartości); vcf3: vCard 3.0 zamiast\n"
               "                         4.0; db: baza Kartax2000, tylko dla --import\n"
               "      --duplicates WYBÓR co zrobić z kontaktem, który już jest: skip (pomiń,\n"
               "                         domyślnie), update (uzupełnij puste pola), add (dodaj)\n"
               "      --query TEKST      adresy e-mail kontaktów, których nazwa, przedstawiciel\n"
               "                         lub e-mail zawiera TEKST (dla programów pocztowych)\n"
               "      --sync             synchronizuje kontakty z książką adresową CardDAV\n"
               "                         ustawioną w programie, bez okna\n"
               "      --tak              zgoda na pierwszą synchronizację i na usunięcie\n"
               "                         wielu kontaktów (bez niej --sync tylko je opisuje)\n"
               "      --backup PLIK      zapisuje spójną kopię książki adresowej do PLIKU\n"
               "                         (także gdy program pracuje), bez okna\n"
               "      --restore PLIK     przywraca całą książkę z kopii zapasowej PLIK, po\n"
               "                         pytaniu [t/N]; najpierw zapisuje kopię dzisiejszej\n"
               "                         książki w folderze kopii\n"
               "      --yes, --tak       przywraca bez pytania\n"
               "      --help             wyświetla tę pomoc i kończy działanie\n"
               "      --version          wyświetla wersję programu i kończy działanie\n"
               "\n"
               "Kod wyjścia: 0 wykonano, 1 błąd (dla --query: nic nie znaleziono),\n"
               "2 błędne argumenty.\n"
               "\n"
               "Dane: $XDG_DATA_HOME/Kartax2000 (albo folder programu, gdy można w nim pisać).\n"
               "Ustawienia: $XDG_CONFIG_HOME/Kartax2000/Kartax2000.ini.\n"
               "Pełny opis: man kartax2000.\n")
               .arg(formatNames(false), formatNames(true));
    return 0;
}

int showVersion(QTextStream &out)
{
    out << "kartax2000 (Kartax2000) " << version() << '\n'
        << QStringLiteral("Copyright (C) 2026 autorzy programu Kartax2000.") << '\n';
    return 0;
}

} // namespace

int usage(QTextStream &err, const QString &problem)
{
    err << problem << '\n'
        << QStringLiteral(
               "Użycie: kartax2000 --import PLIK [--format %1] [--duplicates skip|update|add]")
               .arg(formatNames(false))
        << '\n'
        << QStringLiteral("        kartax2000 --export PLIK [--format %1]").arg(formatNames(true))
        << '\n'
        << "        kartax2000 --query TEKST" << '\n'
        << "        kartax2000 --sync [--tak]" << '\n'
        << "        kartax2000 --backup PLIK" << '\n'
        << "        kartax2000 --restore PLIK [--yes]" << '\n'
        << "Więcej informacji: kartax2000 --help" << '\n';
    return 2;
}

bool requested(const QStringList &arguments)
{
    const QStringList given = arguments.mid(1);
    // Every "--" option is the command line's, so an unknown one is refused as GNU
    // programs do; Qt's own options (-platform, -style) have one dash.
    return std::any_of(given.begin(), given.end(),
                       [](const QString &argument) { return argument.startsWith(u"--"); });
}

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
        if (isFlag(argument)) {
            options.insert(argument, QString());
            continue;
        }
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
        if (options.contains(kSync))
            return syncContacts(options, out, err);
        if (options.contains(kBackup))
            return backupContacts(options, out, err);
        if (options.contains(kRestore))
            return restoreBook(options, out, err);
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
