#pragma once

#include "dbcontrols/click_label.h"

class FieldDataLink;
class TDataSource;

// Data-bound text: shows one field of the current record; may be clicked.
class DBText final : public ClickLabel
{
    Q_OBJECT

public:
    explicit DBText(const QString &name, const QString &field, QWidget *parent = nullptr);
    void setDataSource(TDataSource *source);
    FieldDataLink *dataLink() const { return m_link; }
    // Widens the label to its text, as a self-sizing value does.
    void setAutoSize(bool on) { m_autoSize = on; }

private:
    FieldDataLink *m_link;
    bool m_autoSize = false;
};
