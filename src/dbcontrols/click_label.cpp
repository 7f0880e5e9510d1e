#include "dbcontrols/click_label.h"

#include <QMouseEvent>

ClickLabel::ClickLabel(const QString &text, QWidget *parent) : QLabel(text, parent) {}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
