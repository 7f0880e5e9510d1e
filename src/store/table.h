#pragma once

#include <QByteArray>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

#include "store/contact_details.h"
#include "store/table_connection.h"

class BackgroundUpkeep;
class QSqlQuery;
class SearchIndexWriter;
class SqlEngine;

enum class DataSetState { Inactive, Browse, Edit, Insert, SetKey };

// The contact table `t1`: one shared cursor over a table of the contact database,
// in the order of the index in use. Every move is one indexed query from the
// current record's (key, id), so no operation loads, counts or skips over rows,
// however large the table grows. Failures raise DatabaseError with the engine's
// message; an edit whose post failed stays open with its values.
class TTable final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TTable)

public:
    explicit TTable(QObject *parent = nullptr);
    ~TTable() override; // an edit still open is discarded

    // Configuration, before open().
    void setDatabaseName(const QString &alias) { m_databaseName = alias; }
    QString databaseName() const { return m_databaseName; }
    void setTableName(const QString &name) { m_tableName = name; }
    QString tableName() const { return m_tableName; }
    // Milliseconds a write waits for another program's lock before it fails.
    void setBusyTimeout(int milliseconds) { m_busyTimeout = milliseconds; }
    // Names the SQLite file directly instead of resolving the alias.
    void setDatabaseFile(const QString &path) { m_databaseFile = path; }
    QString databaseFile() const { return m_databaseFile; }
    // Called with how far a rebuild of every sort key has got, in per cent: open()
    // rebuilds them when the collation rules changed, which takes a while. The first
    // open of a file without a search index reports the building of it the same way.
    void setRebuildProgress(std::function<void(int percent)> progress)
    {
        m_rebuildProgress = std::move(progress);
    }

    // Opens the table positioned on the first record of the index in use. The
    // database file is created with its table on first run: when the file is named
    // directly or is the default one, and is missing or empty (an interrupted first
    // run). A file that an alias names must exist.
    void open();
    void close();
    bool active() const { return m_state != DataSetState::Inactive; }
    // The database file in use while open; for a server, where the alias points.
    QString path() const { return m_link.path(); }
    // The engine of the database while open, which answers what differs between them.
    const SqlEngine *engine() const { return m_link.engine(); }
    // Whether the table lies on a database server rather than in an SQLite file.
    bool isServer() const;
    // Whether the file was opened for reading only, as neither it nor its folder may be
    // written: editing, inserting and deleting then raise a message that says so.
    bool readOnly() const { return m_link.readOnly(); }
    // Another user deleted the record on the card; the next move says so.
    bool deletedByOther() const { return m_deletedByOther; }
    // The connection while open, for searches that read through it (ContactSearch).
    QSqlDatabase database() const { return m_link.db(); }

    // A second cursor over the same table, open on the same index and positioned on
    // its first record: it reads what is stored, independently of this one.
    std::unique_ptr<TTable> openCursor() const;
    // Moves to the record with this id (an edit is ended first); false when it is gone.
    bool locate(qint64 id);
    DataSetState state() const { return m_state; }

    // Index in use, by name without regard to case. While open, an edit is ended
    // first (posted if changed, dropped otherwise) and the current record is kept.
    void setIndexName(const QString &name);
    QString indexName() const;
    QStringList indexNames() const;
    // Raises the engine's error unless the table has an index of that name that orders a field.
    void verifyIndex(const QString &name) const;

    void first();
    void prior();
    void next();
    void last();
    // Begin and end of the table as a loop sees them: bof() after first() or a
    // prior() that found nothing, eof() after last() or a next() that found nothing.
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    // Whether the current record is the first or last in the index order.
    bool atFirst() const { return m_empty || !m_current.hasPrior; }
    bool atLast() const { return m_empty || !m_current.hasNext; }
    bool isEmpty() const { return m_empty; }
    qint64 recordId() const { return m_current.id; }
    qint64 recordCount() const;

    void edit();
    void insert();
    void post();
    void cancel();
    void deleteRecord();
    // Re-reads the current record and repairs the order and search text of rows that
    // another program wrote; an edit is ended first.
    void refresh();
    // Ends an edit: posts it when a field changed, drops it otherwise.
    void checkBrowseMode();
    bool modified() const { return m_modified; }
    bool editing() const
    {
        return m_state == DataSetState::Edit || m_state == DataSetState::Insert;
    }

    // Fields, by name without regard to case.
    QStringList fieldNames() const { return m_fields; }
    int fieldIndex(const QString &name) const; // -1 when the table has no such field
    int fieldIndexChecked(const QString &name) const;
    QString fieldText(int field) const;
    QString fieldText(const QString &name) const { return fieldText(fieldIndexChecked(name)); }
    void setFieldText(int field, const QString &text);
    void setFieldText(const QString &name, const QString &text)
    {
        setFieldText(fieldIndexChecked(name), text);
    }

    // The further values of the record on the card, read when asked (a move reads
    // none); while it is edited, the values set for it. Empty while a new record is
    // inserted until values are set, and for a table without them.
    QList<ContactDetail> details() const;
    // Sets the further values of the record being edited or inserted: posting writes
    // them with its fields in one transaction, cancelling drops them.
    void setDetails(const QList<ContactDetail> &details);
    // Whether the table keeps further values (a read-only file made before them does not).
    bool hasDetails() const;
    // Everything the record on the card holds beside its fields, as stored.
    ContactExtras extras() const;
    // The further values and card data of any stored record, on this connection.
    DetailStore &detailStore() const;

    // Key mode: setKey() ends an edit and starts an empty search key; field texts
    // then set the key; gotoNearest() moves to the first record whose key is
    // greater than or equal to it, or to the last record when none is.
    void setKey();
    void gotoNearest();

    // Calls `visit` with the field values of every stored record, in table field order
    // and in the order of the index in use, in one pass over the index: the way an
    // export reads the whole table. `visit` returns false to stop. The cursor stays.
    void forEachRecord(const std::function<bool(const QStringList &values)> &visit);
    // The same with what each record holds beside its fields, as an export writes it.
    void forEachRecordWithExtras(
        const std::function<bool(const QStringList &values, const ContactExtras &extras)> &visit);

    // Asks the bound controls to hand over text typed but not yet written.
    void updateRecord();

    // While disabled (calls nest), moves do not notify the bound controls; enabling
    // notifies them once when the record changed meanwhile. Long runs over every
    // record use this so that no window redraws per record.
    void disableControls();
    void enableControls();

