#include "store/search_index.h"

#include "platform/errors.h"
#include "store/bulk_statement.h"
#include "store/contact_schema.h"
#include "store/sql_text.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlRecord>
#include <QVariant>
#include <algorithm>
#include <array>
#include <limits>

namespace {

using SqlText::engineMessage;
using SqlText::quoted;

// The index's columns; Inne holds every field without a column of its own.
const QStringList &indexColumns()
{
    static const QStringList columns{QStringLiteral("Nazwa"), QStringLiteral("Filia"),
                                     QStringLiteral("Email"), QStringLiteral("Inne")};
    return columns;
}

// Positions of the fields in table order (ContactSchema::fieldNames()).
constexpr int kFieldCount = 13;
constexpr int kNazwa = 0;
constexpr int kFilia = 2;
constexpr int kTel = 8;
constexpr int kFax = 9;
constexpr int kEmail = 10;

// Rows read at a time while the index is built.
constexpr int kBuildBatch = 10000;
// The share of a build's progress, in per cent, that writing the text takes; indexing it
// takes the rest.
constexpr int kTextShare = 50;

QString updateTrigger(const QString &table)
{
    return table + QStringLiteral("_search_upd");
}

QString deleteTrigger(const QString &table)
{
    return table + QStringLiteral("_search_del");
}

QString insertTrigger(const QString &table)
{
    return table + QStringLiteral("_search_ins");
}

// Rows another program inserted or updated, whose text is to be written again. Its own,
// not the sort keys' changed-row table: a program that knows nothing of the index
// clears those marks when it writes its keys.
QString marksTable(const QString &table)
{
    return table + QStringLiteral("_search_marks");
}

// The folded text both indexes are built over (their external content).
QString textTable(const QString &table)
{
    return table + QStringLiteral("_search_text");
}

// The index of the name, representative and e-mail columns only.
QString namesIndex(const QString &table)
{
    return table + QStringLiteral("_search_names");
}

// Statements that drop the indexed text of row `rowExpression` from both indexes and
// the text table, and its mark. An external-content index forgets a row only when told
// its text; a server's indexes of the text table follow it by themselves.
QStringList dropStatements(const QString &table, const QString &rowExpression, bool server)
{
    const QString columns = indexColumns().join(QStringLiteral(", "));
    const QString names = indexColumns().mid(0, 3).join(QStringLiteral(", "));
    const QString text = quoted(textTable(table));
    const QString all = quoted(SearchIndex::tableName(table));
    const QString named = quoted(namesIndex(table));
    const QStringList statements{
        QStringLiteral("INSERT INTO %1 (%1, rowid, %2) SELECT 'delete', id, %2 FROM %3 "
                       "WHERE id = %4")
            .arg(all, columns, text, rowExpression),
        QStringLiteral("INSERT INTO %1 (%1, rowid, %2) SELECT 'delete', id, %2 FROM %3 "
                       "WHERE id = %4")
            .arg(named, names, text, rowExpression),
        QStringLiteral("DELETE FROM %1 WHERE id = %2").arg(text, rowExpression),
        QStringLiteral("DELETE FROM %1 WHERE id = %2")
            .arg(quoted(marksTable(table)), rowExpression),
    };
    return server ? statements.mid(2) : statements;
}

// The four column texts of a contact given its 13 field values.
QStringList searchColumns(const QStringList &values)
{
    QStringList other;
    for (int i = 0; i < kFieldCount; ++i) {
        if (i == kNazwa || i == kFilia || i == kEmail || values[i].isEmpty())
            continue;
        other << SearchIndex::fold(values[i]);
    }
    for (const int i : {kTel, kFax}) {
        const QString numbers = SearchIndex::digits(values[i]);
        if (!numbers.isEmpty() && numbers != values[i])
            other << numbers;
    }
    // Separate lines, so that no trigram spans two fields; a line that repeats another
    // (a fax number that is the telephone's) adds nothing a search could find.
    other.removeDuplicates();
    return {SearchIndex::fold(values[kNazwa]), SearchIndex::fold(values[kFilia]),
            SearchIndex::fold(values[kEmail]), other.join(QLatin1Char('\n'))};
}

// Statements that write the text of a row, after its old text is dropped: each binds
// the id, then the first three or all four column texts.
QStringList insertStatements(const QString &table)
{
    const QString columns = indexColumns().join(QStringLiteral(", "));
    const QString names = indexColumns().mid(0, 3).join(QStringLiteral(", "));
    return {
        QStringLiteral("INSERT INTO %1 (id, %2) VALUES (?, ?, ?, ?, ?)")
            .arg(quoted(textTable(table)), columns),
        QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (?, ?, ?, ?, ?)")
            .arg(quoted(SearchIndex::tableName(table)), columns),
        QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (?, ?, ?, ?)")
            .arg(quoted(namesIndex(table)), names),
    };
}

QString fieldList()
{
    QStringList fields;
    for (const QString &field : ContactSchema::fieldNames())
        fields << quoted(field);
    return fields.join(QStringLiteral(", "));
}

bool execAll(QSqlDatabase &db, const QStringList &statements, QSqlError *failure)
{
    QSqlQuery query(db);
    for (const QString &sql : statements) {
        if (!query.exec(sql)) {
            *failure = query.lastError();
            return false;
        }
    }
    return true;
}

// Whether the table has every contact field, so its rows can be indexed, in *has.
// False with the engine's error when it cannot tell.
bool hasContactFields(QSqlDatabase &db, const QString &table, bool *has, QSqlError *failure)
{
    QSqlQuery query(db);
    QStringList columns;
    if (!SqlText::isSqlite(db)) {
        if (!query.exec(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(quoted(table)))) {
            *failure = query.lastError();
            return false;
        }
        const QSqlRecord record = query.record();
        for (int i = 0; i < record.count(); ++i)
            columns << record.fieldName(i).toLower();
    } else {
        if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(table)))) {
            *failure = query.lastError();
            return false;
        }
        while (query.next())
            columns << query.value(1).toString().toLower();
    }
    const QStringList fields = ContactSchema::fieldNames();
    *has = std::all_of(fields.cbegin(), fields.cend(), [&columns](const QString &field) {
        return columns.contains(field.toLower());
    });
    return true;
}

// Stores the search text of a batch of rows, given their ids and column texts; false
// with the engine's error.
using TextInsert = std::function<bool(const std::vector<qint64> &ids,
                                      const std::vector<QStringList> &rows, QSqlError *failure)>;

