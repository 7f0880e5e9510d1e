#include "store/sqlite_search_index.h"

#include "platform/errors.h"
#include "store/bulk_statement.h"
#include "store/contact_details.h"
#include "store/contact_schema.h"
#include "store/contact_search.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"

#include <QScopeGuard>
#include <QSet>
#include <QVariant>
#include <algorithm>
#include <limits>
#include <vector>

namespace {

using SqlText::engineMessage;
using SqlText::quoted;
using namespace SearchIndex;

// The index of the name, representative and e-mail columns only.
QString namesIndex(const QString &table)
{
    return table + QStringLiteral("_search_names");
}

// Statements that drop the indexed text of row `rowExpression` from both indexes and
// the text table, and its mark. An external-content index forgets a row only when told
// its text.
QStringList dropStatements(const QString &table, const QString &rowExpression)
{
    const QString columns = SearchIndex::columns().join(QStringLiteral(", "));
    const QString names = SearchIndex::columns().mid(0, 3).join(QStringLiteral(", "));
    const QString text = quoted(textTableName(table));
    const QString all = quoted(SearchIndex::tableName(table));
    const QString named = quoted(namesIndex(table));
    return {
        QStringLiteral("INSERT INTO %1 (%1, rowid, %2) SELECT 'delete', id, %2 FROM %3 "
                       "WHERE id = %4")
            .arg(all, columns, text, rowExpression),
        QStringLiteral("INSERT INTO %1 (%1, rowid, %2) SELECT 'delete', id, %2 FROM %3 "
                       "WHERE id = %4")
            .arg(named, names, text, rowExpression),
        QStringLiteral("DELETE FROM %1 WHERE id = %2").arg(text, rowExpression),
        QStringLiteral("DELETE FROM %1 WHERE id = %2")
            .arg(quoted(marksTableName(table)), rowExpression),
    };
}

// Statements that write the text of a row, after its old text is dropped: each binds
// the id, then the first three or all four column texts.
QStringList insertStatements(const QString &table)
{
    const QString columns = SearchIndex::columns().join(QStringLiteral(", "));
    const QString names = SearchIndex::columns().mid(0, 3).join(QStringLiteral(", "));
    return {
        QStringLiteral("INSERT INTO %1 (id, %2) VALUES (?, ?, ?, ?, ?)")
            .arg(quoted(textTableName(table)), columns),
        QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (?, ?, ?, ?, ?)")
            .arg(quoted(SearchIndex::tableName(table)), columns),
        QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (?, ?, ?, ?)")
            .arg(quoted(namesIndex(table)), names),
    };
}

// The share of a build's progress, in per cent, that writing and indexing the text
// takes; the indexes of the beginnings take the rest.
constexpr int kRowsShare = 95;

// The memory an index keeps its pending rows in while it is built, and the default.
constexpr int kBuildHashBytes = 16 << 20;
constexpr int kDefaultHashBytes = 1 << 20;

// FTS5 settings for writing many rows: name, value then, and the default.
struct BulkSetting
{
    const char *name;
    int bulk;
    int usual;
};

// The memory of pending rows, raised. A batch that indexes its rows a stretch at a
// time writes a part of the index per stretch: merged as they come (automerge), or
// when 16 wait (crisismerge), they are read and written again several times over, so
// while the batch writes they are merged only when 32 wait; later writes merge them
// as usual.
constexpr BulkSetting kBuildSettings[] = {{"hashsize", kBuildHashBytes, kDefaultHashBytes}};
constexpr BulkSetting kBatchSettings[] = {
    {"hashsize", kBuildHashBytes, kDefaultHashBytes}, {"automerge", 0, 4}, {"crisismerge", 32, 16}};

// The statements that set the indexes up for many rows, or put the settings back to
// their defaults leaving no trace of them in their configuration.
template<size_t N>
QStringList bulkStatements(const QString &table, const BulkSetting (&settings)[N], bool bulk)
{
    QStringList statements;
    for (const QString &index : {SearchIndex::tableName(table), namesIndex(table)}) {
        for (const BulkSetting &setting : settings) {
            const QString name = QLatin1String(setting.name);
            statements << QStringLiteral("INSERT INTO %1 (%1, rank) VALUES ('%2', %3)")
                              .arg(quoted(index), name)
                              .arg(bulk ? setting.bulk : setting.usual);
            if (!bulk)
                statements << QStringLiteral("DELETE FROM %1 WHERE k = '%2'")
                                  .arg(quoted(index + QStringLiteral("_config")), name);
        }
    }
    return statements;
}

bool runStatements(QSqlDatabase &db, const QStringList &statements, QSqlError *failure)
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

// Writes the text of every row and indexes it, a batch of rows at a time in id order,
// within the caller's transaction, reporting progress after each batch. The rows are
// read and the text written through the engine's own interface, without Qt's
// conversion of every value. Each index takes a batch in one statement, as its
// 'rebuild' would take the whole table, so that the progress moves on evenly.
bool writeAndIndex(QSqlDatabase &db, const QString &table, const std::function<void(int)> &progress,
                   QSqlError *failure)
{
    QSqlQuery bounds(db);
    if (!bounds.exec(QStringLiteral("SELECT min(id), max(id) FROM %1").arg(quoted(table))) ||
        !bounds.next()) {
        *failure = bounds.lastError();
        return false;
    }
    const qint64 lowest = bounds.value(0).toLongLong();
    const qint64 span = std::max<qint64>(1, bounds.value(1).toLongLong() - lowest + 1);
    bounds.finish();

    const QString text = quoted(textTableName(table));
    const QString columns = SearchIndex::columns().join(QStringLiteral(", "));
    const QString names = SearchIndex::columns().mid(0, 3).join(QStringLiteral(", "));
    BulkStatement select(db, QStringLiteral("SELECT id, %1 FROM %2 WHERE id > ? ORDER BY id "
                                            "LIMIT %3")
                                 .arg(fieldList(), quoted(table))
                                 .arg(kBuildBatch));
    BulkStatement insert(db, insertStatements(table).first());
    const QString indexBatch = QStringLiteral(
        "INSERT INTO %1 (rowid, %2) SELECT id, %2 FROM %3 WHERE id >= ? AND id <= ?");
    BulkStatement indexAll(db,
                           indexBatch.arg(quoted(SearchIndex::tableName(table)), columns, text));
    BulkStatement indexNames(db, indexBatch.arg(quoted(namesIndex(table)), names, text));
    for (const BulkStatement *statement : {&select, &insert, &indexAll, &indexNames}) {
        if (!statement->ok()) {
            *failure = statement->error();
            return false;
        }
    }
    DetailStore details(db, table);
    const QSet<qint64> withDetails = details.contactsWithDetails();
    const QStringList fields = ContactSchema::fieldNames();
    const auto failed = [failure](const BulkStatement &statement) {
        *failure = statement.error();
        return false;
    };

    // The batch's text is read again by the indexes, and their pages are written over
    // and over: a larger cache keeps them in memory rather than in the file's.
    const SqlEngine &engine = SqlEngine::of(db);
    const QVariant cache = engine.enlargeCache(db);
    const auto restore = qScopeGuard([&] { engine.restoreCache(db, cache); });

    // Each index keeps the rows it is given in memory until it writes them out as a
    // segment, by default a megabyte's worth: many small segments, merged again and
    // again. With more, the indexes take about a quarter less work to build. The
    // setting is put back as it was once the index is built.
    if (!runStatements(db, bulkStatements(table, kBuildSettings, true), failure))
        return false;

    int percent = -1;
    qint64 after = std::numeric_limits<qint64>::min();
    for (;;) {
        select.bind(0, after);
        std::vector<std::pair<qint64, QStringList>> rows;
        rows.reserve(kBuildBatch);
        while (select.next()) {
            QStringList values;
            values.reserve(kFieldCount);
            for (int f = 0; f < kFieldCount; ++f)
                values << select.text(1 + f);
            rows.emplace_back(select.integer(0), std::move(values));
        }
        if (!select.ok())
            return failed(select);
        select.rewind();
        if (rows.empty())
            return runStatements(db, bulkStatements(table, kBuildSettings, false), failure);
        // Further values are read by their own statements, once the batch is read.
        for (auto &[id, values] : rows) {
            if (withDetails.contains(id))
                values = ContactDetails::searchValues(fields, values, details.readDetails(id));
            const QStringList texts = columnTexts(values);
            insert.bind(0, id);
            for (int c = 0; c < 4; ++c)
                insert.bind(1 + c, texts[c]);
            if (!insert.exec())
                return failed(insert);
        }
        const qint64 first = rows.front().first;
        after = rows.back().first;
        for (BulkStatement *index : {&indexAll, &indexNames}) {
            index->bind(0, first);
            index->bind(1, after);
            if (!index->exec())
                return failed(*index);
        }
        const int now =
            int(std::min<qint64>(100, (after - lowest) * 100 / span) * kRowsShare / 100);
        if (progress && now != percent)
            progress(percent = now);
    }
}

// Creates the text table, both indexes and their triggers and fills them from the
// table, within the caller's transaction, a batch of rows at a time: its text, then
// both indexes over it. Whatever a failed or partial earlier attempt left is made afresh.
bool build(QSqlDatabase &db, const QString &table, const std::function<void(int)> &progress,
           QSqlError *failure)
{
    const QString text = quoted(textTableName(table));
    const QString all = quoted(SearchIndex::tableName(table));
    const QString named = quoted(namesIndex(table));
    const QString columns = SearchIndex::columns().join(QStringLiteral(", "));
    // The indexes keep only which rows hold a trigram (detail = none), no column sizes.
    // The text and the searched words come folded, so the tokenizer takes them as they
    // are: folding them again costs an index build some 10 per cent.
    const QString options =
        QStringLiteral("content = '%1', content_rowid = id, "
                       "tokenize = 'trigram case_sensitive 1', detail = none, "
                       "columnsize = 0")
            .arg(QString(textTableName(table)).replace(QLatin1Char('\''), QStringLiteral("''")));
    const QString marks = quoted(marksTableName(table));
    QStringList statements;
    for (const QString &trigger :
         {insertTriggerName(table), updateTriggerName(table), deleteTriggerName(table)})
        statements << QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(quoted(trigger));
    for (const QString &made : {all, named, text, marks})
        statements << QStringLiteral("DROP TABLE IF EXISTS %1").arg(made);
    statements << QStringList{
        QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, %2)").arg(text, columns),
        QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY)").arg(marks),
        QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(%2, %3)").arg(all, columns, options),
        QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(%2, %3)")
            .arg(named, SearchIndex::columns().mid(0, 3).join(QStringLiteral(", ")), options),
        QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 BEGIN %3; END")
            .arg(quoted(deleteTriggerName(table)), quoted(table),
                 dropStatements(table, QStringLiteral("OLD.id")).join(QStringLiteral("; "))),
    };
    for (const auto &trigger : SearchIndex::markTriggers(table))
        statements << trigger.second;
    if (!execAll(db, statements, failure))
        return false;

    return writeAndIndex(db, table, progress, failure);
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

