#include "dbcontrols/db_text.h"

#include "dbcontrols/field_data_link.h"

DBText::DBText(const QString &name, const QString &field, QWidget *parent)
    : ClickLabel(QString(), parent), m_link(new FieldDataLink(this))
{
    setObjectName(name);
    setTextFormat(Qt::PlainText);
    setAccessibleName(field);
    m_link->setDataField(field);
    m_link->onShow = [this](const QString &text) {
        setText(text);
        if (m_autoSize)
            adjustSize();
    };
}

void DBText::setDataSource(TDataSource *source)
{
    m_link->setDataSource(source);
}