// Writes the text of every row of the table with `insert`, within the caller's
// transaction, reading the rows in id order a batch at a time, and reports progress up
// to kTextShare per cent.
bool writeEveryText(QSqlDatabase &db, const QString &table,
                    const std::function<void(int)> &progress, const TextInsert &insert,
                    QSqlError *failure)
{
    std::vector<QStringList> rows;
    int percent = -1;
    return SqlText::forEachBatch(
        db, table, fieldList(), kBuildBatch,
        [&rows](const QSqlQuery &select) {
            QStringList values;
            for (int f = 0; f < kFieldCount; ++f)
                values << select.value(1 + f).toString();
            rows.push_back(searchColumns(values));
        },
        [&](const std::vector<qint64> &ids, int through) {
            if (!insert(ids, rows, failure))
                return false;
            rows.clear();
            const int now = through * kTextShare / 100;
            if (progress && now != percent)
                progress(percent = now);
            return true;
        },
        failure);
}

// Text folded as a whole: decomposed, accents dropped, lower case.
QString foldWhole(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        switch (c.category()) {
        case QChar::Mark_NonSpacing:
        case QChar::Mark_SpacingCombining:
        case QChar::Mark_Enclosing:
            continue; // the accent of a decomposed letter
        default:
            break;
        }
        // Letters with a stroke have no decomposition.
        switch (c.unicode()) {
        case 0x0141: // Ł
        case 0x0142: // ł
            folded += QLatin1Char('l');
            break;
        case 0x0110: // Đ
        case 0x0111: // đ
            folded += QLatin1Char('d');
            break;
        case 0x00D8: // Ø
        case 0x00F8: // ø
            folded += QLatin1Char('o');
            break;
        default:
            folded += c.toLower();
        }
    }
    return folded;
}

// A character as folded; size -1 when it folds to more than kMost characters.
struct FoldedChar
{
    static constexpr qsizetype kMost = 4;
    char16_t chars[kMost] = {};
    qint8 size = 0;
};

// Characters below this fold from a table made once: Latin letters, spacing accents and
// combining marks. Decomposing each text anew was the larger part of making a
// contact's search text.
constexpr char16_t kFoldTable = 0x0370;

const std::array<FoldedChar, kFoldTable> &foldTable()
{
    static const std::array<FoldedChar, kFoldTable> table = [] {
        std::array<FoldedChar, kFoldTable> made;
        for (char16_t c = 0; c < kFoldTable; ++c) {
            const QString folded = foldWhole(QString(QChar(c)));
            if (folded.size() > FoldedChar::kMost) {
                made[c].size = -1;
                continue;
            }
            made[c].size = qint8(folded.size());
            std::copy(folded.utf16(), folded.utf16() + folded.size(), made[c].chars);
        }
        return made;
    }();
    return table;
}

// Creates the text table, both indexes and their triggers and fills them from the
// table, within the caller's transaction: the text first, then each index in one pass
// over it. Whatever a failed or partial earlier attempt left is made afresh.
bool build(QSqlDatabase &db, const QString &table, const std::function<void(int)> &progress,
           QSqlError *failure)
{
    const QString text = quoted(textTable(table));
    const QString all = quoted(SearchIndex::tableName(table));
    const QString named = quoted(namesIndex(table));
    const QString columns = indexColumns().join(QStringLiteral(", "));
    // The indexes keep only which rows hold a trigram (detail = none), no column sizes.
    const QString options =
        QStringLiteral("content = '%1', content_rowid = id, "
                       "tokenize = 'trigram', detail = none, "
                       "columnsize = 0")
            .arg(QString(textTable(table)).replace(QLatin1Char('\''), QStringLiteral("''")));
    const QString marks = quoted(marksTable(table));
    QStringList statements;
    for (const QString &trigger :
         {insertTrigger(table), updateTrigger(table), deleteTrigger(table)})
        statements << QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(quoted(trigger));
    for (const QString &made : {all, named, text, marks})
        statements << QStringLiteral("DROP TABLE IF EXISTS %1").arg(made);
    statements << QStringList{
        QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, %2)").arg(text, columns),
        QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY)").arg(marks),
        QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(%2, %3)").arg(all, columns, options),
        QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(%2, %3)")
            .arg(named, indexColumns().mid(0, 3).join(QStringLiteral(", ")), options),
        QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 BEGIN %3; END")
            .arg(quoted(deleteTrigger(table)), quoted(table),
                 dropStatements(table, QStringLiteral("OLD.id"), false).join(QStringLiteral("; "))),
    };
    for (const auto &trigger : SearchIndex::markTriggers(table))
        statements << trigger.second;
    if (!execAll(db, statements, failure))
        return false;

    const auto fail = [failure](const QSqlQuery &q) {
        *failure = q.lastError();
        return false;
    };
    QSqlQuery insert(db);
    if (!insert.prepare(insertStatements(table).first()))
        return fail(insert);
    const auto insertRows = [&insert](const std::vector<qint64> &ids,
                                      const std::vector<QStringList> &rows, QSqlError *error) {
        for (size_t row = 0; row < ids.size(); ++row) {
            insert.bindValue(0, ids[row]);
            for (int c = 0; c < 4; ++c)
                insert.bindValue(1 + c, rows[row][c]);
            if (!insert.exec()) {
                *error = insert.lastError();
                return false;
            }
        }
        return true;
    };
    if (!writeEveryText(db, table, progress, insertRows, failure))
        return false;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("INSERT INTO %1 (%1) VALUES ('rebuild')").arg(all)))
        return fail(query);
    if (progress)
        progress(kTextShare + (100 - kTextShare) * 4 / 5);
    if (!query.exec(QStringLiteral("INSERT INTO %1 (%1) VALUES ('rebuild')").arg(named)))
        return fail(query);
    if (progress)
        progress(100);
    return true;
}

// The word with LIKE's wildcards escaped by '\'.
QString likeEscaped(const QString &word)
{
    QString escaped = word;
    return escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('%'), QStringLiteral("\\%"))
        .replace(QLatin1Char('_'), QStringLiteral("\\_"));
}

// '%word%' for LIKE with '\' as the escape character.
QString containsPattern(const QString &word)
{
    return QLatin1Char('%') + likeEscaped(word) + QLatin1Char('%');
}

// The distinct trigrams of a word, by code point, as quoted FTS5 strings.
void addTrigrams(const QString &word, QStringList *terms)
{
    const QList<uint> points = word.toUcs4();
    for (qsizetype i = 0; i + 3 <= points.size(); ++i) {
        QString term = QString::fromUcs4(reinterpret_cast<const char32_t *>(points.data() + i), 3);
        term = QLatin1Char('"') + term.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
               QLatin1Char('"');
        if (!terms->contains(term))
            *terms << term;
    }
}

