#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/settings_store.h"
#include "store/backup_keeper.h"
#include "store/book_backup.h"
#include "store/book_restore.h"
#include "store/database_alias.h"
#include "store/table.h"
#include "store/table_batch.h"
#include "support/contact_fixture.h"
#include "support/pg_test_server.h"

#include <QCoreApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// Backups of the book: names, rotation, consistent copies while others write, a full
// disk, a killed backup, refused files and a server book copied into a file.
class TestBookBackup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void rotationOverAYear();
    void copyWhileAnotherPosts();
    void fullDisk();
    void killedBackup();
    void refusesWhatIsNoBook();
    void serverBookIntoAFile();

private:
    // A book file of `count` contacts written by the program; returns its path.
    QString makeBook(int count, const QString &name = QStringLiteral("Kartax2000.db"));
    static qint64 countOf(const QString &path)
    {
        return BookBackup::contactCount(path, QStringLiteral("Kartax2000"));
    }

    QTemporaryDir m_dir;
};

const QString kTable = QStringLiteral("Kartax2000");

void TestBookBackup::init()
{
    QFile::remove(SettingsStore::defaultPath());
    Clock::setSource({});
}

QString TestBookBackup::makeBook(int count, const QString &name)
{
    const QString path = m_dir.filePath(name);
    TTable table;
    table.setDatabaseFile(path);
    table.setTableName(kTable);
    table.open();
    TableBatch batch(table);
    for (int i = 0; i < count; ++i)
        batch.insert(QStringList{QStringLiteral("Firma %1").arg(i), QStringLiteral("Handel"),
                                 QStringLiteral("Jan Nowak"), QStringLiteral("Polska"),
                                 QStringLiteral("Łódź")} +
                     QStringList(8));
    batch.commit();
    return path;
}

void TestBookBackup::rotationOverAYear()
{
    QCOMPARE(BookBackup::fileName(QDateTime(QDate(2026, 12, 9), QTime(8, 15, 42))),
             QStringLiteral("Kartax2000-2026-12-09-0815.db"));
    QCOMPARE(BookBackup::timeOfName(QStringLiteral("/k/Kartax2000-2026-12-09-0815.db")),
             QDateTime(QDate(2026, 12, 9), QTime(8, 15)));
    QVERIFY(!BookBackup::timeOfName(QStringLiteral("Kartax2000-2026-12-09.db")).isValid());

    const DatabaseAlias book = DatabaseAlias::ofFile(makeBook(2));
    QDateTime now(QDate(2026, 1, 1), QTime(8, 15));
    Clock::setSource([&now] { return now; });
    for (; now.date() <= QDate(2026, 12, 31); now = now.addDays(1))
        BookBackup::makeAutomatic(book, kTable);
    QStringList kept;
    for (const BookBackup::Copy &copy : BookBackup::list(m_dir.filePath(QStringLiteral("Kopie"))))
        kept << copy.time.toString(QStringLiteral("MM-dd"));
    // 7 days, then the weeks' newest (Dec 20, 13, 6), then the months'.
    QCOMPARE(kept, (QStringList{"12-31", "12-30", "12-29", "12-28", "12-27", "12-26", "12-25",
                                "12-20", "12-13", "12-06", "11-30", "10-31", "09-30", "08-31",
                                "07-31", "06-30", "05-31", "04-30", "03-31", "02-28", "01-31"}));
    QCOMPARE(countOf(m_dir.filePath(QStringLiteral("Kopie/Kartax2000-2026-01-31-0815.db"))), 2);

    // However old, the newest copy stays.
    const QList<BookBackup::Copy> old{{"a", QDateTime(QDate(2020, 1, 2), QTime(1, 0)), 1},
                                      {"b", QDateTime(QDate(2020, 1, 1), QTime(1, 0)), 1}};
    QCOMPARE(BookBackup::toDrop(old, now), QStringList{"b"});
}

