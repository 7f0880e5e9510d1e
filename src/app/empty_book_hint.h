#pragma once

#include <QObject>

class QLabel;
class QWidget;
class TDataSource;

// The hint on the main window's card while the address book is empty: how to add a
// contact or import contacts, shown where the name and its neighbours would stand.
class EmptyBookHint final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EmptyBookHint)

public:
    // On `card` (the main window's frame "Panel2"), following the data source.
    EmptyBookHint(QWidget *card, TDataSource *source);

    static QString text();
    bool isShown() const;

private:
    void update();

    QLabel *m_label;
    TDataSource *m_source;
};