// Words a search uses at most: each adds its conditions to one statement, and the
// engine refuses a statement past a depth of about a thousand.
constexpr qsizetype kMostWords = 64;

// The forms a folded word is looked for in, any of which matches. A word of digits and
// telephone punctuation ("22-555", "(22)", the post code "80-266") is looked for by
// its digits, as the index keeps telephone numbers also as bare digits, and as typed;
// a word of five digits also as a post code ("80266": "80-266"). The digits come
// first.
QStringList wordForms(const QString &word)
{
    const bool numeric = std::all_of(word.cbegin(), word.cend(), [](QChar c) {
        return c.isDigit() || QStringLiteral("+-/().").contains(c);
    });
    const QString numbers = SearchIndex::digits(word);
    if (!numeric || numbers.isEmpty())
        return {word};
    QStringList forms{numbers, word};
    if (numbers.size() == 5 && numbers == word)
        forms << numbers.left(2) + QLatin1Char('-') + numbers.mid(2);
    forms.removeDuplicates();
    return forms;
}

// The folded words of a search text, each as its forms, a word given twice once.
QList<QStringList> searchWords(const QString &text)
{
    QStringList words =
        SearchIndex::fold(text).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    words.removeDuplicates();
    QList<QStringList> searched;
    for (const QString &word : std::as_const(words))
        searched << wordForms(word);
    return searched;
}

// Refuses a search of more than kMostWords words, with a message that says so.
void checkWordCount(const QList<QStringList> &words)
{
    if (words.size() > kMostWords)
        throw KaxError(QStringLiteral("Szukany tekst ma za dużo różnych słów (%1). Wyszukiwanie "
                                      "przyjmuje ich najwyżej %2 naraz; skróć tekst.")
                           .arg(words.size())
                           .arg(kMostWords));
}

// The first two characters of the branch: the first line of Inne, when the contact
// has a branch.
QString branchStart()
{
    return QStringLiteral("substr(Inne, 1, min(2, instr(Inne || char(10), char(10)) - 1))");
}

// The expressions of the beginnings' indexes, each with its whole field's expression.
QList<std::pair<QString, QString>> startColumns()
{
    return {
        {QStringLiteral("substr(Nazwa, 1, 2)"), QStringLiteral("Nazwa")},
        {QStringLiteral("substr(Filia, 1, 2)"), QStringLiteral("Filia")},
        {branchStart(), QStringLiteral("substr(Inne, 1, instr(Inne || char(10), char(10)) - 1)")},
    };
}

// The index of startColumns()[i].
QString startIndexName(const QString &table, qsizetype i)
{
    return table + QStringLiteral("_search_start_") + QLatin1Char("nfb"[i]);
}

// Matches a query of a scan reads at most.
constexpr int kScanPage = 100;

// The first stretch of ids that a scan reads at least.
constexpr qint64 kFirstWindow = 4096;

// Candidates of a beginning from which reading rows in id order finds a page sooner
// than sorting them all.
constexpr int kDenseBeginning = 5000;

// Creates the indexes of the beginnings of name, representative and branch when
// missing: a few bytes per contact.
bool ensureStartIndexes(QSqlDatabase &db, const QString &table, QSqlError *failure)
{
    const auto columns = startColumns();
    QStringList statements;
    for (qsizetype i = 0; i < columns.size(); ++i)
        statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                          .arg(quoted(startIndexName(table, i)), quoted(textTable(table)),
                               columns[i].first);
    return execAll(db, statements, failure);
}

// On a PostgreSQL server the text table has pg_trgm's GIN index on each of its columns
// in place of the FTS5 indexes: LIKE '%word%' on a column is looked up by the word's
// trigrams and checked against the text, so each scope searches only its own columns
// with no index of its own, and words too short for a trigram are read row by row.
// Beginnings have btree indexes of the first two characters, as in a file. Triggers
// call plpgsql functions that mark rows and drop the text of deleted ones.

// The tables and triggers a server's search index has.
constexpr int kServerObjects = 5;
// Rows one statement writes while the text is built on a server.
constexpr int kServerInsertRows = 500;

QString markFunction(const QString &table)
{
    return table + QStringLiteral("_search_mark");
}

QString dropFunction(const QString &table)
{
    return table + QStringLiteral("_search_drop");
}

// The expressions of the beginnings' indexes on a server, each with the column a longer
// word is checked in: a word has no line break, so it begins the first line of Inne
// exactly when it begins Inne.
QList<std::pair<QString, QString>> serverStartColumns()
{
    return {
        {QStringLiteral(R"(left("Nazwa", 2))"), QStringLiteral(R"("Nazwa")")},
        {QStringLiteral(R"(left("Filia", 2))"), QStringLiteral(R"("Filia")")},
        {QStringLiteral(R"(left(split_part("Inne", chr(10), 1), 2))"), QStringLiteral(R"("Inne")")},
    };
}

// The server's indexes of the text table by name, each with the statement that makes it.
QList<std::pair<QString, QString>> serverIndexes(const QString &table)
{
    const QString text = quoted(textTable(table));
    QList<std::pair<QString, QString>> indexes;
    for (qsizetype c = 0; c < indexColumns().size(); ++c) {
        const QString name = table + QStringLiteral("_search_trgm_") + QLatin1Char("nfei"[c]);
        indexes.append({name, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 "
                                             "USING gin (%3 gin_trgm_ops)")
                                  .arg(quoted(name), text, quoted(indexColumns()[c]))});
    }
    const auto starts = serverStartColumns();
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const QString name = startIndexName(table, i);
        // text_pattern_ops: LIKE 'ab%' is a range of the index whatever the collation.
        indexes.append(
            {name, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3 text_pattern_ops)")
                       .arg(quoted(name), text, starts[i].first)});
    }
    return indexes;
}

// What a server has of the search index: how many of its tables and triggers, how many
// of its indexes, and whether pg_trgm is installed in the database.
struct ServerState
{
    int objects = 0;
    int indexes = 0;
    bool trigrams = false;
};

