#include "store/data_source.h"

#include "store/table.h"

TDataSource::TDataSource(QObject *parent) : QObject(parent) {}

void TDataSource::setDataSet(TTable *table)
{
    if (m_table == table)
        return;
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    m_table = table;
    if (m_table) {
        connect(m_table, &TTable::dataSetChanged, this, &TDataSource::dataSetChanged);
        connect(m_table, &TTable::fieldChanged, this, &TDataSource::fieldChanged);
        connect(m_table, &TTable::stateChanged, this, &TDataSource::stateChanged);
        connect(m_table, &TTable::updateRecordRequested, this, &TDataSource::updateData);
    }
    emit dataSetChanged();
    emit stateChanged();
}

bool TDataSource::edit()
{
    if (!m_table || !m_table->active())
        return false;
    if (m_autoEdit && !m_table->editing())
        m_table->edit();
    return m_table->editing();
}
