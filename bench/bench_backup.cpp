// Backups of a large book: the time of a copy, and how the table moves on the main
// thread while the automatic copy runs in the background.

#include "bench_util.h"

#include "platform/errors.h"
#include "store/backup_keeper.h"
#include "store/book_backup.h"
#include "store/contact_schema.h"
#include "store/database_alias.h"
#include "store/table.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>

namespace {

// "1M" for 1,000,000 contacts, otherwise the number.
QByteArray sizeName(qint64 contacts)
{
    return contacts % 1000000 == 0 ? QByteArray::number(contacts / 1000000) + 'M'
                                   : QByteArray::number(contacts);
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir config; // the folder of copies is set in settings of the benchmark's own
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_backup <database file>\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QString table = QLatin1String(ContactSchema::kTableName);
    const DatabaseAlias book = DatabaseAlias::ofFile(path);
    QTemporaryDir copies(path + QStringLiteral("-kopie-XXXXXX")); // on the book's disk
    try {
        const qint64 contacts = BookBackup::contactCount(path, table);
        const auto start = bench::Clock::now();
        BookBackup::write(book, table, copies.filePath(QStringLiteral("kopia.db")));
        bench::report(("backup_" + sizeName(contacts)).constData(),
                      bench::microsecondsSince(start) / 1e6, "s");

        // The windows' cursor moves while the keeper copies on its worker thread.
        TTable cursor;
        cursor.setDatabaseFile(path);
        cursor.setTableName(table);
        cursor.open();
        BookBackup::setFolder(copies.path());
        BackupKeeper keeper(book, table);
        QString failure;
        QObject::connect(&keeper, &BackupKeeper::failed,
                         [&failure](const QString &message) { failure = message; });
        std::vector<double> moves;
        const auto background = bench::Clock::now();
        keeper.copyNow();
        for (int i = 0; keeper.running(); ++i) {
            const auto move = bench::Clock::now();
            if (i % 200 == 0)
                cursor.first();
            else if (i % 200 == 100)
                cursor.last();
            else if ((i / 100) % 2 == 0)
                cursor.next();
            else
                cursor.prior();
            moves.push_back(bench::microsecondsSince(move) / 1000.0);
            // Moves as quick as a held key repeats them, and far quicker.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(2);
        }
        if (!failure.isEmpty())
            throw DatabaseError(failure);
        bench::report(("backup_background_" + sizeName(contacts)).constData(),
                      bench::microsecondsSince(background) / 1e6, "s");
        bench::report("backup_moves", double(moves.size()), "moves");
        bench::report("backup_move_median", bench::median(moves), "ms");
        bench::report("backup_move_p999", bench::percentile(moves, 99.9), "ms");
        bench::report("backup_move_max", bench::percentile(moves, 100), "ms");
        bench::report(
            "backup_moves_over_16ms",
            double(std::count_if(moves.begin(), moves.end(), [](double ms) { return ms > 16.0; })),
            "moves");
    } catch (const KaxError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    return 0;
}
