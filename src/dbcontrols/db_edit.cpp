#include "dbcontrols/db_edit.h"

#include "dbcontrols/field_data_link.h"
#include "dbcontrols/visible_text.h"

#include <QFocusEvent>
#include <QScreen>
#include <QShowEvent>

DBEdit::DBEdit(const QString &name, const QString &field, QWidget *parent)
    : QLineEdit(parent), m_link(new FieldDataLink(this))
{
    setObjectName(name);
    setMaxLength(std::numeric_limits<int>::max());
    setEchoMode(NoEcho); // hidden until shown: see showEvent
    m_link->setDataField(field);
    m_link->onShow = [this](const QString &text) { show(text); };
    connect(this, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (!m_link->writeText(text))
            show(m_link->text()); // the table cannot edit: keep showing the stored value
    });
}

void DBEdit::setDataSource(TDataSource *source)
{
    m_link->setDataSource(source);
}

void DBEdit::show(const QString &text)
{
    if (m_link->readOnly())
        setReadOnly(true); // a book that cannot be written takes no typing
    if (wholeText() == text)
        return;
    const bool typing = hasFocus();
    const int cursor = cursorPosition();
    display(text, typing);
    if (typing)
        setCursorPosition(std::min(cursor, int(text.size())));
    else
        setCursorPosition(0);
}

void DBEdit::display(const QString &text, bool whole)
{
    // The box shows its text from the start while it has no focus; however wide it
    // grows, it stays within its screen.
    const qreal width = screen() ? screen()->geometry().width() : 4096;
    const qsizetype shown =
        whole ? text.size() : VisibleText::oneLineStart(text, QFontMetricsF(font()), width);
    const QString all = text; // `text` may be m_whole itself
    m_cut = shown < all.size();
    m_whole = m_cut ? all : QString();
    setText(m_cut ? all.left(shown) : all);
}

void DBEdit::focusInEvent(QFocusEvent *event)
{
    if (m_cut) { // the whole text, before the click that focused places the cursor
        display(m_whole, true);
        setCursorPosition(0);
    }
    QLineEdit::focusInEvent(event);
}

void DBEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // A menu or popup of the box takes the focus for a moment only.
    if (event->reason() != Qt::PopupFocusReason && text().size() >= VisibleText::kLongText) {
        display(text(), false);
        setCursorPosition(0);
    }
}

// A box lays out its whole text for display, a fifth of a second for a megabyte,
// and the windows keep hidden boxes bound to the record. While the box is hidden
// it displays nothing, so it lays out nothing; its text stays whole all along.
void DBEdit::showEvent(QShowEvent *event)
{
    setEchoMode(Normal);
    QLineEdit::showEvent(event);
}

void DBEdit::hideEvent(QHideEvent *event)
{
    QLineEdit::hideEvent(event);
    if (!isVisible())
        setEchoMode(NoEcho);
}
