#include "reports/preview_pictures.h"

#include "forms/form_style.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace PreviewPictures {

namespace {

void drawSheet(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    for (qreal y = r.top() + 3; y < r.bottom() - 1; y += 2.5)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

void drawTriangle(QPainter &p, qreal x, qreal pointing)
{
    QPainterPath path;
    path.moveTo(x, 10);
    path.lineTo(x - 6 * pointing, 4);
    path.lineTo(x - 6 * pointing, 16);
    path.closeSubpath();
    p.fillPath(path, QColor(0x10, 0x30, 0x80));
}

void drawPrinter(QPainter &p)
{
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5.5, 2.5, 9, 6));
    p.setBrush(QColor(0xb0, 0xb0, 0xb0));
    p.drawRect(QRectF(2.5, 8.5, 15, 6));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5.5, 12.5, 9, 5));
}

} // namespace

QIcon glyphIcon(int glyph)
{
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor blue(0x10, 0x30, 0x80);
    switch (glyph) {
    case GlyphFit:
        drawSheet(p, QRectF(5.5, 1.5, 9, 17));
        break;
    case Glyph100: {
        p.setFont(FormStyle::arial(10, true));
        p.setPen(blue);
        p.drawText(QRectF(0, 0, kIconSize, kIconSize), Qt::AlignCenter, QStringLiteral("1:1"));
        break;
    }
    case GlyphWidth:
        drawSheet(p, QRectF(1.5, 4.5, 17, 13));
        p.setPen(QPen(blue, 1.5));
        p.drawLine(QPointF(3, 2), QPointF(17, 2));
        break;
    case GlyphFirst:
        p.fillRect(QRectF(4, 4, 2, 12), blue);
        drawTriangle(p, 7, -1);
        break;
    case GlyphPrevious:
        drawTriangle(p, 7, -1);
        break;
    case GlyphNext:
        drawTriangle(p, 13, 1);
        break;
    case GlyphLast:
        drawTriangle(p, 13, 1);
        p.fillRect(QRectF(14, 4, 2, 12), blue);
        break;
    case GlyphSetup:
        drawPrinter(p);
        p.setPen(QPen(blue, 2));
        p.drawLine(QPointF(14, 18), QPointF(19, 13));
        break;
    case GlyphPrint:
        drawPrinter(p);
        break;
    case GlyphSave:
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(blue);
        p.drawRect(QRectF(2.5, 2.5, 15, 15));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5.5, 2.5, 9, 6));
        p.setBrush(QColor(0xd0, 0xd0, 0xd0));
        p.drawRect(QRectF(5.5, 11.5, 9, 6));
        break;
    case GlyphLoad:
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(0xe8, 0xc0, 0x50));
        p.drawRect(QRectF(1.5, 5.5, 15, 11));
        p.setBrush(QColor(0xf8, 0xd8, 0x70));
        p.drawPolygon(QPolygonF(
            {QPointF(4.5, 8.5), QPointF(18.5, 8.5), QPointF(15.5, 16.5), QPointF(1.5, 16.5)}));
        break;
    case GlyphPdf: {
        // A sheet with a folded corner and a red "PDF" band across it.
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(3.5, 1.5), QPointF(12.5, 1.5), QPointF(16.5, 5.5),
                                 QPointF(16.5, 18.5), QPointF(3.5, 18.5)}));
        p.drawPolyline(QPolygonF({QPointF(12.5, 1.5), QPointF(12.5, 5.5), QPointF(16.5, 5.5)}));
        p.fillRect(QRectF(1, 9, 18, 7), QColor(0xc0, 0x10, 0x10));
        p.setFont(FormStyle::arial(7, true));
        p.setPen(Qt::white);
        p.drawText(QRectF(1, 9, 18, 7), Qt::AlignCenter, QStringLiteral("PDF"));
        break;
    }
    default:
        break;
    }
    return QIcon(pixmap);
}

} // namespace PreviewPictures
