#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class BulkStatement;

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

// Text as the index stores and searches it: lower case, diacritics stripped (ł -> l).
QString fold(const QString &text);
// Only the digits of text: "+48 22 555-11" -> "482255511".
QString digits(const QString &text);
// The four column texts the index keeps of a contact, given its 13 field values.
QStringList columnTexts(const QStringList &values);

// The triggers that mark rows another program inserts or updates, by name with the
// statement that creates each when missing.
QList<std::pair<QString, QString>> markTriggers(const QString &table);

// Whether the table has its search index.
bool exists(QSqlDatabase &db, const QString &table);

// Creates and fills the search index when it is missing, in one transaction, reporting
// how far it has got in per cent; on a server also the pg_trgm extension. A table
// without the contact fields gets none. Returns false with the engine's message; the
// database is then as it was.
bool ensure(QSqlDatabase &db, const QString &table, QString *error,
            const std::function<void(int percent)> &progress = {});

// Writes again, in one transaction, the text of the rows that another program inserted
// or updated (the index's triggers mark them). False with the engine's message; the
// database is then as it was.
bool repair(QSqlDatabase &db, const QString &table, QString *error);

} // namespace SearchIndex

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
    // mark. False with the engine's message.
    bool write(qint64 id, const QStringList &values, QString *error);
    bool remove(qint64 id, QString *error);
    // A bulk insert of new rows: writeTextOnly() stores or replaces a row's text
    // without indexing it, and indexText() then indexes the rows with ids in [from, to)
    // in one statement per index, and clears their marks (a server's indexes follow
    // the text by themselves). Indexing row by row costs far more: each statement that
    // drops text opens a savepoint, and FTS5 writes out what it holds in memory at
    // every savepoint. The texts may be given in UTF-8, as stored.
    bool writeTextOnly(qint64 id, const QStringList &columnTexts, QString *error);
    bool writeTextOnly(qint64 id, const QList<QByteArray> &utf8ColumnTexts, QString *error);
    bool indexText(qint64 from, qint64 to, QString *error);

private:
    bool prepare(QString *error);
    static bool execDrop(QSqlQuery &drop, qint64 id, QString *error);

    QSqlDatabase m_db;
    QString m_table;
    bool m_active = false;
    bool m_server = false; // on a PostgreSQL server, whose indexes follow the text table
    std::vector<std::unique_ptr<QSqlQuery>> m_drops;   // the old text out of each table
    std::vector<std::unique_ptr<QSqlQuery>> m_inserts; // the new text into each table
    std::unique_ptr<BulkStatement> m_textOnly;
};

// Which fields a contact search looks in.
enum class SearchScope {
    NameRepresentativeEmail, // Nazwa, Filia, Email
    All,                     // every field
    Beginnings,              // the start of Nazwa, Branza or Filia
};

// One contact found: its id and its 13 field values in table order.
struct ContactMatch
{
    qint64 id = -1;
    QStringList values;
};

// Finds contacts by text through the search index. The text is folded like the index
// and split at white space; a contact matches when every word occurs within the scope,
// in any field of it. A word of digits and telephone punctuation ("22-555", the post
// code "80-266") is looked for by its digits and as typed, a word of five digits also
// as a post code ("80266": "80-266"). A text of more than 64 different words is refused
// with a message that says so. Words of three or more characters are looked up by their
// trigrams; a text of only one- and two-character words has none to look up, so it is
// matched by reading the index's text row by row, stopping at the limit. Beginnings
// are looked up in indexes of the first two folded characters of the name, branch and
// representative, made at open when missing.
class ContactSearch
{
public:
    ContactSearch(QSqlDatabase db, const QString &table);

    // At most `limit` matches in id order; with `withEmail`, only contacts that have an
    // e-mail address. Raises DatabaseError naming the file and the cause, also when the
    // table has no search index, and KaxError for a text of too many words.
    // Only matches with ids above `after` (the next page after the last one read) and
    // up to `upTo`.
    QList<ContactMatch> find(const QString &text, SearchScope scope, int limit,
                             bool withEmail = false,
                             qint64 after = std::numeric_limits<qint64>::min(),
                             qint64 upTo = std::numeric_limits<qint64>::max()) const;

    // A part of a search that can be carried on: up to `limit` matches with ids above
    // `after` in id order, read for no much longer than the budget (none when
    // negative); `after` to carry on from, and whether the table is read to its end.
    struct Step
    {
        QList<ContactMatch> matches;
        qint64 after = 0;
        bool done = false;
    };
    Step scan(const QString &text, SearchScope scope, qint64 after, int limit,
              int budgetMilliseconds) const;

    // The scope of a search in every field as the user types: Beginnings while the
    // text has only words of one or two characters, All once it has a longer one.
    static SearchScope scopeFor(const QString &text);
    // The folded words a text is searched for, each in every form it is looked for in.
    static QStringList words(const QString &text);

private:
    // The SELECT of matching ids, above a bound (the first value bound), in id
    // order, and the values it binds after that bound.
    QString matchQuery(const QString &text, SearchScope scope, bool withEmail,
                       QVariantList *binds) const;
    QString beginningsQuery(const QStringList &words, bool withEmail, QVariantList *binds) const;
    QSqlQuery run(const QString &sql, const QVariantList &binds) const;
    // Raises DatabaseError with the error in Polish, naming the file.
    [[noreturn]] void fail(const QSqlError &error) const;

    QSqlDatabase m_db;
    QString m_table;
    mutable std::optional<std::pair<qint64, qint64>> m_span; // ids above and up to
    mutable qint64 m_window = 0; // ids a stretch of a scan spans, kept at a few ms
};