bool serverState(QSqlDatabase &db, const QString &table, ServerState *state, QSqlError *failure)
{
    const auto indexes = serverIndexes(table);
    QStringList present;
    present.fill(QStringLiteral("(to_regclass(?) IS NOT NULL)::int"), indexes.size());
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT (to_regclass(?) IS NOT NULL)::int + "
                                 "(to_regclass(?) IS NOT NULL)::int + "
                                 "(SELECT count(*) FROM pg_trigger WHERE tgrelid = to_regclass(?) "
                                 "AND tgname IN (?, ?, ?)), %1, "
                                 "EXISTS (SELECT 1 FROM pg_extension WHERE extname = 'pg_trgm')")
                      .arg(present.join(u" + ")));
    for (const QString &name : {textTable(table), marksTable(table), table})
        query.addBindValue(quoted(name));
    for (const QString &name : {insertTrigger(table), updateTrigger(table), deleteTrigger(table)})
        query.addBindValue(name);
    for (const auto &index : indexes)
        query.addBindValue(quoted(index.first));
    if (!query.exec() || !query.next()) {
        *failure = query.lastError();
        return false;
    }
    *state = {query.value(0).toInt(), query.value(1).toInt(), query.value(2).toBool()};
    return true;
}

// Creates the text and marks tables and the triggers on a server and writes the text of
// every row, within the caller's transaction; whatever an earlier index left is made
// afresh. The indexes are made afterwards, over the whole text at once.
bool buildOnServer(QSqlDatabase &db, const QString &table, const std::function<void(int)> &progress,
                   QSqlError *failure)
{
    const QString text = quoted(textTable(table));
    const QString marks = quoted(marksTable(table));
    QStringList columns;
    QStringList fields;
    for (const QString &column : indexColumns())
        columns << quoted(column);
    for (const QString &field : ContactSchema::fieldNames())
        fields << quoted(field);
    QStringList statements;
    for (const QString &trigger :
         {insertTrigger(table), updateTrigger(table), deleteTrigger(table)})
        statements << QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2")
                          .arg(quoted(trigger), quoted(table));
    statements << QStringList{
        QStringLiteral("DROP TABLE IF EXISTS %1, %2").arg(text, marks),
        QStringLiteral("CREATE TABLE %1 (id BIGINT PRIMARY KEY, %2 TEXT)")
            .arg(text, columns.join(u" TEXT, ")),
        QStringLiteral("CREATE TABLE %1 (id BIGINT PRIMARY KEY)").arg(marks),
        QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS "
                       "$$BEGIN %3INSERT INTO %2 (id) VALUES (NEW.id) ON CONFLICT DO NOTHING; "
                       "RETURN NULL; END$$")
            .arg(quoted(markFunction(table)), marks, QLatin1String(ContactSchema::kSkipOwnWrite)),
        QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS "
                       "$$BEGIN %2; RETURN NULL; END$$")
            .arg(quoted(dropFunction(table)),
                 dropStatements(table, QStringLiteral("OLD.id"), true).join(u"; ")),
        QStringLiteral("CREATE TRIGGER %1 AFTER INSERT ON %2 FOR EACH ROW EXECUTE FUNCTION %3()")
            .arg(quoted(insertTrigger(table)), quoted(table), quoted(markFunction(table))),
        QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE OF %2 ON %3 FOR EACH ROW "
                       "EXECUTE FUNCTION %4()")
            .arg(quoted(updateTrigger(table)), fields.join(u", "), quoted(table),
                 quoted(markFunction(table))),
        QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 FOR EACH ROW EXECUTE FUNCTION %3()")
            .arg(quoted(deleteTrigger(table)), quoted(table), quoted(dropFunction(table))),
    };
    if (!execAll(db, statements, failure))
        return false;

    // Many rows a statement: each statement is a round trip to the server.
    const auto insertSql = [&](size_t rows) {
        QStringList values;
        values.fill(QStringLiteral("(?, ?, ?, ?, ?)"), qsizetype(rows));
        return QStringLiteral("INSERT INTO %1 (id, %2) VALUES %3")
            .arg(text, columns.join(u", "), values.join(u", "));
    };
    QSqlQuery full(db);
    if (!full.prepare(insertSql(kServerInsertRows))) {
        *failure = full.lastError();
        return false;
    }
    const auto insertRows = [&](const std::vector<qint64> &ids,
                                const std::vector<QStringList> &rows, QSqlError *error) {
        for (size_t first = 0; first < ids.size(); first += kServerInsertRows) {
            const size_t count = std::min<size_t>(kServerInsertRows, ids.size() - first);
            QSqlQuery part(db);
            QSqlQuery &insert = count == kServerInsertRows ? full : part;
            int position = 0;
            if (&insert == &part && !part.prepare(insertSql(count))) {
                *error = part.lastError();
                return false;
            }
            for (size_t row = first; row < first + count; ++row) {
                insert.bindValue(position++, ids[row]);
                for (int c = 0; c < 4; ++c)
                    insert.bindValue(position++, rows[row][c]);
            }
            if (!insert.exec()) {
                *error = insert.lastError();
                return false;
            }
        }
        return true;
    };
    return writeEveryText(db, table, progress, insertRows, failure);
}

