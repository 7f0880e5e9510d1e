#pragma once

#include "store/contact_search.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <optional>

class TTable;

// The contacts a search text matches, as table rows read a part at a time: the first
// page at once, the rest in steps of a few milliseconds (searchMore(), until the count
// passes its cap) and as the view scrolls, so that neither typing nor scrolling waits
// for a search that reads far.
class FindModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FindModel)

public:
    // Rows read at a time, and how far the count goes ("ponad 1000").
    static constexpr int kPage = 50;
    static constexpr int kCountCap = 1000;
    // Milliseconds a step of reading takes at most, about: the first page, and each
    // step after it. The first is read between a key and the list's repaint.
    static constexpr int kFirstBudget = 4;
    static constexpr int kStepBudget = 4;

    explicit FindModel(QObject *parent = nullptr);
    ~FindModel() override;

    // Searches the table for text, reading for up to kFirstBudget. An empty text, or
    // no table, gives no rows. Raises DatabaseError.
    void search(const TTable *contacts, const QString &text);
    // Reads on for up to kStepBudget; whether the count is still short of its end.
    bool searchMore();
    bool searching() const { return !m_done && m_rows.size() <= kCountCap; }
    // The number of matches read so far; more than kCountCap when there are more.
    int matchCount() const { return int(m_rows.size()); }
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
    void readOn(int limit, int budget, bool notify);

    QList<ContactMatch> m_rows;
    qint64 m_after = 0; // the id the search carries on from
    bool m_done = true;
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
