#include "find/find_model.h"

#include "platform/errors.h"
#include "platform/widgets/dialogs.h"
#include "store/contact_count.h"
#include "store/search_words.h"
#include "store/table.h"

#include <QApplication>
#include <QPainter>
#include <QTextLayout>
#include <limits>

namespace {

// The table's fields behind the columns, by position in the 13 field values.
constexpr int kFields[] = {0, 1, 2, 4, 8, 10}; // Nazwa, Branza, Filia, Miasto, Tel, Email
// The columns whose start a search of beginnings matches.
constexpr int kStartColumns = 3;

// Occurrences of word in a projection of text (its folded or its digit characters),
// where origin[i] is the position in text of the projection's character i.
void addSpans(const QString &projection, const QList<int> &origin, const QString &word,
              QList<std::pair<int, int>> *spans)
{
    for (qsizetype at = projection.indexOf(word); at >= 0 && !word.isEmpty();
         at = projection.indexOf(word, at + 1)) {
        const int first = origin[at];
        spans->append({first, origin[at + word.size() - 1] + 1 - first});
    }
}

} // namespace

FindModel::FindModel(QObject *parent) : QAbstractTableModel(parent) {}

FindModel::~FindModel() = default;

void FindModel::search(const TTable *contacts, const QString &text)
{
    beginResetModel();
    m_rows.clear();
    m_done = true;
    m_text = text;
    m_words = ContactSearch::words(text);
    m_scope = ContactSearch::scopeFor(text);
    m_search.reset();
    if (contacts && contacts->active() && !m_words.isEmpty()) {
        m_search.emplace(contacts->database(), contacts->tableName());
        m_after = std::numeric_limits<qint64>::min();
        m_done = false;
        try {
            readOn(kPage, kFirstBudget, false);
        } catch (const KaxError &) {
            m_rows.clear();
            m_done = true;
            endResetModel();
            throw;
        }
    }
    endResetModel();
}

void FindModel::readOn(int limit, int budget, bool notify)
{
    const ContactSearch::Step step = m_search->scan(m_text, m_scope, m_after, limit, budget);
    m_after = step.after;
    m_done = step.done;
    if (step.matches.isEmpty())
        return;
    if (notify)
        beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + step.matches.size() - 1));
    m_rows << step.matches;
    if (notify)
        endInsertRows();
}

bool FindModel::searchMore()
{
    if (!searching())
        return false;
    try {
        readOn(kCountCap + 1 - int(m_rows.size()), kStepBudget, true);
    } catch (const KaxError &error) {
        m_done = true;
        reportError(error.message());
    }
    return searching();
}

qint64 FindModel::contactId(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows[row].id : -1;
}

QList<std::pair<int, int>> FindModel::matchedSpans(const QModelIndex &index) const
{
    QList<std::pair<int, int>> spans;
    const QString text = data(index, Qt::DisplayRole).toString();
    if (text.isEmpty())
        return spans;
    QString folded;
    QList<int> foldedOrigin;
    QString digits;
    QList<int> digitsOrigin;
    for (int i = 0; i < text.size(); ++i) {
        const QString piece = SearchIndex::fold(QString(text[i]));
        folded += piece;
        for (qsizetype k = 0; k < piece.size(); ++k)
            foldedOrigin << i;
        if (text[i].isDigit()) {
            digits += text[i];
            digitsOrigin << i;
        }
    }
    for (const QString &word : m_words) {
        if (m_scope == SearchScope::Beginnings) {
            if (index.column() < kStartColumns && folded.startsWith(word))
                spans.append({0, foldedOrigin[word.size() - 1] + 1});
            continue;
        }
        addSpans(folded, foldedOrigin, word, &spans);
        // A telephone number matches by its digits too.
        if (SearchIndex::digits(word) == word)
            addSpans(digits, digitsOrigin, word, &spans);
    }
    return spans;
}

int FindModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int FindModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(std::size(kFields));
}

QVariant FindModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows.size())
        return {};
    // Notes and addresses may hold line breaks; a cell shows one line.
    QString value = m_rows[index.row()].values.value(kFields[index.column()]);
    return value.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QVariant FindModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QStringList titles{QStringLiteral("Nazwa"),          QStringLiteral("Branża"),
                                    QStringLiteral("Przedstawiciel"), QStringLiteral("Miasto"),
                                    QStringLiteral("Telefon"),        QStringLiteral("e-mail")};
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal)
        return titles.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool FindModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !m_done;
}

void FindModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || m_done)
        return;
    try {
        readOn(kPage, kStepBudget, true);
    } catch (const KaxError &error) {
        m_done = true;
        reportError(error.message());
    }
}

void MatchDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

    const auto *model = qobject_cast<const FindModel *>(index.model());
    QList<QTextLayout::FormatRange> ranges;
    if (model) {
        QTextCharFormat marked;
        marked.setBackground(QColor(255, 222, 89));
        marked.setForeground(Qt::black);
        for (const auto &[start, length] : model->matchedSpans(index))
            ranges.append({start, length, marked});
    }
    QTextLayout layout(text, opt.font);
    layout.setFormats(ranges);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    const QRect area =
        style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget).adjusted(3, 0, -3, 0);
    const bool selected = opt.state & QStyle::State_Selected;
    painter->save();
    painter->setClipRect(area);
    painter->setPen(
        opt.palette.color(QPalette::Normal, selected ? QPalette::HighlightedText : QPalette::Text));
    layout.draw(painter, QPointF(area.left(), area.top() + (area.height() - line.height()) / 2));
    painter->restore();
}

QString contactCountText(int count, int cap)
{
    if (count > cap)
        return QStringLiteral("ponad %1 kontaktów").arg(cap);
    return contactCount(count);
}
