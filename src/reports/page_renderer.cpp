#include "reports/page_renderer.h"

#include "platform/errors.h"

#include <QPagedPaintDevice>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {
// Drawing unit: a hundredth of a millimetre.
constexpr double kUnitsPerMm = 100.0;
constexpr QRgb kPaper = 0xffffffff;

#ifdef __GLIBC__
// PDF output allocates and frees buffers of ten megabytes for every page (to compress
// the page's stream), of which it touches a few kilobytes. Served by the heap rather
// than mapped and unmapped each time, they cost nothing; mapped, the faults and
// unmapping cost more than drawing the page.
void keepPageBuffers()
{
    static const bool done = [] {
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
        return true;
    }();
    Q_UNUSED(done);
}
#else
void keepPageBuffers() {}
#endif

QRectF unitRect(const PageItem &item)
{
    return QRectF(item.x * kUnitsPerMm, item.y * kUnitsPerMm, item.width * kUnitsPerMm,
                  item.height * kUnitsPerMm);
}
} // namespace

const QFont &PageRenderer::font(int style, int deviceDpi)
{
    const qint64 key = (qint64(deviceDpi) << 16) | style;
    auto found = m_fonts.find(key);
    if (found == m_fonts.end()) {
        // A size in points that gives the font its height in drawing units on this device.
        const ItemStyle &s = m_styles.at(style);
        const qreal points = s.pointSize * (25.4 * kUnitsPerMm) / std::max(1, deviceDpi);
        found = m_fonts.insert(key, s.font(points));
    }
    return found.value();
}

void PageRenderer::render(QPainter &painter, const PreparedPage &page, const QRectF &target)
{
    const int dpi = painter.device() ? painter.device()->logicalDpiY() : 96;
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / (page.width * kUnitsPerMm),
                  target.height() / (page.height * kUnitsPerMm));
    QRectF bounds;
    for (const PageItem &item : page.items)
        bounds |= unitRect(item);
    m_drawn.reset(bounds, qsizetype(page.items.size()));
    for (const PageItem &item : page.items) {
        const ItemStyle &style = m_styles.at(item.style);
        const QRectF rect = unitRect(item);
        const bool hasText = item.kind == PageItem::Kind::Text && !item.text.isEmpty();
        // Paper is white: a white fill over a part of the page that nothing has been
        // drawn on yet changes nothing and is left out, which keeps printer and PDF
        // output small.
        if (style.filled && (style.fillColor != kPaper || m_drawn.intersects(rect)))
            painter.fillRect(rect, QColor::fromRgba(style.fillColor));
        if ((style.filled && style.fillColor != kPaper) || style.frameSides)
            m_drawn.add(rect);
        else if (hasText) // the ink only: line spacing below it is left blank
            m_drawn.add(
                QRectF(rect.left(), rect.top(), rect.width(),
                       std::min(rect.height(), (style.ascent + style.descent) * kUnitsPerMm)));
        if (style.frameSides) {
            QPen pen(QColor::fromRgba(style.frameColor));
            pen.setWidthF(style.frameWidth * kUnitsPerMm);
            pen.setCapStyle(Qt::SquareCap);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            if (style.frameSides & ItemStyle::Left)
                painter.drawLine(rect.topLeft(), rect.bottomLeft());
            if (style.frameSides & ItemStyle::Top)
                painter.drawLine(rect.topLeft(), rect.topRight());
            if (style.frameSides & ItemStyle::Right)
                painter.drawLine(rect.topRight(), rect.bottomRight());
            if (style.frameSides & ItemStyle::Bottom)
                painter.drawLine(rect.bottomLeft(), rect.bottomRight());
        }
        if (!hasText)
            continue;
        painter.setFont(font(item.style, dpi));
        painter.setPen(QColor::fromRgba(style.textColor));
        const QPointF origin(rect.left() + item.textX * kUnitsPerMm,
                             rect.top() + style.ascent * kUnitsPerMm);
        if (item.flags & PageItem::Clip) {
            painter.save();
            painter.setClipRect(rect, Qt::IntersectClip);
            painter.drawText(origin, item.text);
            painter.restore();
        } else {
            painter.drawText(origin, item.text);
        }
    }
    painter.restore();
}

DevicePageSink::DevicePageSink(QPagedPaintDevice &device, std::function<bool(int)> includes)
    : m_device(device), m_includes(std::move(includes))
{
    keepPageBuffers();
}

DevicePageSink::~DevicePageSink()
{
    if (m_painter.isActive())
        m_painter.end();
}

void DevicePageSink::addPage(const PreparedPage &page)
{
    ++m_produced;
    if (m_includes && !m_includes(m_produced))
        return;
    PageOutput::setPageSize(m_device, page.width, page.height);
    if (m_sent == 0) {
        if (!m_painter.begin(&m_device))
            throw KaxError(QStringLiteral("Cannot start printing"));
    } else if (!m_device.newPage()) {
        throw KaxError(QStringLiteral("Cannot start a new page"));
    }
    const QRectF target(0, 0, page.width / 25.4 * m_device.logicalDpiX(),
                        page.height / 25.4 * m_device.logicalDpiY());
    m_renderer.render(m_painter, page, target);
    ++m_sent;
}

bool DevicePageSink::finish()
{
    return !m_painter.isActive() || m_painter.end();
}

namespace PageOutput {

void setPageSize(QPagedPaintDevice &device, double width, double height)
{
    const QPageLayout::Orientation orientation =
        width > height ? QPageLayout::Landscape : QPageLayout::Portrait;
    const QSizeF portrait(std::min(width, height), std::max(width, height));
    const QPageSize size(portrait, QPageSize::Millimeter);
    if (QPrinter *printer = dynamic_cast<QPrinter *>(&device))
        printer->setFullPage(true);
    device.setPageLayout(QPageLayout(size, orientation, QMarginsF(), QPageLayout::Millimeter));
}

IoResult writePdf(const PreparedPages &pages, const QString &path,
                  const std::function<bool(int)> &includes)
{
    IoResult result;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    {
        QPdfWriter writer(&file);
        writer.setTitle(pages.title);
        writer.setCreator(QStringLiteral("Kartax2000"));
        DevicePageSink sink(writer, includes);
        sink.styles() = pages.styles();
        try {
            for (int i = 0; i < pages.pageCount(); ++i)
                sink.addPage(pages.page(i));
        } catch (const KaxError &error) {
            result.error = error.message();
        }
        if (result.error.isEmpty() && sink.pagesSent() == 0)
            result.error = QStringLiteral("Żadna strona nie należy do wybranego zakresu.");
        if (!sink.finish() && result.error.isEmpty())
            result.error = QStringLiteral("Nie udało się narysować stron w pliku PDF.");
        if (!result.error.isEmpty()) {
            file.cancelWriting();
            return result;
        }
    }
    if (!file.commit()) {
        result.error = file.errorString();
        return result;
    }
    result.ok = true;
    return result;
}

bool printStretched(const PreparedPages &pages, QPrinter &printer,
                    const std::function<bool(int)> &includes)
{
    keepPageBuffers();
    printer.setFullPage(true);
    QPainter painter;
    PageRenderer renderer(pages.styles());
    bool started = false;
    for (int i = 0; i < pages.pageCount(); ++i) {
        if (includes && !includes(i + 1))
            continue;
        if (!started) {
            if (!painter.begin(&printer))
                return false;
            started = true;
        } else if (!printer.newPage()) {
            return false;
        }
        renderer.render(painter, pages.page(i), printer.paperRect(QPrinter::DevicePixel));
    }
    return !started || painter.end();
}

} // namespace PageOutput