signals:
    void dataSetChanged();        // the record moved or all its values changed
    void fieldChanged(int field); // one value of the record being edited changed
    void detailsChanged();        // the further values of the record being edited changed
    void stateChanged();
    void updateRecordRequested();

private:
    friend class TableBatch; // writes rows on this connection, as post() does

    struct Row
    {
        qint64 id = -1;
        QVector<QString> values;
        QVector<QByteArray> keys; // one per keyed field
        bool hasPrior = false;
        bool hasNext = false;
        // The neighbour is known to have another key: the move there seeks that key alone.
        bool priorOtherKey = false;
        bool nextOtherKey = false;
        // The file's data version when the row was read, where the engine tells it: while
        // it stands, what was read about the neighbours still holds.
        std::optional<quint32> version;
        bool keyMissing = false;
    };
    struct IndexInfo
    {
        QString name;
        int field = -1;   // the field it orders
        int keySlot = -1; // its key column among m_keyColumns
    };
    struct Statements;
    enum class Query {
        First,
        Last,
        NextSameKey,
        NextGreaterKey,
        PriorSameKey,
        PriorLesserKey,
        Nearest,
        ById
    };

    void openStructure();
    void loadStructure();
    QString indexedBy(const QString &index) const;
    int findIndex(const QString &name) const;
    Statements &statements(int index);
    QString selectList(int index, Query kind) const;
    // The statement in the slot, prepared from sql when empty; raises when it cannot be.
    QSqlQuery &postStatement(std::unique_ptr<QSqlQuery> &slot, const QString &sql);
    // Reads the record a positioning query finds; `id` and `key` are bound where the
    // query takes them (the key of the record moved from, or of the key sought).
    bool fetch(Query kind, Row *row, qint64 id = 0, const QByteArray &key = {});
    bool fetchOnce(Query kind, Row *row, qint64 id, const QByteArray &key, bool *keyMissing);
    void repairKeys();
    void walkRecords(
        bool withExtras,
        const std::function<bool(const QStringList &values, const ContactExtras &extras)> &visit);
    void setCurrent(const Row &row);
    void setEmpty();
    void repositionNear(const Row &gone);
    bool fetchNext(const Row &from, Row *row);
    bool fetchPrior(const Row &from, Row *row);
    QByteArray currentKey(const Row &row) const;
    void requireActive() const; // raises the engine's error on a closed table
    void requireBrowseMovable();
    QString storedValuesMatch(QVariantList *binds) const;
    bool rowExists(qint64 id) const;
    void setState(DataSetState state);
    void notifyDataSetChanged();
    void reconnectIfLost();
    // Another user changed or deleted the row with this id.
    void otherUserChanged(qint64 id);
    // After a commit that filled the write-ahead log, merges the search index's parts
    // with the statements given (see BackgroundUpkeep) and copies the log into the
    // file, without holding up this connection.
    void upkeepInBackground(const QStringList &mergeSteps, const QStringList &afterMerge);
    // Ends that work: a merge after its current step.
    void endUpkeep();

    QString m_databaseName;
    QString m_databaseFile;
    QString m_tableName;
    QString m_indexName = QStringLiteral("nind");
    int m_busyTimeout = 3000;
    std::function<void(int)> m_rebuildProgress;

    TableConnection m_link;
    bool m_deletedByOther = false; // the record on the card, as another user told
    QStringList m_fields;
    QStringList m_keyedFields;     // fields that carry a sort key column
    QVector<int> m_keySlotOfField; // per field: slot in m_keyedFields or -1
    QVector<IndexInfo> m_indexes;
    int m_index = -1;
    std::vector<std::unique_ptr<Statements>> m_statements;
    std::unique_ptr<SearchIndexWriter> m_searchWriter;
    std::unique_ptr<DetailStore> m_detailStore;
    // post()'s statements, prepared at their first use on the connection and kept: on a
    // server, preparing one and dropping it again are a round trip each.
    struct PostStatements
    {
        std::unique_ptr<QSqlQuery> insert;
        std::unique_ptr<QSqlQuery> update;
        std::unique_ptr<QSqlQuery> unmark;
    };
    std::unique_ptr<PostStatements> m_postStatements;
    std::optional<QList<ContactDetail>> m_detailsBuffer; // set while editing
    std::unique_ptr<BackgroundUpkeep> m_upkeep;
    std::optional<quint32> m_dataVersion; // after the last positioning query

    DataSetState m_state = DataSetState::Inactive;
    Row m_current;
    Row m_beforeInsert;
    QVector<QString> m_buffer;
    QString m_keyText;
    bool m_bookkeeping = false;
    int m_controlsDisabled = 0;
    bool m_changedWhileDisabled = false;
    bool m_empty = true;
    bool m_modified = false;
    bool m_bof = true;
    bool m_eof = true;
};
