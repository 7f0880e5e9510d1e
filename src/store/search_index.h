#pragma once

#include "store/bulk_statement.h"
#include "store/search_words.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

enum class SearchScope;

// The full-text search index of a contact table, in the same file. A plain table
// "<table>_search_text" holds per contact (id) a folded copy of its text in four
// columns: Nazwa, Filia, Email and Inne (every other field, telephone and fax numbers
// also as bare digits). Folding is done by the program (lower case, Polish and other
// diacritics stripped), as the trigram tokenizer of SQLite 3.40 cannot strip them.
// Two trigram FTS5 indexes are built over that text as their external content:
// "<table>_search" over all four columns and "<table>_search_names" over the first
// three, so that a search in name, representative and e-mail meets no rows that hold
// its trigrams only elsewhere. They keep only which rows hold a trigram (detail=none,
// no column sizes), the smallest FTS5 offers; every candidate is then checked against
// the text (LIKE). A contentless index would be smaller still, but SQLite 3.40 cannot
// delete from one. Plain-SQL triggers drop the text of a deleted contact and mark
// contacts inserted or updated in "<table>_search_marks"; the program clears the mark
// when it writes the text, so marks left behind name rows that another program wrote,
// and repair() writes their text. The stock sqlite3 tool can still write and check
// the file.
// On a PostgreSQL server the text table, marks and triggers are the same (the triggers
// call plpgsql functions), and pg_trgm's GIN index on each text column takes the place
// of the FTS5 indexes: the server looks LIKE '%word%' up by the word's trigrams itself.
namespace SearchIndex {

QString tableName(const QString &table);     // "Kartax2000" -> "Kartax2000_search"
QString textTableName(const QString &table); // "Kartax2000" -> "Kartax2000_search_text"

// The triggers that mark rows another program inserts or updates in an SQLite file, by
// name with the statement that creates each when missing.
QList<std::pair<QString, QString>> markTriggers(const QString &table);

// Whether the table has its search index.
bool exists(QSqlDatabase &db, const QString &table);

// Creates and fills the search index when it is missing, in one transaction, reporting
// how far it has got in per cent; on a server also the pg_trgm extension. A table
// without the contact fields gets none. Raises DatabaseError with the engine's message;
// the database is then as it was.
void ensure(QSqlDatabase &db, const QString &table,
            const std::function<void(int percent)> &progress = {});

// Writes again, in one transaction, the text of the rows that another program inserted
// or updated (the index's triggers mark them). Raises DatabaseError with the engine's
// message; the database is then as it was.
void repair(QSqlDatabase &db, const QString &table);

// ---- What the engines' indexes share -----------------------------------------------

// The text table's columns; Inne holds every field without a column of its own.
const QStringList &columns();
// Rows another program inserted or updated, whose text is to be written again. Its own,
// not the sort keys' changed-row table: a program that knows nothing of the index
// clears those marks when it writes its keys.
QString marksTableName(const QString &table);
QString insertTriggerName(const QString &table);
QString updateTriggerName(const QString &table);
QString deleteTriggerName(const QString &table);
// The index of the i-th of the beginnings of name, representative and branch.
QString startIndexName(const QString &table, qsizetype i);
// The contact fields in table order, quoted, separated by commas.
QString fieldList();

// Runs the statements in turn; false with the first one's error.
bool execAll(QSqlDatabase &db, const QStringList &statements, QSqlError *failure);
// Makes a missing index: on a table that has every contact field (a table without them
// gets no index and is left as it is), runs `build` in one transaction and commits it.
// What `build` or the engine raises is raised on; the database is then as it was.
void buildMissing(QSqlDatabase &db, const QString &table, const std::function<void()> &build);

// Rows read at a time while the index is built.
inline constexpr int kBuildBatch = 10000;
// The share of a server build's progress, in per cent, that writing the text takes;
// indexing it takes the rest. A file's build writes and indexes each batch in turn.
inline constexpr int kTextShare = 50;

// Stores the search text of a batch of rows, given their ids and column texts; false
// with the engine's error.
using TextInsert = std::function<bool(const std::vector<qint64> &ids,
                                      const std::vector<QStringList> &rows, QSqlError *failure)>;

// Writes the text of every row of the table with `insert`, within the caller's
// transaction, reading the rows in id order a batch at a time, and reports progress up
// to kTextShare per cent.
bool writeEveryText(QSqlDatabase &db, const QString &table,
                    const std::function<void(int)> &progress, const TextInsert &insert,
                    QSqlError *failure);

} // namespace SearchIndex

// The search index as one database engine keeps it; SqlEngine::fullTextIndex() gives a
// connection's. Its statements bind values by position.
class FullTextIndex
{
public:
    virtual ~FullTextIndex() = default;

    // SearchIndex::exists() and ensure() on this engine.
    virtual bool exists(QSqlDatabase &db, const QString &table) const = 0;
    virtual void ensure(QSqlDatabase &db, const QString &table,
                        const std::function<void(int percent)> &progress) const = 0;

