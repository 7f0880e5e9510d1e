#include "cli/commands.h"
#include "store/book_backup.h"
#include "store/contact_schema.h"
#include "store/database_alias.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace CommandLine {

int backupContacts(const Options &options, QTextStream &out, QTextStream &)
{
    // The book is read where the alias points, never opened as a table: a copy writes
    // nothing into it, and a cron job does not wait for the table to be made ready.
    const QString target = QFileInfo(options.value(kBackup)).absoluteFilePath();
    const QString table = QLatin1String(ContactSchema::kTableName);
    BookBackup::write(DatabaseAlias::read(QLatin1String(ContactSchema::kAlias)), table, target);
    out << QStringLiteral("Zapisano kopię książki adresowej do %1 (kontaktów: %2).")
               .arg(QDir::toNativeSeparators(target))
               .arg(BookBackup::contactCount(target, table))
        << '\n';
    return 0;
}

} // namespace CommandLine
