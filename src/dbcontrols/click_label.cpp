#include "dbcontrols/click_label.h"

#include <QMouseEvent>

ClickLabel::ClickLabel(const QString &text, QWidget *parent) : QLabel(text, parent) {}

void ClickLabel::makeLink(const QColor &colour)
{
    setCursor(Qt::PointingHandCursor);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
