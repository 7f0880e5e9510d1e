#include "exchange/contact_export.h"

#include "exchange/contact_formats.h"
#include "exchange/contact_record.h"
#include "exchange/csv.h"
#include "exchange/vcard.h"
#include "platform/errors.h"
#include "platform/file_access.h"
#include "store/table.h"

namespace ContactExport {

std::optional<Format> formatForPath(const QString &path)
{
    const ContactFormats::FileFormat *format = ContactFormats::forPath(path);
    return format ? format->writer : std::nullopt;
}

namespace {

Result failed(const QString &message)
{
    Result result;
    result.error = message;
    return result;
}

// One writer interface over the two formats.
std::function<bool(const ContactRecord &)> writerFor(OutputFile &file, Format format)
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
    const auto cannotWrite = [&path](const QString &reason) {
        return failed(QStringLiteral("Nie można zapisać pliku %1: %2").arg(path, reason));
    };
    OutputFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return cannotWrite(file.error());
    const auto write = writerFor(file, format);
    Result result;
    try {
        const std::unique_ptr<TTable> cursor = contacts.openCursor();
        const qint64 total = progress ? cursor->recordCount() : 0;
        const RecordPlaces places(cursor->fieldNames());
        bool writeFailed = false;
        bool cancelled = false;
        cursor->forEachRecord([&](const QStringList &values) {
            if (!write(places.record(values))) {
                writeFailed = true;
                return false;
            }
            ++result.written;
            cancelled = progress && !progress(result.written, total);
            return !cancelled;
        });
        if (writeFailed)
            return cannotWrite(file.error());
        if (cancelled) {
            file.cancel();
            return failed(
                file.isStream()
                    ? QStringLiteral("Eksport przerwano; do %1 zapisano część kontaktów.").arg(path)
                    : QStringLiteral("Eksport przerwano; plik %1 nie został zapisany.").arg(path));
        }
    } catch (const KaxError &error) {
        file.cancel();
        return failed(QStringLiteral("Nie zapisano pliku %1: %2").arg(path, error.message()));
    }
    if (!file.commit())
        return cannotWrite(file.error());
    result.ok = true;
    return result;
}

} // namespace ContactExport
