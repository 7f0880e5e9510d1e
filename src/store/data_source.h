#pragma once

#include <QObject>

class TTable;

// The data source `d1`: binds data-aware controls to a table. It passes on the
// table's notifications and, with automatic editing, puts the table into edit
// state when a control starts changing a value.
class TDataSource final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDataSource)

public:
    explicit TDataSource(QObject *parent = nullptr);

    void setDataSet(TTable *table);
    TTable *dataSet() const { return m_table; }
    void setAutoEdit(bool on) { m_autoEdit = on; }
    bool autoEdit() const { return m_autoEdit; }

    // Called by a control before it writes a value: starts editing when allowed.
    // Returns whether the table is now editing or inserting.
    bool edit();

signals:
    void dataSetChanged();
    void fieldChanged(int field);
    void stateChanged();
    // Controls holding typed text that has not reached the record hand it over now.
    void updateData();

private:
    TTable *m_table = nullptr;
    bool m_autoEdit = true;
};
