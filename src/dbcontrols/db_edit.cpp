#include "dbcontrols/db_edit.h"

#include "dbcontrols/field_data_link.h"

DBEdit::DBEdit(const QString &name, const QString &field, QWidget *parent)
    : QLineEdit(parent), m_link(new FieldDataLink(this))
{
    setObjectName(name);
    setMaxLength(std::numeric_limits<int>::max());
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
