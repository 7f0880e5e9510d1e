#pragma once

#include "exchange/contact_export.h"
#include "exchange/contact_import.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The contact file formats the program reads and writes, in one table: what the command
// line calls each, the file name extensions and first bytes that tell it, how the file
// dialogs name it, and what reads and writes it.
namespace ContactFormats {

// One format: a row of the table.
struct FileFormat
{
    QString name;           // for --format: "vcf", "csv", "db"
    QStringList extensions; // lower case, without the dot; the first is the one a save gives
    QString description;    // as a list in the file dialogs names it: "vCard", "baza Kartax2000"
    // Whether a file's first bytes are this format's; null for the format of any other
    // file.
    bool (*recognises)(const QByteArray &start);
    ContactImport::Format reader;
    std::optional<ContactExport::Format> writer; // nullopt: the program does not write it
    bool offeredAlone; // the open dialog offers a filter of this format alone too
};

// Every format, in the order the command line and the dialogs list them.
const QList<FileFormat> &all();

// The format with this --format name (without regard to case); null when none.
const FileFormat *named(const QString &name);
// The format a file name's extension tells; null when none does.
const FileFormat *forPath(const QString &path);
// The format a file's first bytes tell; any file not otherwise recognised is CSV.
const FileFormat &forContent(const QByteArray &start);
// The format a reader reads.
const FileFormat &read(ContactImport::Format reader);

// The --format names ("vcf", "csv", "db"), of the written formats alone when asked.
QStringList names(bool writtenOnly);
// "vCard, CSV lub baza Kartax2000": the descriptions as a Polish list.
QString descriptions(bool writtenOnly);

// The filters of the import's open dialog, and of the export's save dialog with the
// extension a name without one gets.
QString openFilter();
QString saveFilter();
QString saveSuffix();
// ".vcf (vCard) lub .csv": the extensions a saved file may have, for messages.
QString savedExtensions();

} // namespace ContactFormats