// SearchIndex::ensure() on a server. Nothing is written when the index is complete.
bool ensureOnServer(QSqlDatabase &db, const QString &table, QString *error,
                    const std::function<void(int)> &progress)
{
    QSqlError failure;
    ServerState state;
    const qsizetype indexCount = serverIndexes(table).size();
    const auto complete = [&state, indexCount] {
        return state.objects == kServerObjects && state.indexes == indexCount;
    };
    if (!serverState(db, table, &state, &failure)) {
        *error = engineMessage(failure);
        return false;
    }
    if (complete())
        return true;
    bool indexable = false;
    if (!hasContactFields(db, table, &indexable, &failure)) {
        *error = engineMessage(failure);
        return false;
    }
    if (!indexable)
        return true;
    if (!db.transaction()) {
        *error = engineMessage(db.lastError());
        return false;
    }
    const auto fail = [&db, error](const QString &message) {
        *error = message;
        db.rollback();
        return false;
    };
    // The server's notices of what is already there or not would reach standard error.
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SET LOCAL client_min_messages = warning")))
        return fail(engineMessage(query.lastError()));
    // A program that opens the table meanwhile waits here, then finds the index made.
    query.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"));
    query.addBindValue(textTable(table));
    if (!query.exec())
        return fail(engineMessage(query.lastError()));
    if (!serverState(db, table, &state, &failure))
        return fail(engineMessage(failure));
    if (!state.trigrams && !query.exec(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm")))
        return fail(QStringLiteral("Nie można dodać do bazy danych rozszerzenia pg_trgm serwera "
                                   "PostgreSQL, którego wymaga wyszukiwanie kontaktów (%1). "
                                   "Administrator serwera może je dodać poleceniem "
                                   "CREATE EXTENSION pg_trgm.")
                        .arg(engineMessage(query.lastError())));
    if (state.objects != kServerObjects && !buildOnServer(db, table, progress, &failure))
        return fail(engineMessage(failure));
    const auto indexes = serverIndexes(table);
    for (qsizetype i = 0; i < indexes.size(); ++i) {
        if (!query.exec(indexes[i].second))
            return fail(engineMessage(query.lastError()));
        if (progress)
            progress(int(kTextShare + (100 - kTextShare) * (i + 1) / indexes.size()));
    }
    if (!db.commit())
        return fail(engineMessage(db.lastError()));
    return true;
}

// The first two characters of a word, or its first when the second is half of one.
QString serverStart(const QString &word)
{
    QString start = word.left(2);
    if (!start.isEmpty() && start.back().isHighSurrogate())
        start.chop(1);
    return start;
}

// ContactSearch's SELECT of matching ids on a server, after the two id bounds already in
// `binds`: every word in one of the scope's columns (LIKE, looked up by the columns'
// trigram indexes), or for beginnings at the start of the name, representative or
// branch (the beginnings' indexes, with the whole word checked by LIKE).
QString serverMatchQuery(const QString &table, const QList<QStringList> &words, SearchScope scope,
                         bool withEmail, QVariantList *binds)
{
    const QStringList columns =
        scope == SearchScope::All ? indexColumns() : indexColumns().mid(0, 3);
    QStringList conditions{QStringLiteral("id > ?"), QStringLiteral("id <= ?")};
    for (const QStringList &forms : words) {
        const QString &word = forms.first();
        QStringList alternatives;
        if (scope == SearchScope::Beginnings) {
            for (const auto &[start, whole] : serverStartColumns()) {
                QString alternative = start + QStringLiteral(" LIKE ? ESCAPE '\\'");
                *binds << likeEscaped(serverStart(word)) + QLatin1Char('%');
                if (word.size() > 2) {
                    alternative += QStringLiteral(" AND %1 LIKE ? ESCAPE '\\'").arg(whole);
                    *binds << likeEscaped(word) + QLatin1Char('%');
                }
                // The first line of Inne is the branch only when the contact has one.
                if (whole == QLatin1String(R"("Inne")"))
                    alternative +=
                        QStringLiteral(R"( AND (SELECT "Branza" FROM %1 WHERE id = s.id) <> '')")
                            .arg(quoted(table));
                alternatives << QLatin1Char('(') + alternative + QLatin1Char(')');
            }
        } else {
            for (const QString &form : forms) {
                for (const QString &column : columns) {
                    alternatives << quoted(column) + QStringLiteral(" LIKE ? ESCAPE '\\'");
                    *binds << containsPattern(form);
                }
            }
        }
        conditions << QLatin1Char('(') + alternatives.join(u" OR ") + QLatin1Char(')');
    }
    if (withEmail)
        conditions << QStringLiteral(R"("Email" <> '')");
    return QStringLiteral("SELECT id FROM %1 AS s WHERE %2 ORDER BY id")
        .arg(quoted(textTable(table)), conditions.join(u" AND "));
}

} // namespace

namespace SearchIndex {

QString tableName(const QString &table)
{
    return table + QStringLiteral("_search");
}

QString textTableName(const QString &table)
{
    return textTable(table);
}

QString fold(const QString &text)
{
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return text.toLower();
    // Character by character from the table: decomposition and lower case act on each
    // character alone, and the marks whose order decomposition could change are dropped.
    const std::array<FoldedChar, kFoldTable> &table = foldTable();
    QString folded(text.size() * FoldedChar::kMost, Qt::Uninitialized);
    QChar *out = folded.data();
    for (const QChar c : text) {
        if (c.unicode() >= kFoldTable || table[c.unicode()].size < 0)
            return foldWhole(text);
        const FoldedChar &f = table[c.unicode()];
        for (qint8 i = 0; i < f.size; ++i)
            *out++ = QChar(f.chars[i]);
    }
    folded.truncate(out - folded.constData());
    return folded;
}

QString digits(const QString &text)
{
    QString result;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            result += c;
    }
    return result;
}

QList<std::pair<QString, QString>> markTriggers(const QString &table)
{
    const QString marks = quoted(marksTable(table));
    // Any insert, and any update of a field, marks the row; writing its text clears
    // the mark, so marks left behind name rows that another program wrote.
    return {
        {insertTrigger(table), QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER INSERT ON %2 "
                                              "BEGIN INSERT OR IGNORE INTO %3 (id) "
                                              "VALUES (NEW.id); END")
                                   .arg(quoted(insertTrigger(table)), quoted(table), marks)},
        {updateTrigger(table),
         QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER UPDATE OF %2 ON %3 BEGIN "
                        "INSERT OR IGNORE INTO %4 (id) VALUES (NEW.id); END")
             .arg(quoted(updateTrigger(table)),
                  ContactSchema::fieldNames().join(QStringLiteral(", ")), quoted(table), marks)},
    };
}

bool exists(QSqlDatabase &db, const QString &table)
{
    if (!SqlText::isSqlite(db)) {
        ServerState state;
        QSqlError failure;
        return serverState(db, table, &state, &failure) && state.objects == kServerObjects;
    }
    QSqlQuery query(db);
    const QStringList objects{tableName(table),    namesIndex(table),    textTable(table),
                              marksTable(table),   insertTrigger(table), updateTrigger(table),
                              deleteTrigger(table)};
    QStringList marks;
    marks.fill(QStringLiteral("?"), objects.size());
    query.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN (%1)")
                      .arg(marks.join(QStringLiteral(", "))));
    for (const QString &name : objects)
        query.addBindValue(name);
    return query.exec() && query.next() && query.value(0).toInt() == objects.size();
}

