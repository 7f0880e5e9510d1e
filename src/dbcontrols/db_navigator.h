#pragma once

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class QToolButton;
#include "store/data_source.h"

// Data-bound navigator: a row of flat picture buttons that move through and
// change the records of its data source. Buttons that cannot act in the table's
// state are disabled.
class DBNavigator final : public QWidget
{
    Q_OBJECT

public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
    static constexpr int kButtonCount = 10;

    DBNavigator(const QString &name, const QList<Button> &visible, QWidget *parent = nullptr);

    void setDataSource(TDataSource *source);
    TDataSource *dataSource() const { return m_source; }
    // Hints in button order (First … Refresh); also the buttons' accessible names.
    void setHints(const QStringList &hints);
    QToolButton *button(Button which) const { return m_buttons[which]; }
    static QString buttonObjectName(Button which);
    // Whether Delete asks "Delete record?" first (it does by default).
    void setConfirmDelete(bool on) { m_confirmDelete = on; }
    // Runs a button's action, as a click would.
    void btnClick(Button which);

private:
    void updateButtons();

    QPointer<TDataSource> m_source;
    QToolButton *m_buttons[kButtonCount] = {};
    bool m_confirmDelete = true;
};
