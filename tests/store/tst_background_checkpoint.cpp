#include "store/background_checkpoint.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// The write-ahead log copied into the database file by a connection of its own.
class TestBackgroundCheckpoint : public QObject
{
    Q_OBJECT

private slots:
    void logReachesTheFile();
};

void TestBackgroundCheckpoint::logReachesTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("k.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("w"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query(db);
        for (const char *sql :
             {"PRAGMA journal_mode=WAL", "PRAGMA wal_autocheckpoint=0", "CREATE TABLE t (v)",
              "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
              "INSERT INTO t SELECT randomblob(1000) FROM n"})
            QVERIFY2(query.exec(QLatin1String(sql)), sql);
        QVERIFY(QFileInfo(path).size() < 100000); // every page still in the log
        BackgroundCheckpoint(path, 1000);         // the copy has ended when it is gone
        QVERIFY(QFileInfo(path).size() > 2000000);
        // One that cannot open its file says so and ends.
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("stays to be copied")));
        BackgroundCheckpoint(dir.filePath(QStringLiteral("none.db")), 1000);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("w"));
}

QTEST_GUILESS_MAIN(TestBackgroundCheckpoint)
#include "tst_background_checkpoint.moc"
