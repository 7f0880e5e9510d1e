#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include "store/data_source.h"
class TTable;

// Connects one control to one field of a data source: tells the control when to
// show the field again, and collects the control's typed text before the table
// moves or posts. Every data-bound control owns one; the application attaches the
// data source to controls created before the data module exists.
class FieldDataLink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FieldDataLink)

public:
    explicit FieldDataLink(QObject *control);

    void setDataSource(TDataSource *source);
    TDataSource *dataSource() const { return m_source; }
    void setDataField(const QString &field);
    QString dataField() const { return m_field; }

    TTable *table() const;
    bool active() const;
    // Whether the table is open for reading only: the control takes no typing then.
    bool readOnly() const;
    // The field's display text in the current record; empty when unbound.
    QString text() const;
    // Starts editing when needed and writes the text; false when the table cannot edit.
    bool writeText(const QString &text);

    // Called with the field's text whenever the control should show it again.
    std::function<void(const QString &)> onShow;
    // Called before the record moves or posts; the control writes pending text.
    std::function<void()> onUpdateData;
    // Called when the table's state changes (browse, edit, insert).
    std::function<void()> onStateChanged;

    // Shows every field of every bound control under root with this data source.
    static void attachAll(QObject *root, TDataSource *source);

private:
    void refresh();
    int fieldIndex() const;

    QPointer<TDataSource> m_source;
    QString m_field;
    bool m_writing = false;
};
