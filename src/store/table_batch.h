#pragma once

#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class BulkStatement;
class SearchIndexWriter;
class TTable;

// Many rows written into an open table in one transaction on its connection, with
// their sort keys and search text: nothing is seen by others until commit(), and a batch that is
// rolled back or destroyed uncommitted leaves the file as it was. The table's cursor
// does not move; the caller positions it after the commit. Failures raise
// DatabaseError with the engine's message.
class TableBatch final
{
public:
    // Ends an edit of the table (posting it when changed) and begins the transaction.
    explicit TableBatch(TTable &table);
    ~TableBatch();
    TableBatch(const TableBatch &) = delete;
    TableBatch &operator=(const TableBatch &) = delete;

    // A row's values in the table's field order with what is derived from them, its
    // sort keys and search text. prepare() reads no database and changes nothing, so
    // another thread may prepare rows while this one writes.
    struct Prepared
    {
        QStringList values;
        QList<QByteArray> keys;
        QStringList searchText;
    };
    Prepared prepare(const QStringList &values) const;

    // Returns the new row's id.
    qint64 insert(const Prepared &row);
    qint64 insert(const QStringList &values) { return insert(prepare(values)); }
    // Replaces every value of the row with this id.
    void update(qint64 id, const QStringList &values);
    // The stored values of a row, in table field order; empty when there is no such row.
    QStringList values(qint64 id);
    // Calls `visit` with the id and the named fields of every row, in id order.
    void forEachRow(const QStringList &fields,
                    const std::function<void(qint64 id, const QStringList &values)> &visit);

    void commit();
    void rollback();

private:
    std::unique_ptr<QSqlQuery> prepare(const QString &sql);
    std::unique_ptr<BulkStatement> bulk(const QString &sql);
    void requireOpen() const;
    QSqlQuery &statement(const std::unique_ptr<QSqlQuery> &query);
    void setAsideMarkTriggers();
    void unmark(qint64 id);
    void finishStatements();
    void writeSearchText(qint64 id, const QStringList &values);
    void indexSearchText(qint64 to);

    static constexpr qint64 kIndexStretch = 8192;

    TTable &m_table;
    QStringList m_columns; // the fields, then their sort-key columns
    QList<int> m_keyedFieldIndexes;
    bool m_open = false;
    qint64 m_cacheSize = -2000; // the connection's own page cache, restored at the end
    qint64 m_firstInserted = -1;
    qint64 m_unindexed = -1; // the first inserted row whose search text is not indexed
    std::unique_ptr<BulkStatement> m_insert;
    std::unique_ptr<BulkStatement> m_update;
    QStringList m_setAside; // statements that make the set-aside triggers again
    std::unique_ptr<QSqlQuery> m_select;
    std::unique_ptr<QSqlQuery> m_unmark;
    std::unique_ptr<SearchIndexWriter> m_search;
};