// Candidates of a beginning from which reading rows in id order finds a page sooner
// than sorting them all.
constexpr int kDenseBeginning = 5000;

// Creates the indexes of the beginnings of name, representative and branch when
// missing: a few bytes per contact. Reports progress from kRowsShare to 100 per cent
// as each is made.
bool ensureStartIndexes(QSqlDatabase &db, const QString &table, QSqlError *failure,
                        const std::function<void(int)> &progress = {})
{
    const auto columns = startColumns();
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const QString sql = QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                                .arg(quoted(startIndexName(table, i)), quoted(textTableName(table)),
                                     columns[i].first);
        if (!execAll(db, {sql}, failure))
            return false;
        if (progress)
            progress(int(kRowsShare + (100 - kRowsShare) * (i + 1) / columns.size()));
    }
    return true;
}

// Raises DatabaseError with a search's error in Polish, naming the file.
[[noreturn]] void fail(const QSqlDatabase &db, const QSqlError &error)
{
    throw DatabaseError(SqlText::fileFailure(db.databaseName(), error));
}

// The SELECT of contacts that have every word at the beginning of the name, the
// representative or the branch.
QString beginningsQuery(QSqlDatabase &db, const QString &table, const QStringList &words,
                        bool withEmail, QVariantList *binds)
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
                                   .arg(quoted(table));
            alternatives << QLatin1Char('(') + alternative + QLatin1Char(')');
            *values << bound;
        }
        return alternatives;
    };
    const QString text = quoted(textTableName(table));
    if (words.isEmpty())
        return QStringLiteral("SELECT id FROM %1 WHERE id > ? AND id <= ? ORDER BY id").arg(text);
    QVariantList bounds; // the ids above and up to
    bounds << binds->takeFirst();
    bounds << binds->takeFirst();

    // A word of two characters is the whole of the beginnings it matches: each index
    // holds its rows in id order, so that merging the three finds the next page at
    // once, however many contacts share it. Any other word leads as the first one.
    const auto whole = std::find_if(words.cbegin(), words.cend(), [](const QString &word) {
        return word.size() == 2 && word[0].unicode() < 0xD800 && word[1].unicode() < 0xD7FF;
    });
    const qsizetype lead = whole == words.cend() ? 0 : whole - words.cbegin();

    // The words after the lead, and the e-mail condition, checked on each candidate.
    QStringList others;
    QVariantList otherValues;
    for (qsizetype w = 0; w < words.size(); ++w) {
        if (w == lead)
            continue;
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

    if (whole != words.cend()) {
        QStringList arms;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            QString arm = QStringLiteral("SELECT id FROM %1 AS s INDEXED BY %2 WHERE id > ? AND "
                                         "id <= ? AND %3 = ?")
                              .arg(text, quoted(startIndexName(table, i)), columns[i].first);
            if (columns[i].first == branchStart())
                arm += QStringLiteral(" AND (SELECT Branza FROM %1 WHERE id = s.id) <> ''")
                           .arg(quoted(table));
            arms << arm + rest;
            *binds << bounds << *whole << otherValues;
        }
        return arms.join(u" UNION ") + QStringLiteral(" ORDER BY id");
    }

    QList<QVariantList> firstValues;
    const QStringList first = alternativesOf(words.value(lead), &firstValues);
    // A beginning that many contacts share is found soonest by reading rows in id
    // order; a rarer one through the indexes, sorting what they find.
    QStringList counts;
    QVariantList countValues;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        counts << QStringLiteral("(SELECT count(*) FROM (SELECT 1 FROM %1 INDEXED BY %2 "
                                 "WHERE %3 >= ? AND %3 < ? LIMIT %4))")
                      .arg(text, quoted(startIndexName(table, i)), columns[i].first)
                      .arg(kDenseBeginning);
        countValues << firstValues[i].mid(0, 2);
    }
    QSqlQuery density(db);
    density.setForwardOnly(true);
    if (!density.prepare(QStringLiteral("SELECT ") + counts.join(u" + ")))
        fail(db, density.lastError());
    for (int i = 0; i < countValues.size(); ++i)
        density.bindValue(i, countValues[i]);
    if (!density.exec() || !density.next())
        fail(db, density.lastError());
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
                    .arg(text, quoted(startIndexName(table, i)), first[i], rest);
        *binds << bounds << firstValues[i] << otherValues;
    }
    return arms.join(u" UNION ") + QStringLiteral(" ORDER BY id");
}

