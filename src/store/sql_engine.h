#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <utility>

class DatabaseAlias;
class FullTextIndex;
class QSqlDatabase;
class QSqlError;
class QSqlQuery;
class TableConnection;

// What differs between the database engines the contact store runs on. There is one
// implementation per engine (sqlite_engine.cpp, postgres_engine.cpp); the rest of the
// store asks the engine object and never which engine it is, so a further engine is
// one further file.
class SqlEngine
{
public:
    virtual ~SqlEngine() = default;

    // The engine of a connection, by its Qt driver name. Raises DatabaseError for a
    // driver the store does not run on.
    static const SqlEngine &of(const QSqlDatabase &db);
    static const SqlEngine &forDriver(const QString &driverName);

    // The Qt driver: "QSQLITE" or "QPSQL".
    virtual QString driverName() const = 0;

    // ---- The table, its cursor, schema and batches -------------------------------
    // Members that run statements hand back the engine's error (QSqlError), as QSqlQuery
    // does, so that the table words it with its place (TableConnection::fail); the
    // others raise DatabaseError.

    // Whether the table lies in a file of its own, which the table's path() names and
    // another program may move away or replace; otherwise it lies on a server that its
    // alias names.
    virtual bool inFile() const = 0;
    // Where an alias points, for messages: "plik /srv/Kartax2000.db", "serwer
    // 127.0.0.1:5432, baza kontakty", "usługa biuro". Never a password.
    virtual QString describe(const DatabaseAlias &alias) const = 0;
    // The place a table's path() stands for, as messages name it.
    virtual QString place(const QString &path) const = 0;
    // Opens the alias as the Qt connection connectionName. Raises DatabaseError with
    // the engine's message and where it tried, and removes the connection again.
    virtual QSqlDatabase openAlias(const DatabaseAlias &alias,
                                   const QString &connectionName) const = 0;
    // Opens the connection of a table to where the alias points, making the table on
    // first use; sets the connection's path and, where writing is refused, reads only.
    // Raises DatabaseError.
    virtual void openTable(TableConnection &connection, const DatabaseAlias &alias,
                           const QString &table) const = 0;
    // Calls `changed` with the id of each row of the table that another connection
    // inserts, updates or deletes (kManyRows for many at once: a batch's), while
    // `usable` allows the connection's use, for as
    // long as the returned object lives; null where the engine tells nothing.
    virtual std::unique_ptr<QObject> listen(const QSqlDatabase &db, const QString &table,
                                            std::function<bool()> usable,
                                            std::function<void(qint64 id)> changed) const = 0;

    // Whether a failed statement lost the connection itself (a server that went away).
    virtual bool connectionLost(const QSqlDatabase &db) const = 0;
    // A failure in the words messages use, naming the place (path()) where it has one.
    virtual QString failureMessage(const QString &path, const QSqlError &error) const = 0;
    // A refused write in the words of its cause (no right to write the file or its
    // folder), or empty when the engine did not refuse it for that.
    virtual QString writeRefusal(const QString &path, const QSqlError &error) const = 0;
    // After reading the table failed: raises DatabaseError when the table is missing,
    // or lost in a damaged file; otherwise returns the error to report.
    virtual QSqlError explainUnreadableTable(const QSqlDatabase &db, const QString &table,
                                             const QString &path, const QSqlError &error) const = 0;

    // A name in the schema (an index, a column) as created: quoted where the engine
    // would otherwise fold its case.
    virtual QString schemaName(const QString &identifier) const = 0;
    // The id column of the contact table, the type of an id elsewhere, and that of a
    // sort key.
    virtual QString idColumn() const = 0;
    virtual QString idType() const = 0;
    virtual QString keyType() const = 0;
    // Whether every bookkeeping object of the table (changed-row list, collation
    // record, the triggers that mark rows) is present.
    virtual bool bookkeepingComplete(const QSqlDatabase &db, const QString &table) const = 0;
    // The statements that make the triggers marking the rows another program writes,
    // and, where the engine tells listening programs of changes, those telling them.
    virtual QStringList markingStatements(const QString &table) const = 0;
    // What creates the tables of further values and card data beside the table and their
    // triggers (a card with a generated UID for every contact inserted, its revision set
    // when a field changes, both dropped with the contact); each statement may run again.
    virtual QStringList detailsStatements(const QString &table) const = 0;
    // What gives the rows with ids in [fromId, toId) that have no card one, with a
    // generated UID.
    virtual QString missingCards(const QString &table, qint64 fromId, qint64 toId) const = 0;

