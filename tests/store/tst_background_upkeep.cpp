#include "store/background_upkeep.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// A full-text index merged, and the write-ahead log copied into the database file, by a
// connection of its own.
class TestBackgroundUpkeep : public QObject
{
    Q_OBJECT

private slots:
    void indexIsMergedAndLogReachesTheFile();
};

void TestBackgroundUpkeep::indexIsMergedAndLogReachesTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("k.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("w"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query(db);
        const auto sql = [&query](const QString &statement) {
            QStringList rows;
            if (!query.exec(statement))
                return query.lastError().text();
            while (query.next())
                rows << query.value(0).toString();
            query.finish(); // no read left open on an older state of the file
            return rows.join(u',');
        };
        QCOMPARE(sql(u"PRAGMA journal_mode=WAL"_s), u"wal"_s);
        for (const QString &statement :
             {u"PRAGMA wal_autocheckpoint=0"_s, u"CREATE TABLE t (v)"_s,
              u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
              "INSERT INTO t SELECT randomblob(1000) FROM n"_s,
              u"CREATE VIRTUAL TABLE f USING fts5(v, tokenize = 'trigram', detail = none)"_s,
              u"INSERT INTO f (f, rank) VALUES ('automerge', 0)"_s})
            QVERIFY2(query.exec(statement), qPrintable(statement));
        // Five parts, one per transaction, as a large batch leaves them.
        for (int part = 0; part < 5; ++part)
            QVERIFY(query.exec(
                u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                "WHERE i < 300) INSERT INTO f SELECT 'słowo ' || i || ' %1' FROM n"_s.arg(part)));
        QCOMPARE(sql(u"SELECT count(DISTINCT segid) FROM f_idx"_s), u"5"_s);
        QVERIFY(QFileInfo(path).size() < 100000); // every page still in the log
        {
            const BackgroundUpkeep upkeep(path, 1000,
                                          {u"INSERT INTO f (f, rank) VALUES ('merge', 20)"_s},
                                          {u"DELETE FROM f_config WHERE k = 'automerge'"_s});
            QTRY_COMPARE(sql(u"SELECT group_concat(k) FROM f_config"_s), u"version"_s);
            QCOMPARE(sql(u"SELECT count(DISTINCT segid) FROM f_idx"_s), u"1"_s);
            QCOMPARE(sql(u"INSERT INTO f (f) VALUES ('integrity-check')"_s), QString());
        } // the copy has ended when it is gone
        QVERIFY(QFileInfo(path).size() > 2000000);

        // One that cannot open its file, or whose statement fails, says so and ends.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"cannot be opened"_s));
        BackgroundUpkeep(dir.filePath(u"none.db"_s), 1000);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"settings for many rows"_s));
        BackgroundUpkeep(path, 1000, {}, {u"INSERT INTO none VALUES (1)"_s});
    }
    QSqlDatabase::removeDatabase(QStringLiteral("w"));
}

QTEST_GUILESS_MAIN(TestBackgroundUpkeep)
#include "tst_background_upkeep.moc"
