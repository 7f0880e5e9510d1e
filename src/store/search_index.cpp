#include "store/search_index.h"

#include "platform/errors.h"
#include "store/contact_schema.h"
#include "store/sql_text.h"

#include <QSqlError>
#include <QVariant>
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

QString updateTrigger(const QString &table)
{
    return table + QStringLiteral("_search_upd");
}

QString deleteTrigger(const QString &table)
{
    return table + QStringLiteral("_search_del");
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
    // Separate lines, so that no trigram spans two fields.
    return {SearchIndex::fold(values[kNazwa]), SearchIndex::fold(values[kFilia]),
            SearchIndex::fold(values[kEmail]), other.join(QLatin1Char('\n'))};
}

QString insertStatement(const QString &table)
{
    return QStringLiteral("INSERT OR REPLACE INTO %1 (rowid, %2) VALUES (?, ?, ?, ?, ?)")
        .arg(quoted(SearchIndex::tableName(table)), indexColumns().join(QStringLiteral(", ")));
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

// Whether the table has every contact field, so its rows can be indexed.
bool hasContactFields(QSqlDatabase &db, const QString &table)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(table))))
        return false;
    QStringList columns;
    while (query.next())
        columns << query.value(1).toString().toLower();
    for (const QString &field : ContactSchema::fieldNames()) {
        if (!columns.contains(field.toLower()))
            return false;
    }
    return true;
}

// Creates the index table and its triggers and fills it from the table, within the
// caller's transaction. A table whose triggers went missing is made afresh.
bool build(QSqlDatabase &db, const QString &table, const std::function<void(int)> &progress,
           QSqlError *failure)
{
    const QString index = SearchIndex::tableName(table);
    QString fields;
    for (const QString &field : ContactSchema::fieldNames())
        fields += (fields.isEmpty() ? QString() : QStringLiteral(", ")) + field;
    // Any update of a field marks the row, as an insert does, so that rows another
    // program wrote are indexed again; the program clears its own marks.
    const QStringList statements{
        QStringLiteral("DROP TABLE IF EXISTS %1").arg(quoted(index)),
        QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(%2, tokenize = 'trigram', "
                       "detail = none, columnsize = 0)")
            .arg(quoted(index), indexColumns().join(QStringLiteral(", "))),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER UPDATE OF %2 ON %3 BEGIN "
                       "INSERT OR IGNORE INTO %4 (id) VALUES (NEW.id); END")
            .arg(quoted(updateTrigger(table)), fields, quoted(table),
                 quoted(ContactSchema::dirtyTable(table))),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER DELETE ON %2 BEGIN "
                       "DELETE FROM %3 WHERE rowid = OLD.id; END")
            .arg(quoted(deleteTrigger(table)), quoted(table), quoted(index)),
    };
    if (!execAll(db, statements, failure))
        return false;

    const auto fail = [failure](const QSqlQuery &q) {
        *failure = q.lastError();
        return false;
    };
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT min(id), max(id) FROM %1").arg(quoted(table))) ||
        !query.next())
        return fail(query);
    const qint64 lowest = query.value(0).toLongLong();
    const qint64 span = std::max<qint64>(1, query.value(1).toLongLong() - lowest + 1);
    query.finish();

    QSqlQuery select(db);
    select.setForwardOnly(true);
    QSqlQuery insert(db);
    if (!select.prepare(QStringLiteral("SELECT id, %1 FROM %2 WHERE id > ? ORDER BY id LIMIT %3")
                            .arg(fieldList(), quoted(table))
                            .arg(kBuildBatch)))
        return fail(select);
    if (!insert.prepare(insertStatement(table)))
        return fail(insert);
    std::vector<qint64> ids;
    std::vector<QStringList> rows;
    qint64 after = std::numeric_limits<qint64>::min();
    int percent = -1;
    for (;;) {
        ids.clear();
        rows.clear();
        select.bindValue(0, after);
        if (!select.exec())
            return fail(select);
        while (select.next()) {
            ids.push_back(select.value(0).toLongLong());
            QStringList values;
            for (int f = 0; f < kFieldCount; ++f)
                values << select.value(1 + f).toString();
            rows.push_back(searchColumns(values));
        }
        select.finish();
        if (ids.empty())
            break;
        for (size_t row = 0; row < ids.size(); ++row) {
            insert.bindValue(0, ids[row]);
            for (int c = 0; c < 4; ++c)
                insert.bindValue(1 + c, rows[row][c]);
            if (!insert.exec())
                return fail(insert);
        }
        after = ids.back();
        const int now = int(std::min<qint64>(100, (after - lowest) * 100 / span));
        if (progress && now != percent)
            progress(percent = now);
    }
    if (progress && percent != 100)
        progress(100);
    return true;
}

// '%word%' for LIKE with '\' as the escape character.
QString containsPattern(const QString &word)
{
    QString escaped = word;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('%'), QStringLiteral("\\%"))
        .replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
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

} // namespace

namespace SearchIndex {

QString tableName(const QString &table)
{
    return table + QStringLiteral("_search");
}

QString fold(const QString &text)
{
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii)
        return text.toLower();
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

QString digits(const QString &text)
{
    QString result;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            result += c;
    }
    return result;
}

bool exists(QSqlDatabase &db, const QString &table)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN (?, ?, ?)"));
    query.addBindValue(tableName(table));
    query.addBindValue(updateTrigger(table));
    query.addBindValue(deleteTrigger(table));
    return query.exec() && query.next() && query.value(0).toInt() == 3;
}

