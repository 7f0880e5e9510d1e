#include "exchange/contact_formats.h"

#include "exchange/vcard.h"

#include <QFileInfo>

namespace ContactFormats {

namespace {

// The first bytes of every SQLite database file.
bool beginsDatabase(const QByteArray &start)
{
    static const QByteArray header("SQLite format 3\0", 16);
    return start.startsWith(header);
}

// The formats, of those written alone when asked; a format named only by --format (one
// without extensions of its own) when asked too.
QList<const FileFormat *> listed(bool writtenOnly, bool namedOnly = false)
{
    QList<const FileFormat *> formats;
    for (const FileFormat &format : all()) {
        if ((!writtenOnly || format.writer) && (namedOnly || !format.extensions.isEmpty()))
            formats << &format;
    }
    return formats;
}

// "a", "a lub b", "a, b lub c".
QString polishList(const QStringList &items)
{
    if (items.size() < 2)
        return items.value(0);
    return items.first(items.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" lub ") +
           items.last();
}

QString patterns(const QStringList &extensions)
{
    QStringList patterns;
    for (const QString &extension : extensions)
        patterns << QStringLiteral("*.") + extension;
    return patterns.join(u' ');
}

} // namespace

const QList<FileFormat> &all()
{
    static const QList<FileFormat> formats{
        {QStringLiteral("vcf"),
         {QStringLiteral("vcf"), QStringLiteral("vcard")},
         QStringLiteral("vCard"),
         &VCardReader::beginsCard,
         ContactImport::Format::VCard,
         ContactExport::Format::VCard4,
         false},
        // vCard 3.0, for programs and phones that read no 4.0; chosen by name alone.
        {QStringLiteral("vcf3"),
         {},
         QStringLiteral("vCard 3.0"),
         &VCardReader::beginsCard,
         ContactImport::Format::VCard,
         ContactExport::Format::VCard3,
         false},
        {QStringLiteral("csv"),
         {QStringLiteral("csv")},
         QStringLiteral("CSV"),
         nullptr,
         ContactImport::Format::Csv,
         ContactExport::Format::CsvUtf8,
         false},
        {QStringLiteral("db"),
         {QStringLiteral("db")},
         QStringLiteral("baza Kartax2000"),
         &beginsDatabase,
         ContactImport::Format::Database,
         std::nullopt,
         true},
    };
    return formats;
}

const FileFormat *named(const QString &name)
{
    for (const FileFormat &format : all()) {
        if (format.name.compare(name, Qt::CaseInsensitive) == 0)
            return &format;
    }
    return nullptr;
}

const FileFormat *forPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const FileFormat &format : all()) {
        if (format.extensions.contains(suffix))
            return &format;
    }
    return nullptr;
}

const FileFormat &forContent(const QByteArray &start)
{
    const FileFormat *other = nullptr;
    for (const FileFormat &format : all()) {
        if (!format.recognises)
            other = &format;
        else if (format.recognises(start))
            return format;
    }
    return *other;
}

const FileFormat &read(ContactImport::Format reader)
{
    for (const FileFormat &format : all()) {
        if (format.reader == reader)
            return format;
    }
    return all().first();
}

QStringList names(bool writtenOnly)
{
    QStringList names;
    for (const FileFormat *format : listed(writtenOnly, true))
        names << format->name;
    return names;
}

QString descriptions(bool writtenOnly)
{
    QStringList descriptions;
    for (const FileFormat *format : listed(writtenOnly))
        descriptions << format->description;
    return polishList(descriptions);
}

QString openFilter()
{
    QStringList extensions;
    QStringList alone;
    for (const FileFormat &format : all()) {
        extensions << format.extensions;
        if (format.offeredAlone) {
            QString description = format.description;
            description[0] = description[0].toUpper();
            alone << QStringLiteral("%1 (%2)").arg(description, patterns(format.extensions));
        }
    }
    return (QStringList{QStringLiteral("Kontakty: %1 (%2)")
                            .arg(descriptions(false), patterns(extensions))} +
            alone)
        .join(QStringLiteral(";;"));
}

QString saveFilter()
{
    QStringList extensions;
    for (const FileFormat *format : listed(true))
        extensions << format->extensions.first();
    return QStringLiteral("Kontakty: %1 (%2)").arg(descriptions(true), patterns(extensions));
}

QString saveSuffix()
{
    return listed(true).first()->extensions.first();
}

QString savedExtensions()
{
    QStringList items;
    for (const FileFormat *format : listed(true)) {
        const QString extension = format->extensions.first();
        items << QLatin1Char('.') + extension +
                     (format->description.compare(extension, Qt::CaseInsensitive) == 0
                          ? QString()
                          : QStringLiteral(" (%1)").arg(format->description));
    }
    return polishList(items);
}

} // namespace ContactFormats
