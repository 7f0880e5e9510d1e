#pragma once

#include <QLineEdit>

class FieldDataLink;
class TDataSource;

// Data-bound one-line edit box: typing starts editing the current record and
// writes the field as the user types.
class DBEdit final : public QLineEdit
{
    Q_OBJECT

public:
    explicit DBEdit(const QString &name, const QString &field, QWidget *parent = nullptr);
    void setDataSource(TDataSource *source);
    FieldDataLink *dataLink() const { return m_link; }

    // The field's text as shown and edited: whole, even while a long one is cut for display.
    QString wholeText() const { return m_cut ? m_whole : text(); }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void show(const QString &text);
    // Puts the whole text in the box, or, while it has no focus, only the start that
    // its width shows of a long one: laying out a megabyte takes a fifth of a second.
    void display(const QString &text, bool whole);
    FieldDataLink *m_link;
    QString m_whole; // the whole text while the box holds a cut one
    bool m_cut = false;
};