void TestBookBackup::copyWhileAnotherPosts()
{
    const QString path = makeBook(100, QStringLiteral("posted.db"));
    // Another program posts batches of seven contacts; each batch is one commit.
    QByteArray script = ".timeout 10000\n";
    for (int i = 0; i < 2000; ++i)
        script += "BEGIN;" +
                  QByteArray("INSERT INTO Kartax2000 (Nazwa) VALUES ('Inna');").repeated(7) +
                  "COMMIT;\n";
    QProcess writer;
    writer.start(QStringLiteral("sqlite3"), {path});
    QVERIFY(writer.waitForStarted());
    writer.write(script);
    writer.closeWriteChannel();
    QTRY_VERIFY(countOf(path) > 100 + 7 * 20);
    const QString copy = m_dir.filePath(QStringLiteral("kopia.db"));
    BookBackup::write(DatabaseAlias::ofFile(path), kTable, copy);
    QVERIFY(writer.waitForFinished(60000));
    QCOMPARE(writer.exitCode(), 0);
    BookBackup::verifyBook(copy, kTable); // integrity_check included
    const qint64 copied = countOf(copy);
    QVERIFY2(copied > 240 && copied <= 100 + 7 * 2000 && (copied - 100) % 7 == 0,
             qPrintable(QString::number(copied)));
}

void TestBookBackup::fullDisk()
{
    const QString path = makeBook(3000, QStringLiteral("full.db"));
    const QString small = m_dir.filePath(QStringLiteral("small"));
    QDir().mkpath(small);
    // A small file system when this may mount one, otherwise a page limit as full.
    const bool mounted = QProcess::execute(QStringLiteral("mount"),
                                           {"-t", "tmpfs", "-o", "size=64k", "tmpfs", small}) == 0;
    const auto unmount = qScopeGuard([&] {
        BookBackup::setPageLimitForTests(0);
        if (mounted)
            QProcess::execute(QStringLiteral("umount"), {small});
    });
    if (!mounted)
        BookBackup::setPageLimitForTests(4);
    const QString target = small + QStringLiteral("/kopia.db");
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("stara") == 5);
    old.close();
    try {
        BookBackup::write(DatabaseAlias::ofFile(path), kTable, target);
        QFAIL("a copy on a full disk");
    } catch (const DatabaseError &error) {
        QVERIFY2(error.message().startsWith(QStringLiteral("Nie można zapisać kopii zapasowej ")) &&
                     error.message().endsWith(QStringLiteral(": brak miejsca na urządzeniu.")),
                 qPrintable(error.message()));
    }
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("stara"));
    QCOMPARE(QDir(small).entryList(QDir::Files), QStringList{"kopia.db"});
    {
        TTable table; // the book goes on
        table.setDatabaseFile(path);
        table.setTableName(kTable);
        table.open();
        insertContact(table, QStringLiteral("Po awarii"));
        QCOMPARE(table.recordCount(), 3001);
    }

    BookBackup::setFolder(small);
    BackupKeeper keeper(DatabaseAlias::ofFile(path), kTable);
    QSignalSpy failed(&keeper, &BackupKeeper::failed);
    QSignalSpy finished(&keeper, &BackupKeeper::finished);
    QVERIFY(keeper.startUp());
    QTRY_COMPARE(finished.size(), 1);
    keeper.copyNow();
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(failed.size(), 1); // said once
    QVERIFY(failed[0][0].toString().contains(QStringLiteral("brak miejsca na urządzeniu")));
}

void TestBookBackup::killedBackup()
{
    const QString path = makeBook(1000, QStringLiteral("large.db"));
    {
        // A larger book, as another program writes one, taken in by the program once.
        QProcess filler;
        filler.start(QStringLiteral("sqlite3"),
                     {path, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                            "i < 300000) INSERT INTO Kartax2000 (Nazwa, Miasto, Uwagi) SELECT "
                            "'Firma ' || i, 'Kraków', hex(randomblob(100)) FROM n"});
        QVERIFY(filler.waitForFinished(120000) && filler.exitCode() == 0);
    }
    SettingsStore settings;
    settings.openKey(QStringLiteral("\\Aliasy\\Kax2000"), true);
    settings.writeString(QStringLiteral("Database"), path);
    const QString target = m_dir.filePath(QStringLiteral("kopia.db"));
    BookBackup::write(DatabaseAlias::ofFile(path), kTable, target); // the last good copy
    QCOMPARE(countOf(target), 301000);

    QProcess backup;
    backup.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../src/kartax2000"),
                 {QStringLiteral("--backup"), target});
    QVERIFY(backup.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(target + QStringLiteral(".part")).size() > 1000000 ||
                                 backup.state() == QProcess::NotRunning,
                             60000);
    QVERIFY2(backup.state() == QProcess::Running, backup.readAllStandardError().constData());
    ::kill(pid_t(backup.processId()), SIGKILL);
    QVERIFY(backup.waitForFinished());
    BookBackup::verifyBook(target, kTable);
    QCOMPARE(countOf(target), 301000);
    BookBackup::verifyBook(path, kTable);
    QCOMPARE(countOf(path), 301000);
    // Run again to its end, it puts a whole copy in place.
    backup.start();
    QVERIFY(backup.waitForFinished(120000));
    QCOMPARE(backup.readAllStandardOutput(),
             QStringLiteral("Zapisano kopię książki adresowej do %1 (kontaktów: 301000).\n")
                 .arg(target)
                 .toUtf8());
    QCOMPARE(backup.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(target + QStringLiteral(".part")));
}

