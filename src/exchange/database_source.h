#pragma once

#include "exchange/import_source.h"

#include <QSqlError>
#include <QStringList>
#include <limits>
#include <memory>

class QSqlQuery;

namespace ContactImport {

class ReadOnlyConnection;

// The contacts of another Kartax2000 database in id order, exactly as stored, read a
// batch of rows at a time by id so that a large table is never held in memory. Fields
// the file's table lacks stay empty. Where the file has the tables of further values
// and card data, each contact carries its further values, UID and kept vCard lines. check() runs
// first, on the calling thread; the reading thread then opens a connection of its own, as Qt's
// connections stay on the thread that made them.
class DatabaseSource final : public Source
{
public:
    explicit DatabaseSource(const QString &path);
    ~DatabaseSource() override;

    // Whether the file holds the contact table; finds which fields it has and counts
    // its rows. Returns the error otherwise.
    QString check();

    bool readNext(ContactRecord *record) override;
    QString error() const override { return m_error; }
    qint64 errorLine() const override { return m_read + 1; }
    qint64 lineNumber() const override { return m_read; }
    int percent() const override
    {
        // Rows written after the count must not take the bar past its end.
        return int(std::min<qint64>(99, m_read * 100 / std::max<qint64>(1, m_count)));
    }
    void finish() override;

private:
    static constexpr int kRows = 512;

    // Opens the reading thread's connection and the first batch, in one read
    // transaction, so that every batch sees the file as it was at the start.
    bool begin();
    bool stop(const QSqlError &error = {});
    // Reads, in order of the contact ids they belong to, rows of further values or of
    // card data beside the contacts' own rows; nullptr when the file has no such table.
    std::unique_ptr<QSqlQuery> beside(const QString &table, const QString &columns,
                                      const QString &order);
    // Moves `rows` past the rows of contacts before `id` and passes the rows of `id` to
    // `take`; false when the rows could not be read.
    template<typename Take> bool rowsOf(QSqlQuery *rows, bool *onRow, qint64 id, Take take);

    QString m_path;
    QString m_error;
    QStringList m_fields;                 // quoted, as the select names them
    RecordPlaces m_places{QStringList()}; // the record field of each
    qint64 m_count = 0;
    qint64 m_read = 0;
    qint64 m_lastId = std::numeric_limits<qint64>::min();
    int m_inBatch = 0;
    bool m_done = false;
    bool m_hasDetails = false; // the file has "<table>_details"
    bool m_hasCard = false;    // and "<table>_card"
    bool m_onDetail = false;   // m_details stands on a row not yet taken
    bool m_onCard = false;
    std::unique_ptr<ReadOnlyConnection> m_connection;
    std::unique_ptr<QSqlQuery> m_select; // on m_connection, so these end first
    std::unique_ptr<QSqlQuery> m_details;
    std::unique_ptr<QSqlQuery> m_card;
};

} // namespace ContactImport
