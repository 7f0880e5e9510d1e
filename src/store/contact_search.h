#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <limits>
#include <optional>
#include <utility>

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
    // order, and the values it binds after that bound; the engine's index writes it.
    // With `byRows`, the engine's row by row SELECT (FullTextIndex::rowMatchQuery()).
    QString matchQuery(const QString &text, SearchScope scope, bool withEmail, QVariantList *binds,
                       bool byRows) const;
    QList<ContactMatch> read(const QString &text, SearchScope scope, int limit, bool withEmail,
                             qint64 after, qint64 upTo, bool byRows) const;
    QSqlQuery run(const QString &sql, const QVariantList &binds) const;
    // Raises DatabaseError with the error in Polish, naming the file.
    [[noreturn]] void fail(const QSqlError &error) const;

    QSqlDatabase m_db;
    QString m_table;
    static constexpr qint64 kFirstRows = 4096; // ids of the first stretch read row by row
    mutable std::optional<std::pair<qint64, qint64>> m_span; // ids above and up to
    mutable qint64 m_window = 0;             // ids a stretch of a scan spans, kept at a few ms
    mutable qint64 m_rowWindow = kFirstRows; // ... of one read row by row
    mutable bool m_byRows = true;            // rows are read one by one while they match
    mutable bool m_indexFound = false;       // the table's search index was found
};
