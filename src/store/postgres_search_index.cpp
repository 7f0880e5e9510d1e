#include "store/postgres_search_index.h"

#include "platform/errors.h"
#include "store/contact_schema.h"
#include "store/contact_search.h"
#include "store/sql_text.h"

#include <QSqlRecord>
#include <QVariant>
#include <algorithm>

namespace {

using SqlText::engineMessage;
using SqlText::quoted;
using namespace SearchIndex;

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
    const QString text = quoted(textTableName(table));
    QList<std::pair<QString, QString>> indexes;
    for (qsizetype c = 0; c < SearchIndex::columns().size(); ++c) {
        const QString name = table + QStringLiteral("_search_trgm_") + QLatin1Char("nfei"[c]);
        indexes.append({name, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 "
                                             "USING gin (%3 gin_trgm_ops)")
                                  .arg(quoted(name), text, quoted(SearchIndex::columns()[c]))});
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
    for (const QString &name : {textTableName(table), marksTableName(table), table})
        query.addBindValue(quoted(name));
    for (const QString &name :
         {insertTriggerName(table), updateTriggerName(table), deleteTriggerName(table)})
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

// Statements that drop the text of row `rowExpression` and its mark: the indexes of the
// text table follow it by themselves.
QStringList dropStatements(const QString &table, const QString &rowExpression)
{
    return {
        QStringLiteral("DELETE FROM %1 WHERE id = %2")
            .arg(quoted(textTableName(table)), rowExpression),
        QStringLiteral("DELETE FROM %1 WHERE id = %2")
            .arg(quoted(marksTableName(table)), rowExpression),
    };
}

// Creates the text and marks tables and the triggers on a server and writes the text of
// every row, within the caller's transaction; whatever an earlier index left is made
// afresh. The indexes are made afterwards, over the whole text at once.
bool buildOnServer(QSqlDatabase &db, const QString &table, const std::function<void(int)> &progress,
                   QSqlError *failure)
{
    const QString text = quoted(textTableName(table));
    const QString marks = quoted(marksTableName(table));
    QStringList columns;
    QStringList fields;
    for (const QString &column : SearchIndex::columns())
        columns << quoted(column);
    for (const QString &field : ContactSchema::fieldNames())
        fields << quoted(field);
    QStringList statements;
    for (const QString &trigger :
         {insertTriggerName(table), updateTriggerName(table), deleteTriggerName(table)})
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
                 dropStatements(table, QStringLiteral("OLD.id")).join(u"; ")),
        QStringLiteral("CREATE TRIGGER %1 AFTER INSERT ON %2 FOR EACH ROW EXECUTE FUNCTION %3()")
            .arg(quoted(insertTriggerName(table)), quoted(table), quoted(markFunction(table))),
        QStringLiteral("CREATE TRIGGER %1 AFTER UPDATE OF %2 ON %3 FOR EACH ROW "
                       "EXECUTE FUNCTION %4()")
            .arg(quoted(updateTriggerName(table)), fields.join(u", "), quoted(table),
                 quoted(markFunction(table))),
        QStringLiteral("CREATE TRIGGER %1 AFTER DELETE ON %2 FOR EACH ROW EXECUTE FUNCTION %3()")
            .arg(quoted(deleteTriggerName(table)), quoted(table), quoted(dropFunction(table))),
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

// The first two characters of a word, or its first when the second is half of one.
QString serverStart(const QString &word)
{
    QString start = word.left(2);
    if (!start.isEmpty() && start.back().isHighSurrogate())
        start.chop(1);
    return start;
}

// The SELECT of matching ids, after the two id bounds already in `binds`: every word in one of the
// scope's columns (LIKE, looked up by the columns' trigram indexes), or for beginnings at the start
// of the name, representative or branch (the beginnings' indexes, with the whole word checked by
// LIKE). With `byRows` the rows of the stretch of ids are read in id order and each is checked,
// with no lookup in the trigram indexes (words are then not beginnings).
QString serverMatchQuery(const QString &table, const QList<QStringList> &words, SearchScope scope,
                         bool withEmail, QVariantList *binds, bool byRows = false)
{
    const QStringList columns =
        scope == SearchScope::All ? SearchIndex::columns() : SearchIndex::columns().mid(0, 3);
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
                    // A column within an expression is not looked up by its index: the
                    // rows are read in id order through the key, each checked.
                    alternatives << (byRows ? QStringLiteral("(%1 || '')").arg(quoted(column))
                                            : quoted(column)) +
                                        QStringLiteral(" LIKE ? ESCAPE '\\'");
                    *binds << containsPattern(form);
                }
            }
        }
        conditions << QLatin1Char('(') + alternatives.join(u" OR ") + QLatin1Char(')');
    }
    if (withEmail)
        conditions << QStringLiteral(R"("Email" <> '')");
    return QStringLiteral("SELECT id FROM %1 AS s WHERE %2 ORDER BY id")
        .arg(quoted(textTableName(table)), conditions.join(u" AND "));
}

