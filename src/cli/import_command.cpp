#include "cli/commands.h"
#include "exchange/contact_formats.h"
#include "exchange/contact_import.h"
#include "platform/errors.h"
#include "store/book_backup.h"
#include "store/data_module.h"
#include "store/table.h"

#include <QTextStream>

namespace CommandLine {

int importContacts(const Options &options, QTextStream &out, QTextStream &err)
{
    const QString path = options.value(kImport);
    const QString formatName = options.value(kFormat).toLower();
    ContactImport::Options settings;
    if (!formatName.isEmpty()) {
        const ContactFormats::FileFormat *named = ContactFormats::named(formatName);
        if (!named)
            return usage(err, QStringLiteral("Nieznany format: %1").arg(formatName));
        settings.format = named->reader;
    } else if (QString why; const auto format = ContactImport::formatOf(path, &why)) {
        settings.format = *format;
    } else {
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
    try {
        BookBackup::makeBeforeChange(*data.t1);
    } catch (const KaxError &error) {
        // Nobody is there to ask: the import goes on, and the log says why no copy is.
        err << QStringLiteral("Nie udało się zrobić kopii zapasowej przed importem: %1")
                   .arg(error.message())
            << '\n';
    }
    const ContactImport::Result result = ContactImport::importFile(*data.t1, path, settings);
    if (!result.ok) {
        err << result.error << '\n';
        return 1;
    }
    out << result.summary() << '\n';
    for (const QString &notice : result.notices)
        out << notice << '\n';
    return 0;
}

} // namespace CommandLine
