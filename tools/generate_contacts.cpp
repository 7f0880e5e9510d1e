// Fills a contact database with N realistic Polish sample contacts.
// Usage: generate_contacts <database file> <count>
// The database is created when missing; contacts are appended to what is there.

#include "platform/errors.h"
#include "sample_contacts.h"
#include "store/contact_schema.h"
#include "store/search_index.h"
#include "store/sort_key.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool ok = false;
    const qint64 count = args.value(2).toLongLong(&ok);
    if (args.size() != 3 || !ok || count < 0) {
        std::fprintf(stderr, "usage: generate_contacts <database file> <count>\n");
        return 2;
    }
    const QString path = args[1];
    try {
        TTable table; // creates the database with its table and indexes when missing
        table.setDatabaseFile(path);
        table.setTableName(QLatin1String(ContactSchema::kTableName));
        table.open();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }

    auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("generator"));
    db.setDatabaseName(path);
    if (!db.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(db.lastError().text()));
        return 1;
    }
    const QStringList fields = ContactSchema::fieldNames();
    QStringList columns = fields;
    for (const QString &field : ContactSchema::keyedFieldNames())
        columns << ContactSchema::keyColumn(field);
    QStringList marks;
    marks.fill(QStringLiteral("?"), columns.size());
    const SortKeyCollator &collator = SortKeyCollator::instance();
    sample::ContactGenerator generator;
    const qint64 batch = 20000;
    SearchIndexWriter search(db, QLatin1String(ContactSchema::kTableName));
    for (qint64 done = 0; done < count;) {
        db.transaction();
        QSqlQuery insert(db);
        insert.prepare(
            QStringLiteral("INSERT INTO Kartax2000 (%1) VALUES (%2)")
                .arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));
        const qint64 end = std::min(count, done + batch);
        for (; done < end; ++done) {
            const sample::Contact contact = generator.next();
            for (int i = 0; i < contact.values.size(); ++i)
                insert.bindValue(i, contact.values[i]);
            insert.bindValue(13, collator.key(contact.values[0]));
            insert.bindValue(14, collator.key(contact.values[1]));
            insert.bindValue(15, collator.key(contact.values[2]));
            if (!insert.exec()) {
                std::fprintf(stderr, "%s\n", qPrintable(insert.lastError().text()));
                return 1;
            }
            try {
                search.write(insert.lastInsertId().toLongLong(), contact.values);
            } catch (const DatabaseError &error) {
                std::fprintf(stderr, "%s\n", qPrintable(error.message()));
                return 1;
            }
        }
        // The rows carry their keys and search text; clear the marks the insert trigger left.
        QSqlQuery(db).exec(QStringLiteral("DELETE FROM Kartax2000_dirty"));
        if (!db.commit()) {
            std::fprintf(stderr, "%s\n", qPrintable(db.lastError().text()));
            return 1;
        }
        std::fprintf(stderr, "\r%lld / %lld", static_cast<long long>(done),
                     static_cast<long long>(count));
    }
    std::fprintf(stderr, "\n");
    return 0;
}
