#include "exchange/contact_export.h"

#include "exchange/contact_record.h"
#include "exchange/csv.h"
#include "exchange/vcard.h"
#include "platform/errors.h"
#include "store/table.h"

#include <QFileInfo>
#include <QSaveFile>

namespace ContactExport {

std::optional<Format> formatForPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard"))
        return Format::VCard4;
    if (suffix == QLatin1String("csv"))
        return Format::CsvUtf8;
    return std::nullopt;
}

namespace {

Result failed(const QString &message)
{
    Result result;
    result.error = message;
    return result;
}

// One writer interface over the two formats.
std::function<bool(const ContactRecord &)> writerFor(QSaveFile &file, Format format)
{
    switch (format) {
    case Format::VCard4:
    case Format::VCard3: {
        auto writer = std::make_shared<VCardWriter>(
            &file, format == Format::VCard3 ? VCardWriter::Version::V3 : VCardWriter::Version::V4);
        return [writer](const ContactRecord &record) { return writer->write(record); };
    }
    case Format::CsvUtf8:
    case Format::CsvWindows1250: {
        auto writer = std::make_shared<CsvWriter>(&file, format == Format::CsvWindows1250
                                                             ? CsvWriter::Encoding::Windows1250
                                                             : CsvWriter::Encoding::Utf8);
        return [writer](const ContactRecord &record) { return writer->write(record); };
    }
    }
    return {};
}

} // namespace

Result exportTable(const TTable &contacts, const QString &path, Format format,
                   const Progress &progress)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(
            QStringLiteral("Nie można zapisać pliku %1: %2").arg(path, file.errorString()));
    const auto write = writerFor(file, format);
    Result result;
    try {
        const std::unique_ptr<TTable> cursor = contacts.openCursor();
        const qint64 total = progress ? cursor->recordCount() : 0;
        for (bool more = !cursor->isEmpty(); more; more = !cursor->atLast()) {
            if (result.written > 0)
                cursor->next();
            if (!write(ContactRecord::fromTable(*cursor))) {
                file.cancelWriting();
                return failed(
                    QStringLiteral("Nie można zapisać pliku %1: %2").arg(path, file.errorString()));
            }
            ++result.written;
            if (progress && !progress(result.written, total)) {
                file.cancelWriting();
                return failed(
                    QStringLiteral("Eksport przerwano; plik %1 nie został zapisany.").arg(path));
            }
        }
    } catch (const KaxError &error) {
        file.cancelWriting();
        return failed(error.message());
    }
    if (!file.commit())
        return failed(
            QStringLiteral("Nie można zapisać pliku %1: %2").arg(path, file.errorString()));
    result.ok = true;
    return result;
}

} // namespace ContactExport