bool ensure(QSqlDatabase &db, const QString &table, QString *error,
            const std::function<void(int percent)> &progress)
{
    QSqlError failure;
    if (!SqlText::isSqlite(db))
        return ensureOnServer(db, table, error, progress);
    if (exists(db, table)) {
        if (ensureStartIndexes(db, table, &failure))
            return true;
        *error = engineMessage(failure);
        return false;
    }
    bool indexable = false;
    if (!hasContactFields(db, table, &indexable, &failure)) {
        *error = engineMessage(failure);
        return false;
    }
    if (!indexable)
        return true;
    if (!db.transaction()) {
        *error = engineMessage(db.lastError());
        return false;
    }
    if (!build(db, table, progress, &failure) || !ensureStartIndexes(db, table, &failure)) {
        *error = engineMessage(failure);
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        *error = engineMessage(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

bool repair(QSqlDatabase &db, const QString &table, QString *error)
{
    if (!exists(db, table))
        return true;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QList<qint64> ids;
    if (!query.exec(QStringLiteral("SELECT id FROM %1").arg(quoted(marksTable(table))))) {
        *error = engineMessage(query.lastError());
        return false;
    }
    while (query.next())
        ids << query.value(0).toLongLong();
    query.finish();
    if (ids.isEmpty())
        return true;

    if (!db.transaction()) {
        *error = engineMessage(db.lastError());
        return false;
    }
    const auto fail = [&db] {
        db.rollback();
        return false;
    };
    SearchIndexWriter writer(db, table);
    if (!query.prepare(
            QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(fieldList(), quoted(table)))) {
        *error = engineMessage(query.lastError());
        return fail();
    }
    for (const qint64 id : std::as_const(ids)) {
        query.addBindValue(id);
        if (!query.exec()) {
            *error = engineMessage(query.lastError());
            return fail();
        }
        QStringList values;
        const bool stored = query.next();
        for (int f = 0; stored && f < kFieldCount; ++f)
            values << query.value(f).toString();
        query.finish();
        // Writing or dropping the text clears the mark.
        if (!(stored ? writer.write(id, values, error) : writer.remove(id, error)))
            return fail();
    }
    if (!db.commit()) {
        *error = engineMessage(db.lastError());
        return fail();
    }
    return true;
}

QStringList columnTexts(const QStringList &values)
{
    return searchColumns(values);
}

} // namespace SearchIndex

SearchIndexWriter::SearchIndexWriter(QSqlDatabase &db, const QString &table)
    : m_db(db), m_table(table), m_active(SearchIndex::exists(db, table)),
      m_server(!SqlText::isSqlite(db))
{
}

SearchIndexWriter::~SearchIndexWriter() = default;

bool SearchIndexWriter::prepare(QString *error)
{
    if (!m_drops.empty())
        return true;
    std::vector<std::unique_ptr<QSqlQuery>> drops;
    std::vector<std::unique_ptr<QSqlQuery>> inserts;
    const auto prepareAll = [this, error](const QStringList &statements, auto *queries) {
        for (const QString &sql : statements) {
            auto query = std::make_unique<QSqlQuery>(m_db);
            if (!query->prepare(sql)) {
                *error = engineMessage(query->lastError());
                return false;
            }
            queries->push_back(std::move(query));
        }
        return true;
    };
    if (!prepareAll(dropStatements(m_table, QStringLiteral("?"), m_server), &drops) ||
        !prepareAll(m_server ? QStringList() : insertStatements(m_table), &inserts))
        return false;
    m_drops = std::move(drops);
    m_inserts = std::move(inserts);
    return true;
}

namespace {

bool checkCount(const QStringList &values, QString *error)
{
    if (values.size() == kFieldCount)
        return true;
    *error = QStringLiteral("Tekst wyszukiwania kontaktu wymaga %1 pól, a podano %2.")
                 .arg(kFieldCount)
                 .arg(values.size());
    return false;
}

} // namespace

bool SearchIndexWriter::write(qint64 id, const QStringList &values, QString *error)
{
    if (!m_active)
        return true;
    if (!checkCount(values, error))
        return false;
    if (m_server) // the text is replaced in place; then the row's mark is cleared
        return writeTextOnly(id, searchColumns(values), error) && prepare(error) &&
               execDrop(*m_drops.back(), id, error);
    if (!remove(id, error))
        return false;
    const QStringList columns = searchColumns(values);
    for (size_t i = 0; i < m_inserts.size(); ++i) {
        QSqlQuery &insert = *m_inserts[i];
        insert.bindValue(0, id);
        const int used = i + 1 == m_inserts.size() ? 3 : 4; // the names index: three
        for (int c = 0; c < used; ++c)
            insert.bindValue(1 + c, columns[c]);
        if (!insert.exec()) {
            *error = engineMessage(insert.lastError());
            return false;
        }
    }
    return true;
}

bool SearchIndexWriter::writeTextOnly(qint64 id, const QStringList &columnTexts, QString *error)
{
    QList<QByteArray> utf8;
    for (const QString &text : columnTexts)
        utf8 << text.toUtf8();
    return writeTextOnly(id, utf8, error);
}

bool SearchIndexWriter::writeTextOnly(qint64 id, const QList<QByteArray> &utf8ColumnTexts,
                                      QString *error)
{
    if (!m_active)
        return true;
    if (!m_textOnly) {
        QString sql = QStringLiteral("INSERT OR REPLACE INTO %1 (id, %2) VALUES (?, ?, ?, ?, ?)")
                          .arg(quoted(textTable(m_table)), indexColumns().join(u", "));
        if (m_server) {
            QStringList columns;
            QStringList updates;
            for (const QString &column : indexColumns()) {
                columns << quoted(column);
                updates << QStringLiteral("%1 = EXCLUDED.%1").arg(quoted(column));
            }
            sql = QStringLiteral("INSERT INTO %1 (id, %2) VALUES (?, ?, ?, ?, ?) "
                                 "ON CONFLICT (id) DO UPDATE SET %3")
                      .arg(quoted(textTable(m_table)), columns.join(u", "), updates.join(u", "));
        }
        auto statement = std::make_unique<BulkStatement>(m_db, sql);
        if (!statement->ok()) {
            *error = engineMessage(statement->error());
            return false;
        }
        m_textOnly = std::move(statement);
    }
    static const QByteArray none;
    m_textOnly->bind(0, id);
    for (int c = 0; c < 4; ++c)
        m_textOnly->bindUtf8(1 + c, c < utf8ColumnTexts.size() ? utf8ColumnTexts[c] : none);
    if (m_textOnly->exec())
        return true;
    *error = engineMessage(m_textOnly->error());
    return false;
}

bool SearchIndexWriter::indexText(qint64 from, qint64 to, QString *error)
{
    // On a server the indexes follow the text table, and a batch's own rows are never
    // marked: clearing marks by id there would clear those of rows that another
    // program wrote meanwhile, with ids among the batch's.
    if (!m_active || m_server)
        return true;
    const QString text = quoted(textTable(m_table));
    const QString columns = indexColumns().join(QStringLiteral(", "));
    const QString names = indexColumns().mid(0, 3).join(QStringLiteral(", "));
    const QStringList statements{
        QStringLiteral("INSERT INTO %1 (rowid, %2) SELECT id, %2 FROM %3 WHERE id >= ? AND id < ?")
            .arg(quoted(SearchIndex::tableName(m_table)), columns, text),
        QStringLiteral("INSERT INTO %1 (rowid, %2) SELECT id, %2 FROM %3 WHERE id >= ? AND id < ?")
            .arg(quoted(namesIndex(m_table)), names, text),
        QStringLiteral("DELETE FROM %1 WHERE id >= ? AND id < ?").arg(quoted(marksTable(m_table))),
    };
    for (const QString &sql : statements) {
        QSqlQuery query(m_db);
        query.prepare(sql);
        query.bindValue(0, from);
        query.bindValue(1, to);
        if (!query.exec()) {
            *error = engineMessage(query.lastError());
            return false;
        }
    }
    return true;
}

bool SearchIndexWriter::remove(qint64 id, QString *error)
{
    if (!m_active)
        return true;
    if (!prepare(error))
        return false;
    for (const auto &drop : m_drops) {
        if (!execDrop(*drop, id, error))
            return false;
    }
    return true;
}

bool SearchIndexWriter::execDrop(QSqlQuery &drop, qint64 id, QString *error)
{
    drop.bindValue(0, id);
    if (drop.exec())
        return true;
    *error = engineMessage(drop.lastError());
    return false;
}

ContactSearch::ContactSearch(QSqlDatabase db, const QString &table)
    : m_db(std::move(db)), m_table(table)
{
}

QStringList ContactSearch::words(const QString &text)
{
    QStringList forms;
    for (const QStringList &word : searchWords(text))
        forms << word;
    return forms;
}

SearchScope ContactSearch::scopeFor(const QString &text)
{
    const QList<QStringList> words = searchWords(text);
    const bool longWord = std::any_of(words.cbegin(), words.cend(), [](const QStringList &forms) {
        return forms.first().size() >= 3;
    });
    return longWord || words.isEmpty() ? SearchScope::All : SearchScope::Beginnings;
}

QString ContactSearch::beginningsQuery(const QStringList &words, bool withEmail,
                                       QVariantList *binds) const
{
    // Per word, its three alternatives: it begins the name, the representative or the
    // branch. The indexes of the first two characters find the candidates; LIKE checks
    // a longer word in full.
    const auto columns = startColumns();
    const auto alternativesOf = [&](const QString &word, QList<QVariantList> *values) {
        QString upper = word.left(2);
        upper[upper.size() - 1] = QChar(upper.back().unicode() + 1);
        QStringList alternatives;
        for (const auto &[prefix, whole] : columns) {
            QString alternative = QStringLiteral("%1 >= ? AND %1 < ?").arg(prefix);
            QVariantList bound{word.left(2), upper};
            if (word.size() > 2) {
                alternative += QStringLiteral(" AND %1 LIKE ? ESCAPE '\\'").arg(whole);
                bound << likeEscaped(word) + QLatin1Char('%');
            }
            // The first line of Inne is the branch only when the contact has one.
            if (prefix == branchStart())
                alternative += QStringLiteral(" AND (SELECT Branza FROM %1 WHERE id = s.id) <> ''")
                                   .arg(quoted(m_table));
            alternatives << QLatin1Char('(') + alternative + QLatin1Char(')');
            *values << bound;
        }
        return alternatives;
    };
    const QString text = quoted(textTable(m_table));
    if (words.isEmpty())
        return QStringLiteral("SELECT id FROM %1 WHERE id > ? AND id <= ? ORDER BY id").arg(text);
    QVariantList bounds; // the ids above and up to
    bounds << binds->takeFirst();
    bounds << binds->takeFirst();

    // The words after the first, and the e-mail condition, checked on each candidate.
    QStringList others;
    QVariantList otherValues;
    for (qsizetype w = 1; w < words.size(); ++w) {
        QList<QVariantList> values;
        others << QLatin1Char('(') + alternativesOf(words[w], &values).join(u" OR ") +
                      QLatin1Char(')');
        for (const QVariantList &bound : std::as_const(values))
            otherValues << bound;
    }
    if (withEmail)
        others << QStringLiteral("Email <> ''");
    const QString rest =
        others.isEmpty() ? QString() : QStringLiteral(" AND ") + others.join(u" AND ");

    QList<QVariantList> firstValues;
    const QStringList first = alternativesOf(words.value(0), &firstValues);
    // A beginning that many contacts share is found soonest by reading rows in id
    // order; a rarer one through the indexes, sorting what they find.
    QStringList counts;
    QVariantList countValues;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        counts << QStringLiteral("(SELECT count(*) FROM (SELECT 1 FROM %1 INDEXED BY %2 "
                                 "WHERE %3 >= ? AND %3 < ? LIMIT %4))")
                      .arg(text, quoted(startIndexName(m_table, i)), columns[i].first)
                      .arg(kDenseBeginning);
        countValues << firstValues[i].mid(0, 2);
    }
    QSqlQuery density = run(QStringLiteral("SELECT ") + counts.join(u" + "), countValues);
    if (!density.next())
        fail(density.lastError());
    if (density.value(0).toInt() >= kDenseBeginning) {
        *binds << bounds;
        for (const QVariantList &bound : std::as_const(firstValues))
            *binds << bound;
        *binds << otherValues;
        return QStringLiteral(
                   "SELECT id FROM %1 AS s WHERE id > ? AND id <= ? AND (%2)%3 ORDER BY id")
            .arg(text, first.join(u" OR "), rest);
    }
    QStringList arms;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        arms << QStringLiteral(
                    "SELECT id FROM %1 AS s INDEXED BY %2 WHERE id > ? AND id <= ? AND %3%4")
                    .arg(text, quoted(startIndexName(m_table, i)), first[i], rest);
        *binds << bounds << firstValues[i] << otherValues;
    }
    return arms.join(u" UNION ") + QStringLiteral(" ORDER BY id");
}

