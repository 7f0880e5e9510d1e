#include "info/info_picture.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QWidget>

QPixmap renderPicture(const QString &resource, QSize size, const QWidget *widget)
{
    QSvgRenderer renderer(resource);
    if (!renderer.isValid())
        return {};
    const qreal ratio = widget ? widget->devicePixelRatioF() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.setAspectRatioMode(Qt::IgnoreAspectRatio);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}
