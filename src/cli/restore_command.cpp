#include "cli/commands.h"
#include "platform/errors.h"
#include "store/book_backup.h"
#include "store/book_restore.h"
#include "store/contact_count.h"
#include "store/contact_schema.h"
#include "store/data_module.h"
#include "store/database_alias.h"
#include "store/table.h"

#include <QFile>
#include <QTextStream>

namespace CommandLine {

namespace {

// Whether the answer read from the terminal agrees: "t", "tak" (or "y", "yes").
bool agrees(const QString &answer)
{
    const QString word = answer.trimmed().toLower();
    return word == u"t" || word == u"tak" || word == u"y" || word == u"yes";
}

} // namespace

int restoreBook(const Options &options, QTextStream &out, QTextStream &err)
{
    const QString path = options.value(kRestore);
    const QString tableName = QString::fromLatin1(ContactSchema::kTableName);
    try {
        BookBackup::verifyBook(path, tableName);
    } catch (const DatabaseError &error) {
        err << QStringLiteral("Nie można przywrócić książki z kopii. %1").arg(error.message())
            << '\n'
            << QStringLiteral("Nic nie zmieniono.") << '\n';
        return 1;
    }
    TDM9 data;
    TTable &table = *data.t1;
    const BookRestore::Comparison plan = BookRestore::compare(table, path);
    int added = 0;
    int deleted = 0;
    int changed = 0;
    for (const BookRestore::ContactChange &change : plan.changes)
        (change.kind == BookRestore::ContactChange::Added     ? added
         : change.kind == BookRestore::ContactChange::Deleted ? deleted
                                                              : changed)++;
    out << QStringLiteral("Kopia %1: %2. Książka (%3) ma dziś %4.")
               .arg(path, contactCount(int(plan.copyContacts)),
                    BookBackup::bookOf(table).describe(), contactCount(int(plan.todayContacts)))
        << '\n'
        << QStringLiteral("Przywrócenie usunie kontakty dodane od czasu kopii (%1), przywróci "
                          "usunięte (%2) i cofnie zmiany w zmienionych (%3). Najpierw dzisiejsza "
                          "książka zostanie zapisana w folderze kopii.")
               .arg(added)
               .arg(deleted)
               .arg(changed)
        << '\n';
    if (!options.contains(kYes) && !options.contains(kYesEnglish)) {
        out << QStringLiteral("Przywrócić książkę z kopii? [t/N] ") << Qt::flush;
        QFile input;
        QString answer;
        if (input.open(stdin, QIODevice::ReadOnly))
            answer = QString::fromLocal8Bit(input.readLine());
        if (!agrees(answer)) {
            err << QStringLiteral("Nic nie zmieniono.") << '\n';
            return 1;
        }
    }
    const BookBackup::Copy kept = BookBackup::makeBeforeChange(table);
    out << QStringLiteral("Dzisiejszą książkę zapisano w kopii %1.").arg(kept.path) << '\n';
    // How far it has got, every tenth, for a book that takes a while.
    int shown = 0;
    BookRestore::restoreAll(table, path, [&out, &shown](int percent) {
        if (percent >= shown + 10) {
            shown = percent - percent % 10;
            out << QStringLiteral("Przywracanie: %1%").arg(shown) << Qt::endl;
        }
        return true;
    });
    out << QStringLiteral("Przywrócono książkę z kopii: %1 (usunięto %2, przywrócono %3, "
                          "cofnięto zmiany w %4).")
               .arg(contactCount(int(table.recordCount())))
               .arg(added)
               .arg(deleted)
               .arg(changed)
        << '\n';
    return 0;
}

} // namespace CommandLine
