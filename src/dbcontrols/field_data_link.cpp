#include "dbcontrols/field_data_link.h"

#include "store/data_source.h"
#include "store/table.h"

FieldDataLink::FieldDataLink(QObject *control) : QObject(control)
{
    setObjectName(QStringLiteral("dataLink"));
}

void FieldDataLink::setDataSource(TDataSource *source)
{
    if (m_source == source)
        return;
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source) {
        connect(m_source, &TDataSource::dataSetChanged, this, &FieldDataLink::refresh);
        connect(m_source, &TDataSource::fieldChanged, this, [this](int field) {
            if (!m_writing && field == fieldIndex())
                refresh();
        });
        connect(m_source, &TDataSource::stateChanged, this, [this] {
            if (onStateChanged)
                onStateChanged();
        });
        connect(m_source, &TDataSource::updateData, this, [this] {
            if (onUpdateData)
                onUpdateData();
        });
    }
    refresh();
}

void FieldDataLink::setDataField(const QString &field)
{
    m_field = field;
    refresh();
}

TTable *FieldDataLink::table() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

bool FieldDataLink::active() const
{
    const TTable *t = table();
    return t && t->active();
}

bool FieldDataLink::readOnly() const
{
    const TTable *t = table();
    return t && t->active() && t->readOnly();
}

int FieldDataLink::fieldIndex() const
{
    const TTable *t = table();
    return t && t->active() ? t->fieldIndex(m_field) : -1;
}

QString FieldDataLink::text() const
{
    const TTable *t = table();
    if (!t || !t->active() || m_field.isEmpty())
        return {};
    return t->fieldText(t->fieldIndexChecked(m_field));
}

bool FieldDataLink::writeText(const QString &text)
{
    if (!m_source || !active() || m_field.isEmpty())
        return false;
    // The control already shows the text: starting the edit (on an empty table, a new
    // record) must not redraw it with the old value before the text is written.
    m_writing = true;
    try {
        if (!m_source->edit()) {
            m_writing = false;
            return false;
        }
        TTable *t = table();
        t->setFieldText(t->fieldIndexChecked(m_field), text);
    } catch (...) {
        m_writing = false;
        throw;
    }
    m_writing = false;
    return true;
}

void FieldDataLink::refresh()
{
    if (onShow && !m_writing)
        onShow(text());
}

void FieldDataLink::attachAll(QObject *root, TDataSource *source)
{
    const auto links = root->findChildren<FieldDataLink *>();
    for (FieldDataLink *link : links)
        link->setDataSource(source);
}
