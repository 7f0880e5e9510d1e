#pragma once

#include <QPlainTextEdit>
#include <QTimer>

class FieldDataLink;
class TDataSource;

// Data-bound memo for a notes field. Typing starts editing the record; the text
// reaches the record when the user pauses, leaves the memo, or the record moves
// or posts, so long notes stay responsive to type in.
class DBMemo final : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit DBMemo(const QString &name, const QString &field, QWidget *parent = nullptr);
    void setDataSource(TDataSource *source);
    FieldDataLink *dataLink() const { return m_link; }
    // Hands typed text to the record now.
    void updateData();

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    void show(const QString &text);

    FieldDataLink *m_link;
    QTimer m_idle;
    bool m_loading = false;
    bool m_pending = false;
};