bool ensure(QSqlDatabase &db, const QString &table, QString *error,
            const std::function<void(int percent)> &progress)
{
    if (exists(db, table) || !hasContactFields(db, table))
        return true;
    if (!db.transaction()) {
        *error = engineMessage(db.lastError());
        return false;
    }
    QSqlError failure;
    if (!build(db, table, progress, &failure)) {
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

bool rewrite(QSqlDatabase &db, const QString &table, const QList<qint64> &ids, QString *error)
{
    SearchIndexWriter writer(db, table);
    if (!writer.active() || ids.isEmpty())
        return true;
    QSqlQuery select(db);
    if (!select.prepare(
            QStringLiteral("SELECT %1 FROM %2 WHERE id = ?").arg(fieldList(), quoted(table)))) {
        *error = engineMessage(select.lastError());
        return false;
    }
    for (const qint64 id : ids) {
        select.addBindValue(id);
        if (!select.exec()) {
            *error = engineMessage(select.lastError());
            return false;
        }
        if (!select.next()) {
            select.finish();
            if (!writer.remove(id, error))
                return false;
            continue;
        }
        QStringList values;
        for (int f = 0; f < kFieldCount; ++f)
            values << select.value(f).toString();
        select.finish();
        if (!writer.write(id, values, error))
            return false;
    }
    return true;
}

} // namespace SearchIndex

SearchIndexWriter::SearchIndexWriter(QSqlDatabase &db, const QString &table)
    : m_db(db), m_table(table), m_active(SearchIndex::exists(db, table))
{
}

SearchIndexWriter::~SearchIndexWriter() = default;

bool SearchIndexWriter::write(qint64 id, const QStringList &values, QString *error)
{
    if (!m_active)
        return true;
    if (values.size() != kFieldCount) {
        *error = QStringLiteral("Search text needs %1 field values, not %2.")
                     .arg(kFieldCount)
                     .arg(values.size());
        return false;
    }
    if (!m_insert) {
        m_insert = std::make_unique<QSqlQuery>(m_db);
        if (!m_insert->prepare(insertStatement(m_table))) {
            *error = engineMessage(m_insert->lastError());
            m_insert.reset();
            return false;
        }
    }
    const QStringList columns = searchColumns(values);
    m_insert->bindValue(0, id);
    for (int c = 0; c < columns.size(); ++c)
        m_insert->bindValue(1 + c, columns[c]);
    if (!m_insert->exec()) {
        *error = engineMessage(m_insert->lastError());
        return false;
    }
    return true;
}

bool SearchIndexWriter::remove(qint64 id, QString *error)
{
    if (!m_active)
        return true;
    if (!m_remove) {
        m_remove = std::make_unique<QSqlQuery>(m_db);
        if (!m_remove->prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?")
                                   .arg(quoted(SearchIndex::tableName(m_table))))) {
            *error = engineMessage(m_remove->lastError());
            m_remove.reset();
            return false;
        }
    }
    m_remove->bindValue(0, id);
    if (!m_remove->exec()) {
        *error = engineMessage(m_remove->lastError());
        return false;
    }
    return true;
}

ContactSearch::ContactSearch(QSqlDatabase db, const QString &table)
    : m_db(std::move(db)), m_table(table)
{
}

QList<ContactMatch> ContactSearch::find(const QString &text, SearchScope scope, int limit,
                                        bool withEmail) const
{
    QSqlDatabase db = m_db;
    if (!SearchIndex::exists(db, m_table))
        throw DatabaseError(QStringLiteral("Tabela %1 nie ma indeksu wyszukiwania.").arg(m_table));
    QStringList columns = indexColumns();
    if (scope == SearchScope::NameRepresentativeEmail)
        columns.removeLast();
    const QString index = quoted(SearchIndex::tableName(m_table));

    // The trigrams narrow the rows down; LIKE then checks each word in the scope's columns.
    QStringList terms;
    QStringList conditions;
    QStringList patterns;
    for (const QString &word :
         SearchIndex::fold(text).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        addTrigrams(word, &terms);
        QStringList alternatives;
        for (const QString &column : std::as_const(columns)) {
            alternatives << column + QStringLiteral(" LIKE ? ESCAPE '\\'");
            patterns << containsPattern(word);
        }
        conditions << QLatin1Char('(') + alternatives.join(QStringLiteral(" OR ")) +
                          QLatin1Char(')');
    }
    if (!terms.isEmpty())
        conditions.prepend(index + QStringLiteral(" MATCH ?"));
    if (withEmail)
        conditions << QStringLiteral("Email <> ''");
    QString sql = QStringLiteral("SELECT rowid FROM %1").arg(index);
    if (!conditions.isEmpty())
        sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" LIMIT %1").arg(std::max(0, limit));

    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw DatabaseError(engineMessage(query.lastError()));
    int bind = 0;
    if (!terms.isEmpty())
        query.bindValue(bind++, terms.join(QStringLiteral(" AND ")));
    for (const QString &pattern : std::as_const(patterns))
        query.bindValue(bind++, pattern);
    if (!query.exec())
        throw DatabaseError(engineMessage(query.lastError()));
    QStringList ids;
    while (query.next())
        ids << QString::number(query.value(0).toLongLong());
    if (query.lastError().isValid())
        throw DatabaseError(engineMessage(query.lastError()));
    query.finish();

    QList<ContactMatch> matches;
    if (ids.isEmpty())
        return matches;
    if (!query.exec(QStringLiteral("SELECT id, %1 FROM %2 WHERE id IN (%3) ORDER BY id")
                        .arg(fieldList(), quoted(m_table), ids.join(QLatin1Char(',')))))
        throw DatabaseError(engineMessage(query.lastError()));
    while (query.next()) {
        ContactMatch match;
        match.id = query.value(0).toLongLong();
        for (int f = 0; f < kFieldCount; ++f)
            match.values << query.value(1 + f).toString();
        matches << match;
    }
    if (query.lastError().isValid())
        throw DatabaseError(engineMessage(query.lastError()));
    return matches;
}
