#include "forms/search_row.h"

#include "store/incremental_search.h"

#include <QEvent>
#include <QLineEdit>

namespace {

// A search box: its kind, its object name and the name read out for it.
struct BoxName
{
    SearchKind kind;
    const char *name;
    const char *accessibleName;
};

constexpr BoxName boxNames[] = {
    {SearchKind::Name, "n1", "Szukaj nazwą"},
    {SearchKind::Branch, "b1", "Szukaj branżą"},
    {SearchKind::Representative, "p1", "Szukaj przedstawiciela"},
};

std::size_t indexOf(SearchKind kind)
{
    return static_cast<std::size_t>(kind);
}

} // namespace

void SearchRow::create(QWidget *parent, const QRect &where, QObject *watcher)
{
    for (const BoxName &each : boxNames) {
        auto *edit = new QLineEdit(parent);
        edit->setObjectName(QLatin1String(each.name));
        edit->setAccessibleName(QString::fromUtf8(each.accessibleName));
        edit->setGeometry(where);
        edit->hide();
        if (watcher)
            edit->installEventFilter(watcher);
        m_boxes[indexOf(each.kind)] = edit;
    }
}

QLineEdit *SearchRow::box(SearchKind kind) const
{
    return m_boxes[indexOf(kind)];
}

std::optional<SearchKind> SearchRow::kindOf(const QObject *watched) const
{
    for (const BoxName &each : boxNames) {
        if (watched && watched == box(each.kind))
            return each.kind;
    }
    return std::nullopt;
}

std::optional<SearchKind> SearchRow::typedIn(const QObject *watched, const QEvent *event)
{
    const std::optional<SearchKind> kind = kindOf(watched);
    if (!kind)
        return std::nullopt;
    switch (event->type()) {
    case QEvent::KeyPress:
        m_pressed = true;
        break;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        m_pressed = false;
        break;
    case QEvent::KeyRelease:
        if (m_pressed)
            return kind;
        break;
    default:
        break;
    }
    return std::nullopt;
}

void SearchRow::clear() const
{
    for (QLineEdit *each : m_boxes)
        each->clear();
}

void SearchRow::open(SearchKind kind) const
{
    clear();
    for (QLineEdit *each : m_boxes)
        each->setVisible(each == box(kind));
}

void SearchRow::close() const
{
    clear();
    for (QLineEdit *each : m_boxes)
        each->hide();
}

void SearchRow::search(SearchKind kind, TTable *contacts) const
{
    if (contacts)
        incrementalSearch(*contacts, kind, box(kind)->text());
}
