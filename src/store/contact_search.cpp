#include "store/contact_search.h"

#include "platform/errors.h"
#include "store/search_index.h"
#include "store/sql_engine.h"
#include "store/sql_text.h"

#include <QElapsedTimer>
#include <QVariant>
#include <algorithm>

namespace {

using SqlText::quoted;

// Matches a query of a scan reads at most.
constexpr int kScanPage = 100;

// The first stretch of ids that a scan reads at least.
constexpr qint64 kFirstWindow = 4096;

} // namespace

ContactSearch::ContactSearch(QSqlDatabase db, const QString &table)
    : m_db(std::move(db)), m_table(table)
{
}

QStringList ContactSearch::words(const QString &text)
{
    QStringList forms;
    for (const QStringList &word : SearchIndex::searchWords(text))
        forms << word;
    return forms;
}

SearchScope ContactSearch::scopeFor(const QString &text)
{
    const QList<QStringList> words = SearchIndex::searchWords(text);
    const bool longWord = std::any_of(words.cbegin(), words.cend(), [](const QStringList &forms) {
        return forms.first().size() >= 3;
    });
    return longWord || words.isEmpty() ? SearchScope::All : SearchScope::Beginnings;
}

QString ContactSearch::matchQuery(const QString &text, SearchScope scope, bool withEmail,
                                  QVariantList *binds, bool byRows) const
{
    QSqlDatabase db = m_db;
    const FullTextIndex &index = SqlEngine::of(db).fullTextIndex();
    // Once for a search, not for every stretch of a scan.
    if (!m_indexFound && !(m_indexFound = index.exists(db, m_table)))
        throw DatabaseError(index.missingMessage(db, m_table));
    const QList<QStringList> words = SearchIndex::searchWords(text);
    SearchIndex::checkWordCount(words);
    return byRows ? index.rowMatchQuery(m_table, words, scope, withEmail, binds)
                  : index.matchQuery(db, m_table, words, scope, withEmail, binds);
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
    throw DatabaseError(SqlEngine::of(m_db).fullTextIndex().searchFailure(m_db, error));
}

QList<ContactMatch> ContactSearch::find(const QString &text, SearchScope scope, int limit,
                                        bool withEmail, qint64 after, qint64 upTo) const
{
    return read(text, scope, limit, withEmail, after, upTo, false);
}

QList<ContactMatch> ContactSearch::read(const QString &text, SearchScope scope, int limit,
                                        bool withEmail, qint64 after, qint64 upTo,
                                        bool byRows) const
{
    QVariantList binds{after, upTo};
    const QString sql = matchQuery(text, scope, withEmail, &binds, byRows);
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
    if (!query.exec(
            QStringLiteral("SELECT id, %1 FROM %2 WHERE id IN (%3) ORDER BY id")
                .arg(SearchIndex::fieldList(), quoted(m_table), ids.join(QLatin1Char(',')))))
        fail(query.lastError());
    while (query.next()) {
        ContactMatch match;
        match.id = query.value(0).toLongLong();
        for (int f = 0; f < SearchIndex::kFieldCount; ++f)
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
                    .arg(quoted(SearchIndex::textTableName(m_table))),
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
    // Where a lookup reads the index whole however short the stretch, rows are read one
    // by one instead while they hold matches, each stretch at a cost in proportion to
    // its ids, so that the first rows come within the budget; from the first stretch
    // without a match on, the words are looked up, in stretches that grow while their
    // cost is the lookup's own.
    const bool wholeLookups = stretches && SqlEngine::of(m_db).fullTextIndex().wholeLookups();
    Step step;
    step.after = std::max(after, m_span->first);
    QElapsedTimer clock;
    clock.start();
    qint64 lastTook = -1; // nanoseconds the last stretch took, and the ids it spanned
    qint64 lastSpan = 1;
    while (step.matches.size() < limit && step.after < m_span->second) {
        const bool byRows = wholeLookups && m_byRows;
        qint64 &window = byRows ? m_rowWindow : m_window;
        const qint64 upTo = stretches && m_span->second - step.after > window ? step.after + window
                                                                              : m_span->second;
        const qint64 span = upTo - step.after;
        // A stretch that would end well past the budget waits for the next step: the
        // last one's time, for as many ids, foretells it.
        if (budgetMilliseconds >= 0 && lastTook >= 0 &&
            double(clock.nsecsElapsed()) + double(lastTook) * double(span) / double(lastSpan) >
                budgetMilliseconds * 1e6)
            break;
        // At most a few pages a query, so that the budget is looked at often.
        const int wanted = std::min(limit - int(step.matches.size()), kScanPage);
        const qint64 started = clock.nsecsElapsed();
        const QList<ContactMatch> found =
            read(text, scope, wanted, false, step.after, upTo, byRows);
        step.matches << found;
        step.after = found.size() == wanted ? found.last().id : upTo;
        if (found.isEmpty())
            m_byRows = false;
        // Stretches of a few milliseconds each: each costs a little more than its share
        // of the ids, as it seeks into every trigram's list of rows. A whole lookup that
        // came back short of the page costs what the lookup does, not its ids: a longer
        // stretch costs no more.
        const qint64 took = clock.nsecsElapsed() - started;
        lastTook = took;
        lastSpan = std::max<qint64>(1, span);
        const bool grows = took < 2000000 || (wholeLookups && !byRows && found.size() < wanted);
        if (grows && window < (std::numeric_limits<qint64>::max() >> 2))
            window *= 2;
        else if (took > 8000000)
            window = std::max<qint64>(kFirstWindow, window / 2);
        if (budgetMilliseconds >= 0 && clock.elapsed() >= budgetMilliseconds)
            break;
    }
    step.done = step.after >= m_span->second;
    return step;
}
