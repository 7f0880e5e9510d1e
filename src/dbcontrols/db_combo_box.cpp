#include "dbcontrols/db_combo_box.h"

#include "dbcontrols/field_data_link.h"

#include <QLineEdit>
#include <QShowEvent>

DBComboBox::DBComboBox(const QString &name, const QString &field, QWidget *parent)
    : QComboBox(parent), m_link(new FieldDataLink(this))
{
    setObjectName(name);
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(16);
    // Completion would replace typed text with a list entry; the field takes text as typed.
    setCompleter(nullptr);
    lineEdit()->setEchoMode(QLineEdit::NoEcho); // hidden until shown, as a DBEdit
    m_link->setDataField(field);
    m_link->onShow = [this](const QString &text) { show(text); };
    connect(lineEdit(), &QLineEdit::textEdited, this, &DBComboBox::write);
    connect(this, &QComboBox::activated, this, [this](int index) { write(itemText(index)); });
}

void DBComboBox::setDataSource(TDataSource *source)
{
    m_link->setDataSource(source);
}

void DBComboBox::write(const QString &text)
{
    if (m_loading)
        return;
    if (m_link->readOnly() || !m_link->writeText(text))
        show(m_link->text());
}

void DBComboBox::show(const QString &text)
{
    if (m_link->readOnly())
        lineEdit()->setReadOnly(true); // a book that cannot be written takes no typing
    if (currentText() == text)
        return;
    m_loading = true;
    setEditText(text);
    m_loading = false;
}

// As a DBEdit: the edit text is laid out for display only while the box is shown.
void DBComboBox::showEvent(QShowEvent *event)
{
    if (QLineEdit *edit = lineEdit())
        edit->setEchoMode(QLineEdit::Normal);
    QComboBox::showEvent(event);
}

void DBComboBox::hideEvent(QHideEvent *event)
{
    QComboBox::hideEvent(event);
    if (QLineEdit *edit = lineEdit(); edit && !isVisible())
        edit->setEchoMode(QLineEdit::NoEcho);
}