    // A statement of the writer: it binds a row's id, then the first `texts` of the
    // row's four column texts.
    struct Statement
    {
        QString sql;
        int texts = 0;
    };
    // What SearchIndexWriter::write() runs, in turn, to replace a row's text in the
    // index and clear its mark.
    virtual QList<Statement> writeStatements(const QString &table) const = 0;
    // What SearchIndexWriter::remove() runs to drop a row's text and its mark; each
    // binds the id.
    virtual QStringList removeStatements(const QString &table) const = 0;
    // The statement that stores or replaces the text of `rows` rows without indexing it;
    // it binds the id and the four column texts of each row in turn.
    virtual QString textOnlyStatement(const QString &table, int rows) const = 0;
    // The statements that index the rows with ids in [from, to) whose text was stored
    // alone, and clear their marks; each binds from and to.
    virtual QStringList indexTextStatements(const QString &table) const = 0;
    // What runs after the last of those statements of a transaction, which indexed
    // `rows` rows in all, before the settings are put back: one step of `steps` that
    // merges the parts of the index those statements wrote, so that no later write of
    // one row has to merge them all at once.
    virtual QStringList mergeStatements(const QString & /*table*/, qint64 /*rows*/,
                                        int /*steps*/) const
    {
        return {};
    }
    // Statements that each merge a few hundred pages' worth of the parts that those
    // statements wrote, where enough parts wait; run again until none changes anything.
    // Short, so that each may run in a transaction of its own beside the user's writes.
    virtual QStringList mergeStepStatements(const QString & /*table*/) const { return {}; }
    // What runs before the first of those statements in a transaction (`starting`) and
    // after their last: settings for indexing many rows at once, and back as they were.
    virtual QStringList bulkIndexStatements(const QString & /*table*/, bool /*starting*/) const
    {
        return {};
    }

    // The SELECT of the ids of contacts that hold every word (in any of its forms)
    // within the scope, with ids above and up to the two values that `binds` holds
    // first, in id order; the values it binds are appended after those. May read the
    // index to choose how to look up; raises DatabaseError as searchFailure() words it.
    virtual QString matchQuery(QSqlDatabase &db, const QString &table,
                               const QList<QStringList> &words, SearchScope scope, bool withEmail,
                               QVariantList *binds) const = 0;
    // Whether a lookup of a word reads the index whole however few ids the stretch spans
    // (a server's trigram index), rather than at a cost in proportion to them.
    virtual bool wholeLookups() const { return false; }
    // Where lookups are whole: the SELECT like matchQuery()'s that reads the stretch's
    // rows one by one instead, at a cost in proportion to its ids.
    virtual QString rowMatchQuery(const QString & /*table*/, const QList<QStringList> & /*words*/,
                                  SearchScope /*scope*/, bool /*withEmail*/,
                                  QVariantList * /*binds*/) const
    {
        return {};
    }
    // What a search in a table without its index is told, in Polish.
    virtual QString missingMessage(QSqlDatabase &db, const QString &table) const = 0;
    // The error of a failed search, in Polish.
    virtual QString searchFailure(const QSqlDatabase &db, const QSqlError &error) const = 0;

protected:
    FullTextIndex() = default;
    FullTextIndex(const FullTextIndex &) = delete;
    FullTextIndex &operator=(const FullTextIndex &) = delete;
};

// Writes the search text of contact rows within the caller's transaction.
class SearchIndexWriter
{
public:
    SearchIndexWriter(QSqlDatabase &db, const QString &table);
    ~SearchIndexWriter();
    SearchIndexWriter(const SearchIndexWriter &) = delete;
    SearchIndexWriter &operator=(const SearchIndexWriter &) = delete;

    // Whether the table has a search index; without one, writes do nothing and succeed.
    bool active() const { return m_active; }
    // values: the 13 fields in table order; inserts or replaces, and clears the row's
    // mark. Each raises DatabaseError with the engine's message.
    void write(qint64 id, const QStringList &values);
    void remove(qint64 id);
    // A bulk insert of new rows: writeTextOnly() stores or replaces a row's text
    // without indexing it, and indexText() then indexes the rows with ids in [from, to)
    // in one statement per index, and clears their marks (a server's indexes follow
    // the text by themselves). Indexing row by row costs far more: each statement that
    // drops text opens a savepoint, and FTS5 writes out what it holds in memory at
    // every savepoint. The texts may be given in UTF-8, as stored.
    void writeTextOnly(qint64 id, const QStringList &columnTexts);
    void writeTextOnly(qint64 id, const QList<QByteArray> &utf8ColumnTexts);
    // The same for several rows in one statement, for a server where each statement is
    // a round trip: the id and the UTF-8 column texts of each.
    using TextRow = std::pair<qint64, const QList<QByteArray> *>;
    void writeTextsOnly(const std::vector<TextRow> &rows);
    void indexText(qint64 from, qint64 to);
    // Ends indexText()'s calls of the transaction: before the commit. `progress` hears
    // the per cent of the work done now and then; when it returns false, the work stops
    // half done and finishIndexing() returns false: the caller then rolls back.
    bool finishIndexing(const std::function<bool(int percent)> &progress = {});
    // Ends them leaving the parts unmerged and the settings for many rows in place:
    // what is left to do after the commit, on a connection of its own (see
    // BackgroundUpkeep). Empty where nothing is, or where the engine merges by itself.
    struct LaterMerge
    {
        QStringList steps;
        QStringList afterMerge;
    };
    LaterMerge finishIndexingLater();

private:
    void runBulkStatements(bool starting);

    using Prepared = std::vector<std::unique_ptr<QSqlQuery>>;
    // Prepares the statements into *queries when it is empty.
    void prepare(const QStringList &statements, Prepared *queries);

    QSqlDatabase m_db;
    QString m_table;
    const FullTextIndex &m_index; // the engine's
    bool m_active = false;
    QList<int> m_writeTexts;    // the column texts each of m_writes binds
    Prepared m_writes;          // write()'s statements, prepared at the first
    Prepared m_removes;         // remove()'s
    BulkStatements m_textsOnly; // writeTextsOnly()'s, by the rows they write
    bool m_indexing = false;    // indexText() set the engine up for many rows
    qint64 m_indexedRows = 0;
};
