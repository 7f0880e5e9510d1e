#include "exchange/contact_export.h"

#include "exchange/contact_formats.h"
#include "exchange/contact_record.h"
#include "exchange/csv.h"
#include "exchange/vcard.h"
#include "platform/errors.h"
#include "platform/file_access.h"
#include "store/contact_count.h"
#include "store/table.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace ContactExport {

std::optional<Format> formatForPath(const QString &path)
{
    if (QFileInfo(path).isDir())
        return Format::VCard4;
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

// The columns a CSV file needs for the further values of every contact, and for UIDs.
QStringList csvDetailColumns(const TTable &contacts)
{
    CsvDetailColumns columns;
    if (!contacts.hasDetails())
        return columns.headers();
    ContactExtras extras;
    extras.uid = QStringLiteral("-"); // every contact has one
    columns.collect(extras);
    extras.uid.clear();
    contacts.detailStore().forEachDetails([&](qint64, const QList<ContactDetail> &details) {
        extras.details = details;
        columns.collect(extras);
    });
    return columns.headers();
}

// One writer interface over the two formats.
std::function<bool(const ContactRecord &)> writerFor(OutputFile &file, Format format,
                                                     const TTable &contacts)
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
        writer->setColumns(csvDetailColumns(contacts));
        return [writer](const ContactRecord &record) { return writer->write(record); };
    }
    }
    return {};
}

} // namespace

namespace {

// The records of the table through a cursor of its own, each with its extras; a record
// without a UID (a read-only file made before they were kept) is given one for the file.
// Returns false once `write` did, or when progress cancelled (`*cancelled` then set).
bool writeRecords(const TTable &contacts, const std::function<bool(const ContactRecord &)> &write,
                  const Progress &progress, Result *result, bool *cancelled)
{
    const std::unique_ptr<TTable> cursor = contacts.openCursor();
    const qint64 total = progress ? cursor->recordCount() : 0;
    const RecordPlaces places(cursor->fieldNames());
    bool writeFailed = false;
    cursor->forEachRecordWithExtras([&](const QStringList &values, const ContactExtras &extras) {
        ContactRecord record = places.record(values);
        record.extras = extras;
        if (record.extras.uid.isEmpty())
            record.extras.uid = ContactDetails::newUid();
        if (!write(record)) {
            writeFailed = true;
            return false;
        }
        ++result->written;
        *cancelled = progress && !progress(result->written, total);
        return !*cancelled;
    });
    return !writeFailed && !*cancelled;
}

// The name of a card's file in a folder: its UID with what a file name cannot hold
// replaced, unique among the names given so far.
QString cardFileName(const QString &uid, QSet<QString> *taken)
{
    QString base = uid;
    for (QChar &c : base) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'-' && c != u'_' && c != u'.')
            c = u'_';
    }
    if (base.isEmpty() || base.startsWith(u'.'))
        base.prepend(u'k');
    QString name = base + QStringLiteral(".vcf");
    for (int n = 2; taken->contains(name); ++n)
        name = QStringLiteral("%1-%2.vcf").arg(base).arg(n);
    taken->insert(name);
    return name;
}

// One card per file into a folder, as vCard-folder tools keep an address book; each
// file is written whole or not at all, and files of other names are left alone.
Result exportFolder(const TTable &contacts, const QString &folder, Format format,
                    const Progress &progress)
{
    const VCardWriter::Version version =
        format == Format::VCard3 ? VCardWriter::Version::V3 : VCardWriter::Version::V4;
    Result result;
    QSet<QString> taken;
    QString failure;
    bool cancelled = false;
    try {
        const QDir dir(folder);
        writeRecords(
            contacts,
            [&](const ContactRecord &record) {
                const QString path = dir.filePath(cardFileName(record.extras.uid, &taken));
                OutputFile file(path);
                const QByteArray card = VCardWriter::card(record, version);
                if (!file.open(QIODevice::WriteOnly) || file.write(card) != card.size() ||
                    !file.commit()) {
                    failure =
                        QStringLiteral("Nie można zapisać pliku %1: %2").arg(path, file.error());
                    return false;
                }
                return true;
            },
            progress, &result, &cancelled);
    } catch (const KaxError &error) {
        return failed(QStringLiteral("Nie zapisano kontaktów do folderu %1: %2")
                          .arg(folder, error.message()));
    }
    if (!failure.isEmpty())
        return failed(failure);
    if (cancelled)
        return failed(QStringLiteral("Eksport przerwano; do folderu %1 zapisano %2.")
                          .arg(folder, contactCount(int(result.written))));
    result.ok = true;
    return result;
}

} // namespace

Result exportTable(const TTable &contacts, const QString &path, Format format,
                   const Progress &progress)
{
    if (QFileInfo(path).isDir()) {
        if (format != Format::VCard4 && format != Format::VCard3)
            return failed(QStringLiteral("%1 jest folderem: do folderu zapisuje się tylko "
                                         "wizytówki vCard, każdą w osobnym pliku.")
                              .arg(path));
        return exportFolder(contacts, path, format, progress);
    }
    const auto cannotWrite = [&path](const QString &reason) {
        return failed(QStringLiteral("Nie można zapisać pliku %1: %2").arg(path, reason));
    };
    OutputFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return cannotWrite(file.error());
    Result result;
    bool cancelled = false;
    try {
        const auto write = writerFor(file, format, contacts);
        if (!writeRecords(contacts, write, progress, &result, &cancelled) && !cancelled)
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