// The search index on a PostgreSQL server: the text table with pg_trgm's GIN index on
// each column, indexes of the beginnings, and triggers that call plpgsql functions.
class PostgresSearchIndex final : public FullTextIndex
{
public:
    bool exists(QSqlDatabase &db, const QString &table) const override
    {
        ServerState state;
        QSqlError failure;
        return serverState(db, table, &state, &failure) && state.objects == kServerObjects;
    }

    // Nothing is written when the index is complete.
    void ensure(QSqlDatabase &db, const QString &table,
                const std::function<void(int percent)> &progress) const override
    {
        QSqlError failure;
        ServerState state;
        const qsizetype indexCount = serverIndexes(table).size();
        const auto complete = [&state, indexCount] {
            return state.objects == kServerObjects && state.indexes == indexCount;
        };
        if (!serverState(db, table, &state, &failure))
            throw DatabaseError(engineMessage(failure));
        if (complete())
            return;
        buildMissing(db, table, [&] {
            // The server's notices of what is already there or not would reach standard error.
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("SET LOCAL client_min_messages = warning")))
                throw DatabaseError(engineMessage(query.lastError()));
            // A program that opens the table meanwhile waits here, then finds the index made.
            query.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"));
            query.addBindValue(textTableName(table));
            if (!query.exec())
                throw DatabaseError(engineMessage(query.lastError()));
            if (!serverState(db, table, &state, &failure))
                throw DatabaseError(engineMessage(failure));
            if (!state.trigrams &&
                !query.exec(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm")))
                throw DatabaseError(
                    QStringLiteral("Nie można dodać do bazy danych rozszerzenia pg_trgm serwera "
                                   "PostgreSQL, którego wymaga wyszukiwanie kontaktów (%1). "
                                   "Administrator serwera może je dodać poleceniem "
                                   "CREATE EXTENSION pg_trgm.")
                        .arg(engineMessage(query.lastError())));
            if (state.objects != kServerObjects && !buildOnServer(db, table, progress, &failure))
                throw DatabaseError(engineMessage(failure));
            const auto indexes = serverIndexes(table);
            for (qsizetype i = 0; i < indexes.size(); ++i) {
                if (!query.exec(indexes[i].second))
                    throw DatabaseError(engineMessage(query.lastError()));
                if (progress)
                    progress(int(kTextShare + (100 - kTextShare) * (i + 1) / indexes.size()));
            }
        });
    }

    QList<FullTextIndex::Statement> writeStatements(const QString &table) const override
    {
        // The text is replaced in place; then the row's mark is cleared.
        return {{textOnlyStatement(table, 1), 4}, {removeStatements(table).constLast(), 0}};
    }

    QStringList removeStatements(const QString &table) const override
    {
        return dropStatements(table, QStringLiteral("?"));
    }

    QString textOnlyStatement(const QString &table, int rows) const override
    {
        QStringList columns;
        QStringList updates;
        for (const QString &column : SearchIndex::columns()) {
            columns << quoted(column);
            updates << QStringLiteral("%1 = EXCLUDED.%1").arg(quoted(column));
        }
        return QStringLiteral("INSERT INTO %1 (id, %2) VALUES %3 ON CONFLICT (id) DO UPDATE SET %4")
            .arg(quoted(textTableName(table)), columns.join(u", "), SqlText::valueRows(5, rows),
                 updates.join(u", "));
    }

    QStringList indexTextStatements(const QString &) const override
    {
        // The indexes follow the text table, and a batch's own rows are never marked:
        // clearing marks by id here would clear those of rows that another program wrote
        // meanwhile, with ids among the batch's.
        return {};
    }

    QString matchQuery(QSqlDatabase &, const QString &table, const QList<QStringList> &words,
                       SearchScope scope, bool withEmail, QVariantList *binds) const override
    {
        return serverMatchQuery(table, words, scope, withEmail, binds);
    }

    bool wholeLookups() const override { return true; }

    QString rowMatchQuery(const QString &table, const QList<QStringList> &words, SearchScope scope,
                          bool withEmail, QVariantList *binds) const override
    {
        return serverMatchQuery(table, words, scope, withEmail, binds, true);
    }

    QString missingMessage(QSqlDatabase &db, const QString &table) const override
    {
        QString message = QStringLiteral("Tabela %1 nie ma indeksu wyszukiwania.").arg(table);
        ServerState state;
        QSqlError failure;
        if (serverState(db, table, &state, &failure) && !state.trigrams)
            message += QStringLiteral(" W bazie danych na serwerze brak rozszerzenia pg_trgm, "
                                      "którego wymaga wyszukiwanie (CREATE EXTENSION pg_trgm).");
        return message;
    }

    QString searchFailure(const QSqlDatabase &, const QSqlError &error) const override
    {
        return engineMessage(error);
    }
};

} // namespace

const FullTextIndex &postgresSearchIndex()
{
    static const PostgresSearchIndex index;
    return index;
}
