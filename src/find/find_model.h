#pragma once

#include "store/search_index.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <optional>

class TTable;

// The contacts a search text matches, as table rows fetched a page at a time while
// the view scrolls, and the capped count of them.
class FindModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FindModel)

public:
    // Rows read at a time, and how far the count goes ("ponad 1000").
    static constexpr int kPage = 50;
    static constexpr int kCountCap = 1000;

    explicit FindModel(QObject *parent = nullptr);
    ~FindModel() override;

    // Searches the table for text: the first page and the count. An empty text, or
    // no table, gives no rows. Raises DatabaseError.
    void search(const TTable *contacts, const QString &text);
    // The number of matches, up to kCountCap + 1 (more than kCountCap).
    int matchCount() const { return m_count; }
    qint64 contactId(int row) const;
    // The stretches of a cell's text that the search matched, as (start, length).
    QList<std::pair<int, int>> matchedSpans(const QModelIndex &index) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    std::optional<ContactSearch> m_search;
    QString m_text;
    QStringList m_words; // folded
    SearchScope m_scope = SearchScope::All;
    QList<ContactMatch> m_rows;
    bool m_more = false;
    int m_count = 0;
};

// Paints a results cell with the matched stretches of its text highlighted.
class MatchDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};

// The Polish count of contacts: "1 kontakt", "3 kontakty", "5 kontaktów", and
// "ponad 1000 kontaktów" above the cap.
QString contactCountText(int count, int cap);
