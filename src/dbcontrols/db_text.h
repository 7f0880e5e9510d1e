#pragma once

#include "dbcontrols/click_label.h"

#include <QFont>

class FieldDataLink;
class TDataSource;

// Data-bound text: shows one field of the current record; may be clicked. It is read
// out as its value, or, when that is empty, as its caption with the description "pusty".
class DBText final : public ClickLabel
{
    Q_OBJECT

public:
    explicit DBText(const QString &name, const QString &field, QWidget *parent = nullptr);
    void setDataSource(TDataSource *source);
    FieldDataLink *dataLink() const { return m_link; }
    // Sizes the label to its text, as a self-sizing value does, up to maxWidth: a
    // wider text, or one of more lines, is drawn shortened with "…" and shown whole
    // in the tooltip.
    void setAutoSize(bool on, int maxWidth = QWIDGETSIZE_MAX)
    {
        m_autoSize = on;
        m_maxAutoWidth = maxWidth;
    }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool drawsPlainLines() const;
    void fitToText();
    QRect textArea() const;

    FieldDataLink *m_link;
    bool m_autoSize = false;
    int m_maxAutoWidth = QWIDGETSIZE_MAX;
    bool m_elided = false; // wider than the room: drawn shortened
    // The start of each line of a long text, as much as can be seen, and what it is for.
    QString m_shown;
    QString m_shownFor;
    qreal m_shownWidth = 0;
    QFont m_shownFont;
};
