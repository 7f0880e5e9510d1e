#pragma once

#include <QRect>
#include <array>
#include <optional>

class QEvent;
class QLineEdit;
class QObject;
class QWidget;
class TTable;
enum class SearchKind;

// The boxes of a window's search row: by name (n1), by branch (b1) and by
// representative (p1), one over another, at most one of them shown; what is typed
// in a box finds the nearest contact. The window keeps its own buttons and captions.
class SearchRow final
{
public:
    // Creates the three boxes on parent, hidden, all at `where`; a watcher given is
    // installed as their event filter.
    void create(QWidget *parent, const QRect &where, QObject *watcher = nullptr);

    QLineEdit *box(SearchKind kind) const;
    // The kind of the box `watched`; none when it is not one of the boxes.
    std::optional<SearchKind> kindOf(const QObject *watched) const;

    // The kind of the box when `event` on `watched` is a key released in it that was
    // typed there: the box had the key's press since it took the focus. A release whose
    // press went to another window (Esc that closed it) is not typing and gives none.
    // The window's event filter passes every event of the boxes here.
    std::optional<SearchKind> typedIn(const QObject *watched, const QEvent *event);

    // Empties every box.
    void clear() const;
    // Empties every box and shows only the one of that kind.
    void open(SearchKind kind) const;
    // Empties and hides every box.
    void close() const;
    // Moves the contacts, when they are open, to the nearest key of the text in the
    // box of that kind.
    void search(SearchKind kind, TTable *contacts) const;

private:
    // The boxes by name, by branch and by representative, in the order of SearchKind.
    std::array<QLineEdit *, 3> m_boxes{};
    bool m_pressed = false; // a key was pressed in the focused box
};
