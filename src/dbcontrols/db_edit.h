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

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void show(const QString &text);
    FieldDataLink *m_link;
};