// The search index in an SQLite file: the text table, two trigram FTS5 indexes over it,
// indexes of the beginnings, and plain-SQL triggers.
class SqliteSearchIndex final : public FullTextIndex
{
public:
    bool exists(QSqlDatabase &db, const QString &table) const override
    {
        QSqlQuery query(db);
        const QStringList objects{tableName(table),         namesIndex(table),
                                  textTableName(table),     marksTableName(table),
                                  insertTriggerName(table), updateTriggerName(table),
                                  deleteTriggerName(table)};
        QStringList marks;
        marks.fill(QStringLiteral("?"), objects.size());
        query.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN (%1)")
                          .arg(marks.join(QStringLiteral(", "))));
        for (const QString &name : objects)
            query.addBindValue(name);
        return query.exec() && query.next() && query.value(0).toInt() == objects.size();
    }

    void ensure(QSqlDatabase &db, const QString &table,
                const std::function<void(int percent)> &progress) const override
    {
        QSqlError failure;
        if (exists(db, table)) {
            if (!ensureStartIndexes(db, table, &failure))
                throw DatabaseError(engineMessage(failure));
            return;
        }
        buildMissing(db, table, [&] {
            if (!build(db, table, progress, &failure) ||
                !ensureStartIndexes(db, table, &failure, progress))
                throw DatabaseError(engineMessage(failure));
        });
    }

    QList<FullTextIndex::Statement> writeStatements(const QString &table) const override
    {
        // The old text out of each table, then the new text into each: the text table and
        // the index of every column take all four texts, the names index three.
        QList<Statement> statements;
        for (const QString &drop : removeStatements(table))
            statements.append({drop, 0});
        const QStringList inserts = insertStatements(table);
        for (qsizetype i = 0; i < inserts.size(); ++i)
            statements.append({inserts[i], i + 1 == inserts.size() ? 3 : 4});
        return statements;
    }

    QStringList removeStatements(const QString &table) const override
    {
        return dropStatements(table, QStringLiteral("?"));
    }

    QString textOnlyStatement(const QString &table, int rows) const override
    {
        return QStringLiteral("INSERT OR REPLACE INTO %1 (id, %2) VALUES %3")
            .arg(quoted(textTableName(table)), SearchIndex::columns().join(u", "),
                 SqlText::valueRows(5, rows));
    }

    // FTS5 merges the parts of an index level that holds at least four, until it has
    // written the pages given; the indexes hold some 35 pages per 1,000 rows.
    QStringList mergeStatements(const QString &table, qint64 rows, int steps) const override
    {
        const qint64 pages = (rows / 16 + 64) / steps + 1;
        QStringList statements;
        for (const QString &index : {SearchIndex::tableName(table), namesIndex(table)})
            statements << QStringLiteral("INSERT INTO %1 (%1, rank) VALUES ('merge', %2)")
                              .arg(quoted(index))
                              .arg(pages);
        return statements;
    }

    // A step writes some 100 pages, a few milliseconds' work.
    QStringList mergeStepStatements(const QString &table) const override
    {
        QStringList statements;
        for (const QString &index : {SearchIndex::tableName(table), namesIndex(table)})
            statements << QStringLiteral("INSERT INTO %1 (%1, rank) VALUES ('merge', 100)")
                              .arg(quoted(index));
        return statements;
    }

    // As for a build, and merged less while the batch writes; put back with no trace.
    QStringList bulkIndexStatements(const QString &table, bool starting) const override
    {
        return bulkStatements(table, kBatchSettings, starting);
    }

    QStringList indexTextStatements(const QString &table) const override
    {
        const QString text = quoted(textTableName(table));
        const QString columns = SearchIndex::columns().join(QStringLiteral(", "));
        const QString names = SearchIndex::columns().mid(0, 3).join(QStringLiteral(", "));
        return {
            QStringLiteral(
                "INSERT INTO %1 (rowid, %2) SELECT id, %2 FROM %3 WHERE id >= ? AND id < ?")
                .arg(quoted(SearchIndex::tableName(table)), columns, text),
            QStringLiteral(
                "INSERT INTO %1 (rowid, %2) SELECT id, %2 FROM %3 WHERE id >= ? AND id < ?")
                .arg(quoted(namesIndex(table)), names, text),
            QStringLiteral("DELETE FROM %1 WHERE id >= ? AND id < ?")
                .arg(quoted(marksTableName(table))),
        };
    }

    QString matchQuery(QSqlDatabase &db, const QString &table, const QList<QStringList> &words,
                       SearchScope scope, bool withEmail, QVariantList *binds) const override
    {
        if (scope == SearchScope::Beginnings) {
            QStringList starts; // a number begins a field with its digits
            for (const QStringList &forms : words)
                starts << forms.first();
            return beginningsQuery(db, table, starts, withEmail, binds);
        }

        // Each scope has an index of its own columns, so that its trigrams find no rows
        // that hold them only elsewhere.
        const bool everyField = scope == SearchScope::All;
        const QStringList columns =
            everyField ? SearchIndex::columns() : SearchIndex::columns().mid(0, 3);
        const QString index =
            quoted(everyField ? SearchIndex::tableName(table) : namesIndex(table));

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

    QString missingMessage(QSqlDatabase &db, const QString &table) const override
    {
        QString message = QStringLiteral("Tabela %1 w bazie danych %2 nie ma indeksu wyszukiwania.")
                              .arg(table, SqlText::fileOf(db.databaseName()));
        if (db.connectOptions().contains(QLatin1String("QSQLITE_OPEN_READONLY")))
            message += QStringLiteral(" Baza jest otwarta tylko do odczytu, więc program nie "
                                      "może go zbudować.");
        return message;
    }

    QString searchFailure(const QSqlDatabase &db, const QSqlError &error) const override
    {
        return SqlText::fileFailure(db.databaseName(), error);
    }
};

} // namespace

QList<std::pair<QString, QString>> SearchIndex::markTriggers(const QString &table)
{
    const QString marks = quoted(marksTableName(table));
    // Any insert, and any update of a field, marks the row; writing its text clears
    // the mark, so marks left behind name rows that another program wrote.
    return {
        {insertTriggerName(table),
         QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER INSERT ON %2 "
                        "BEGIN INSERT OR IGNORE INTO %3 (id) "
                        "VALUES (NEW.id); END")
             .arg(quoted(insertTriggerName(table)), quoted(table), marks)},
        {updateTriggerName(table),
         QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER UPDATE OF %2 ON %3 BEGIN "
                        "INSERT OR IGNORE INTO %4 (id) VALUES (NEW.id); END")
             .arg(quoted(updateTriggerName(table)),
                  ContactSchema::fieldNames().join(QStringLiteral(", ")), quoted(table), marks)},
    };
}

const FullTextIndex &sqliteSearchIndex()
{
    static const SqliteSearchIndex index;
    return index;
}
