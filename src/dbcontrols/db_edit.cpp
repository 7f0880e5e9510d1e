#include "dbcontrols/db_edit.h"

#include "dbcontrols/field_data_link.h"

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
    if (QLineEdit::text() == text)
        return;
    const bool typing = hasFocus();
    const int cursor = cursorPosition();
    setText(text);
    if (typing)
        setCursorPosition(std::min(cursor, int(text.size())));
    else
        setCursorPosition(0);
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