QString ContactSearch::matchQuery(const QString &text, SearchScope scope, bool withEmail,
                                  QVariantList *binds) const
{
    QSqlDatabase db = m_db;
    if (!SearchIndex::exists(db, m_table)) {
        QString message = QStringLiteral("Tabela %1 nie ma indeksu wyszukiwania.").arg(m_table);
        if (SqlText::isSqlite(db)) {
            message = QStringLiteral("Tabela %1 w bazie danych %2 nie ma indeksu wyszukiwania.")
                          .arg(m_table, SqlText::fileOf(db.databaseName()));
            if (db.connectOptions().contains(QLatin1String("QSQLITE_OPEN_READONLY")))
                message += QStringLiteral(" Baza jest otwarta tylko do odczytu, więc program nie "
                                          "może go zbudować.");
        }
        ServerState state;
        QSqlError failure;
        if (!SqlText::isSqlite(db) && serverState(db, m_table, &state, &failure) && !state.trigrams)
            message += QStringLiteral(" W bazie danych na serwerze brak rozszerzenia pg_trgm, "
                                      "którego wymaga wyszukiwanie (CREATE EXTENSION pg_trgm).");
        throw DatabaseError(message);
    }
    const QList<QStringList> words = searchWords(text);
    checkWordCount(words);
    if (!SqlText::isSqlite(m_db))
        return serverMatchQuery(m_table, words, scope, withEmail, binds);
    if (scope == SearchScope::Beginnings) {
        QStringList starts; // a number begins a field with its digits
        for (const QStringList &forms : words)
            starts << forms.first();
        return beginningsQuery(starts, withEmail, binds);
    }

    // Each scope has an index of its own columns, so that its trigrams find no rows
    // that hold them only elsewhere.
    const bool everyField = scope == SearchScope::All;
    const QStringList columns = everyField ? indexColumns() : indexColumns().mid(0, 3);
    const QString index =
        quoted(everyField ? SearchIndex::tableName(m_table) : namesIndex(m_table));

    // The trigrams narrow the rows down; LIKE then checks each word in the scope's columns.
    QStringList terms;
    QStringList conditions{QStringLiteral("rowid > ?"), QStringLiteral("rowid <= ?")};
    QVariantList patterns;
    for (const QStringList &forms : words) {
        // The trigrams of any of the word's forms; a form too short to have one leaves
        // the word to LIKE alone.
        QStringList formTerms;
        bool everyForm = true;
        QStringList alternatives;
        for (const QString &form : forms) {
            QStringList trigrams;
            addTrigrams(form, &trigrams);
            everyForm = everyForm && !trigrams.isEmpty();
            formTerms << QLatin1Char('(') + trigrams.join(u" AND ") + QLatin1Char(')');
            for (const QString &column : std::as_const(columns)) {
                alternatives << column + QStringLiteral(" LIKE ? ESCAPE '\\'");
                patterns << containsPattern(form);
            }
        }
        if (everyForm)
            terms << QLatin1Char('(') + formTerms.join(u" OR ") + QLatin1Char(')');
        conditions << QLatin1Char('(') + alternatives.join(QStringLiteral(" OR ")) +
                          QLatin1Char(')');
    }
    if (!terms.isEmpty()) {
        conditions.insert(2, index + QStringLiteral(" MATCH ?"));
        *binds << terms.join(QStringLiteral(" AND "));
    }
    *binds << patterns;
    if (withEmail)
        conditions << QStringLiteral("Email <> ''");
    return QStringLiteral("SELECT rowid FROM %1 WHERE %2 ORDER BY rowid")
        .arg(index, conditions.join(QStringLiteral(" AND ")));
}

