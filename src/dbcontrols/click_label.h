#pragma once

#include <QLabel>

// A label that reports clicks, for the clickable captions of the cards.
class ClickLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickLabel(const QString &text = QString(), QWidget *parent = nullptr);
    // Hand cursor and underlined type in the given colour, as the card's links look.
    void makeLink(const QColor &colour);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