void TestBookBackup::refusesWhatIsNoBook()
{
    const QString text = m_dir.filePath(QStringLiteral("notatki.txt"));
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("To nie jest baza.\n") > 0);
    file.close();
    const QString other = m_dir.filePath(QStringLiteral("inna.db"));
    QVERIFY(QProcess::execute(QStringLiteral("sqlite3"), {other, "CREATE TABLE t (a)"}) == 0);
    const QList<std::pair<QString, QString>> cases{
        {text, QStringLiteral("Plik %1 nie jest książką Kartax2000 (to nie jest baza SQLite).")},
        {other, QStringLiteral("Plik %1 nie jest dobrą książką Kartax2000: brak tabeli kontaktów "
                               "Kartax2000.")},
        {m_dir.filePath(QStringLiteral("brak.db")),
         QStringLiteral("Nie można odczytać pliku %1: nie ma takiego pliku ani folderu.")}};
    for (const auto &[path, message] : cases) {
        try {
            BookBackup::verifyBook(path, kTable);
            QFAIL(qPrintable(path));
        } catch (const DatabaseError &error) {
            QCOMPARE(error.message(), message.arg(path));
        }
    }
    BookBackup::verifyBook(makeBook(1, QStringLiteral("good.db")), kTable);
}

void TestBookBackup::serverBookIntoAFile()
{
    PgTestServer server;
    if (!server.available())
        QSKIP(qPrintable(server.unavailableReason()));
    QVERIFY2(server.start() && server.createDatabase(QStringLiteral("kontakty")),
             qPrintable(server.error()));
    writeServerAlias(server, QStringLiteral("kontakty"));
    const QList<ContactDetail> details{
        {ContactDetail::Phone, QStringLiteral("komórkowy"), QString(), QStringLiteral("600")},
        {ContactDetail::Email, QString(), QString(), QStringLiteral("b@firma.pl")}};
    QList<qint64> ids;
    {
        TTable table;
        table.setDatabaseName(QStringLiteral("Kax2000"));
        table.setTableName(kTable);
        table.open();
        for (const QString &name :
             {QStringLiteral("Alfa"), QStringLiteral("Beta"), QStringLiteral("Gamma")}) {
            insertContact(table, name);
            ids << table.recordId();
        }
        table.deleteRecord(); // Gamma: ids stay as they were
        QVERIFY(table.locate(ids[1]));
        table.edit();
        table.setDetails(details);
        table.post();
    }
    const QString copy = m_dir.filePath(QStringLiteral("z-serwera.db"));
    BookBackup::write(DatabaseAlias::read(QStringLiteral("Kax2000")), kTable, copy);
    {
        TTable table;
        table.setDatabaseFile(copy);
        table.setTableName(kTable);
        table.open();
        QCOMPARE(walkForward(table), (QStringList{"Alfa", "Beta"}));
        QVERIFY(table.locate(ids[1]) && table.fieldText(QStringLiteral("Nazwa")) == "Beta");
        QCOMPARE(table.details(), details);
    }

    // The copy brings the server book back, compared and restored in one transaction.
    TTable table;
    table.setDatabaseName(QStringLiteral("Kax2000"));
    table.setTableName(kTable);
    table.open();
    QVERIFY(table.locate(ids[0]));
    table.deleteRecord();
    QVERIFY(table.locate(ids[1]));
    table.edit();
    table.setDetails({});
    table.post();
    QCOMPARE(BookRestore::compare(table, copy).changes.size(), 2);
    BookRestore::restoreAll(table, copy);
    QCOMPARE(BookRestore::compare(table, copy).changes.size(), 0);
    QCOMPARE(walkForward(table), (QStringList{"Alfa", "Beta"}));
    QVERIFY(table.locate(ids[1]));
    QCOMPARE(table.details(), details);
}

QTEST_GUILESS_MAIN(TestBookBackup)
#include "tst_book_backup.moc"