QSqlQuery ContactSearch::run(const QString &sql, const QVariantList &binds) const
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        fail(query.lastError());
    for (int i = 0; i < binds.size(); ++i)
        query.bindValue(i, binds[i]);
    if (!query.exec())
        fail(query.lastError());
    return query;
}

void ContactSearch::fail(const QSqlError &error) const
{
    throw DatabaseError(SqlText::isSqlite(m_db) ? SqlText::fileFailure(m_db.databaseName(), error)
                                                : engineMessage(error));
}

QList<ContactMatch> ContactSearch::find(const QString &text, SearchScope scope, int limit,
                                        bool withEmail, qint64 after, qint64 upTo) const
{
    QVariantList binds{after, upTo};
    const QString sql = matchQuery(text, scope, withEmail, &binds);
    QSqlQuery query = run(sql + QStringLiteral(" LIMIT %1").arg(std::max(0, limit)), binds);
    QStringList ids;
    while (query.next())
        ids << QString::number(query.value(0).toLongLong());
    if (query.lastError().isValid())
        fail(query.lastError());
    query.finish();

    QList<ContactMatch> matches;
    if (ids.isEmpty())
        return matches;
    if (!query.exec(QStringLiteral("SELECT id, %1 FROM %2 WHERE id IN (%3) ORDER BY id")
                        .arg(fieldList(), quoted(m_table), ids.join(QLatin1Char(',')))))
        fail(query.lastError());
    while (query.next()) {
        ContactMatch match;
        match.id = query.value(0).toLongLong();
        for (int f = 0; f < kFieldCount; ++f)
            match.values << query.value(1 + f).toString();
        matches << match;
    }
    if (query.lastError().isValid())
        fail(query.lastError());
    return matches;
}

ContactSearch::Step ContactSearch::scan(const QString &text, SearchScope scope, qint64 after,
                                        int limit, int budgetMilliseconds) const
{
    if (!m_span) {
        // Apart: SQLite reads min() or max() off the key only when it is alone.
        QSqlQuery query =
            run(QStringLiteral("SELECT (SELECT min(id) FROM %1), (SELECT max(id) FROM %1)")
                    .arg(quoted(textTable(m_table))),
                {});
        if (!query.next())
            fail(query.lastError());
        m_span = {query.value(0).toLongLong() - 1, query.value(1).toLongLong()};
        m_window = std::max<qint64>(kFirstWindow, (m_span->second - m_span->first) / 64);
    }
    // Searches by trigrams read the index a stretch of ids at a time: one whose trigrams
    // many contacts hold, all of them in one row, would otherwise take long to read
    // through. Beginnings have their own indexes.
    const bool stretches = scope != SearchScope::Beginnings;
    Step step;
    step.after = std::max(after, m_span->first);
    QElapsedTimer clock;
    clock.start();
    while (step.matches.size() < limit && step.after < m_span->second) {
        const qint64 upTo = stretches && m_span->second - step.after > m_window
                                ? step.after + m_window
                                : m_span->second;
        // At most a few pages a query, so that the budget is looked at often.
        const int wanted = std::min(limit - int(step.matches.size()), kScanPage);
        const qint64 started = clock.nsecsElapsed();
        const QList<ContactMatch> found = find(text, scope, wanted, false, step.after, upTo);
        step.matches << found;
        step.after = found.size() == wanted ? found.last().id : upTo;
        // Stretches of a few milliseconds each: each costs a little more than its share
        // of the ids, as it seeks into every trigram's list of rows.
        const qint64 took = clock.nsecsElapsed() - started;
        if (took < 2000000 && m_window < (std::numeric_limits<qint64>::max() >> 2))
            m_window *= 2;
        else if (took > 8000000)
            m_window = std::max<qint64>(kFirstWindow, m_window / 2);
        if (budgetMilliseconds >= 0 && clock.elapsed() >= budgetMilliseconds)
            break;
    }
    step.done = step.after >= m_span->second;
    return step;
}