    // Each index of the table with the column it orders first, by name. False with the
    // engine's error.
    virtual bool indexesByFirstColumn(const QSqlDatabase &db, const QString &table,
                                      QList<std::pair<QString, QString>> *indexes,
                                      QSqlError *failure) const = 0;
    // Whether the table has an index of that name, asked when it orders no field.
    virtual bool indexExists(const QSqlDatabase &db, const QString &table,
                             const QString &index) const = 0;
    // An index that a large write drops within its transaction and makes again at the
    // end: the statement that makes it and the columns it orders.
    struct MadeIndex
    {
        QString name;
        QString create;
        QStringList columns;
    };
    // The indexes of the table a large write may set aside: the program's own on an
    // SQLite file; none on a server, which keeps its indexes in order as rows change
    // and whose users read meanwhile. False with the engine's error.
    virtual bool indexesToSetAside(const QSqlDatabase &db, const QString &table,
                                   QList<MadeIndex> *indexes, QSqlError *failure) const = 0;

    // The clause that names the index a query walks ("INDEXED BY x "), or empty where
    // the engine's planner picks it from the order.
    virtual QString indexedBy(const QString &index) const = 0;
    // SQL true when some row `from` (aliased p) has a key beyond the row c's, lesser
    // (`before`) or greater, so that the engine seeks its index for it.
    virtual QString anyKeyBeyond(const QString &from, const QString &key, bool before) const = 0;
    // Whether a row-value comparison, (key, id) > (?, ?), seeks a (key, id) index rather
    // than reading every row of an equal key.
    virtual bool rowValueSeeks() const = 0;
    // What an INSERT ends with so that insertedId() can read the new row's id, and the id.
    virtual QString returningId() const = 0;
    virtual qint64 insertedId(QSqlQuery &insert) const = 0;
    // How many new rows a batch writes with each statement: one where a statement costs
    // no round trip; more on a server, their ids taken beforehand with idsStatement(),
    // which returns `count` unused ids of the table (empty where a row is its own
    // statement).
    virtual int batchRowsPerStatement() const = 0;
    virtual QString idsStatement(const QString &table, int count) const = 0;

    // A batch's writes: keeps the triggers from marking the rows the batch writes, within
    // its transaction, adding to `restore` what makes them again at commit; the trigger
    // that gives new rows their card may be set aside too, as the batch writes the cards
    // itself. False with the engine's error.
    virtual bool setAsideMarking(const QSqlDatabase &db, const QString &table, QStringList *restore,
                                 QSqlError *failure) const = 0;
    // What begins the transaction of a post that updates one row and writes its keys and
    // search text itself: the triggers then neither mark the row nor tell listeners of
    // it, and the post tells them with notifyChanged() as it commits. Only for an engine
    // whose search index follows its text by itself, so that the post stores the text
    // alone (SearchIndexWriter::writeTextOnly). Empty where the triggers mark such a row
    // as usual and the post clears the marks.
    virtual QString ownUpdateBegin() const = 0;
    // What a listener's `changed` is told when many rows changed at once.
    static constexpr qint64 kManyRows = -1;
    // The statement, run before a batch commits, that tells listening programs of the
    // rows it updated or deleted (its triggers tell none, and no program shows a row
    // it inserted); empty where nobody listens.
    virtual QString notifyChanged(const QString &table, const QList<qint64> &ids) const = 0;
    // Raises the connection's page cache for a batch; returns what restoreCache() needs.
    virtual QVariant enlargeCache(const QSqlDatabase &db) const = 0;
    virtual void restoreCache(const QSqlDatabase &db, const QVariant &saved) const = 0;
    // Keeps a commit from copying the write-ahead log into the file itself; returns what
    // resumeCheckpoints() needs, invalid when nothing was held (the log is then to be
    // copied in the background after the commit).
    virtual QVariant holdCheckpoints(const QSqlDatabase &db) const = 0;
    virtual void resumeCheckpoints(const QSqlDatabase &db, const QVariant &held) const = 0;

    // ---- The full-text index and its searches ------------------------------------

    // The search index of contact tables on this engine: how it is made, written and
    // searched.
    virtual const FullTextIndex &fullTextIndex() const = 0;

protected:
    SqlEngine() = default;
    SqlEngine(const SqlEngine &) = delete;
    SqlEngine &operator=(const SqlEngine &) = delete;
};
