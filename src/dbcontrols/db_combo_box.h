#pragma once

#include <QComboBox>

class FieldDataLink;
class TDataSource;

// Data-bound editable drop-down: an entry picked from the list or any typed text
// becomes the field's value.
class DBComboBox final : public QComboBox
{
    Q_OBJECT

public:
    explicit DBComboBox(const QString &name, const QString &field, QWidget *parent = nullptr);
    void setDataSource(TDataSource *source);
    FieldDataLink *dataLink() const { return m_link; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void show(const QString &text);
    void write(const QString &text);
    FieldDataLink *m_link;
    bool m_loading = false;
};
