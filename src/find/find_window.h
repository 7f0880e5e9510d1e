#pragma once

#include "forms/form.h"

#include <QMargins>
#include <QRect>
#include <functional>

class FindModel;
class QLabel;
class QLineEdit;
class QTableView;
class QTimer;
class TTable;

// The window "Znajdź": a search box whose text is looked for in every field of every
// contact as it is typed, the matching contacts as a list with the matches marked,
// and their count. Enter or a double click makes a contact the current record of
// the shared cursor; the window stays open, and Esc hides it.
class TFindWindow final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFindWindow)

public:
    explicit TFindWindow(QWidget *parent = nullptr);
    ~TFindWindow() override;

    // The contact table searched, and moved to the contact opened, once it is open.
    void setContacts(std::function<TTable *()> contacts) { m_contacts = std::move(contacts); }
    // The place on the screen that the window leaves in sight when it opens (the main
    // window's card, where Enter shows the contact); an empty place when there is none.
    void setKeepInSight(std::function<QRect()> area) { m_keepInSight = std::move(area); }
    // Where a window of `preferred` client size, and at least `minimum`, opens on
    // `screen` beside `keep` (right of it, below it or left of it, whichever leaves the
    // window largest) with `frame` around its client area: its client geometry, or
    // none when no side has the room.
    static QRect placeBeside(const QRect &keep, const QRect &screen, QSize preferred, QSize minimum,
                             const QMargins &frame);
    // Makes the contact of the list's current row (or its first) the current record.
    void openCurrent();
    // Searches for the box's text now, rather than once the typing has stopped.
    void searchNow();
    FindModel *model() const { return m_model; }

    QLineEdit *Szukaj;
    QTableView *Wyniki;
    QLabel *Stan;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    TTable *contacts() const { return m_contacts ? m_contacts() : nullptr; }

    void placeBesideKept();

    std::function<TTable *()> m_contacts;
    std::function<QRect()> m_keepInSight;
    FindModel *m_model;
    void showCount();

    QString m_failure; // the search's error on show, told once while it lasts
    QTimer *m_typed;   // coalesces the changes of one pass of the event loop
    QTimer *m_more;    // reads on between events until the count is known
};
