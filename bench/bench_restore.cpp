// The comparison of a book of 1,000,000 contacts with a copy a few thousand changes
// behind it, and the listing of 30 copies in the window "Kopie zapasowe".

#include "bench_util.h"

#include "store/book_backup.h"
#include "store/book_restore.h"
#include "store/contact_schema.h"
#include "store/database_alias.h"
#include "store/table.h"
#include "store/table_batch.h"
#include "store/widgets/backup_window.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

namespace {

// Today's book: the copy with 2,000 contacts changed, 1,000 deleted and 1,000 added.
void changeBook(TTable &table)
{
    TableBatch batch(table);
    for (qint64 id = 100; id < 100 + 2000 * 37; id += 37) {
        QStringList values = batch.values(id);
        if (values.isEmpty())
            continue;
        values[8] = QStringLiteral("22 111 22 33");
        batch.update(id, values);
    }
    for (qint64 id = 500000; id < 500000 + 1000 * 11; id += 11)
        batch.remove(id);
    for (int i = 0; i < 1000; ++i)
        batch.insert(QStringList{QStringLiteral("Nowa firma %1").arg(i)} + QStringList(12));
    batch.commit();
}

} // namespace

int main(int argc, char *argv[])
{
    // Settings of its own, so that the folder of copies is the default one beside the book.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_restore <database file of 1,000,000 contacts>\n");
        return 2;
    }
    const QString path = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    QTemporaryDir dir(QFileInfo(path).absolutePath() + QStringLiteral("/restore-XXXXXX"));
    const QString today = dir.filePath(QStringLiteral("Kartax2000.db"));
    if (!dir.isValid() || !QFile::copy(path, today)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(path));
        return 1;
    }
    try {
        TTable table;
        table.setDatabaseFile(today);
        table.setTableName(QLatin1String(ContactSchema::kTableName));
        table.open();
        changeBook(table);

        std::vector<double> compares;
        qsizetype changes = 0;
        for (int run = 0; run < 3; ++run) {
            int reports = 0;
            const auto start = bench::Clock::now();
            const BookRestore::Comparison comparison =
                BookRestore::compare(table, path, [&reports](int) { return ++reports > 0; });
            compares.push_back(bench::microsecondsSince(start) / 1e6);
            changes = comparison.changes.size();
        }
        bench::report("compare_1M", bench::median(compares), "s");
        bench::report("compare_1M_changes", double(changes), "contacts");

        // 30 copies of the book, one a day, as hard links: the listing reads only names.
        const QString folder = BookBackup::folder(BookBackup::bookOf(table));
        QDir().mkpath(folder);
        const QDateTime now = QDateTime::currentDateTime();
        for (int day = 0; day < 30; ++day) {
            const QString copy = QDir(folder).filePath(BookBackup::fileName(now.addDays(-day)));
            if (::link(QFile::encodeName(path).constData(), QFile::encodeName(copy).constData()) !=
                0) {
                std::fprintf(stderr, "cannot link %s\n", qPrintable(copy));
                return 1;
            }
        }
        std::vector<double> lists;
        std::vector<double> counted;
        for (int run = 0; run < 5; ++run) {
            TBackupWindow window([&table] { return &table; });
            const auto start = bench::Clock::now();
            window.reload();
            window.show();
            QCoreApplication::processEvents();
            lists.push_back(bench::microsecondsSince(start) / 1000.0);
            if (window.grdKopie->rowCount() != 30) {
                std::fprintf(stderr, "listed %d copies\n", window.grdKopie->rowCount());
                return 1;
            }
            while (!window.countsDone())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            counted.push_back(bench::microsecondsSince(start) / 1000.0);
        }
        bench::report("list_30_copies", bench::median(lists), "ms");
        bench::report("list_30_copies_counted", bench::median(counted), "ms");
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
