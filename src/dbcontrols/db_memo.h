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
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void show(const QString &text);
    // Puts text in the memo without taking it for typing.
    void load(const QString &display);
    // Loads the rest of a long text whose first lines alone were shown.
    void loadRest();

    FieldDataLink *m_link;
    QTimer m_idle;
    bool m_loading = false;
    bool m_pending = false;
    // A long text is shown by its first lines at once and whole right after the move,
    // so that the card appears without waiting for a megabyte to be laid out.
    QTimer m_rest;
    QString m_restText; // the whole text while only its first lines are shown, else null
};
