#include "cli/commands.h"
#include "exchange/contact_export.h"
#include "exchange/contact_formats.h"
#include "store/data_module.h"
#include "store/table.h"

#include <QFileInfo>
#include <QTextStream>
#include <optional>

namespace CommandLine {

int exportContacts(const Options &options, QTextStream &out, QTextStream &err)
{
    const QString path = options.value(kExport);
    const QString formatName = options.value(kFormat).toLower();
    std::optional<ContactExport::Format> format = ContactExport::formatForPath(path);
    if (!formatName.isEmpty()) {
        const ContactFormats::FileFormat *named = ContactFormats::named(formatName);
        if (!named || !named->writer)
            return usage(err, QStringLiteral("Nieznany format: %1").arg(formatName));
        format = named->writer;
    }
    if (!format)
        return usage(err,
                     QStringLiteral("Format pliku %1 nieznany: podaj --format %2.")
                         .arg(path, ContactFormats::names(true).join(QStringLiteral(" lub "))));
    TDM9 data; // the address book the program itself would open
    const ContactExport::Result result = ContactExport::exportTable(*data.t1, path, *format);
    if (!result.ok) {
        err << result.error << '\n';
        return 1;
    }
    out << QStringLiteral("Liczba zapisanych kontaktów: %1. %2: %3")
               .arg(result.written)
               .arg(QFileInfo(path).isDir() ? QStringLiteral("Folder") : QStringLiteral("Plik"),
                    path)
        << '\n';
    return 0;
}

} // namespace CommandLine
