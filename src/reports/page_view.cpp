#include "reports/page_view.h"

#include "reports/page_renderer.h"
#include "reports/prepared_pages.h"

#include <QPainter>
#include <QScrollBar>
#include <cmath>

namespace {

constexpr int kSheetMargin = 4; // one-pixel outline and two-pixel shadow

int screenPixels(double millimetres, int dpi)
{
    return int(std::lround(millimetres / 25.4 * dpi));
}

} // namespace

PageView::PageView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("PageView"));
    setFrameShape(QFrame::StyledPanel);
    viewport()->setAutoFillBackground(true);
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    viewport()->setPalette(palette);
    viewport()->setBackgroundRole(QPalette::Window);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Page"));
}

void PageView::setPage(const PreparedPages *pages, int index)
{
    m_pages = pages;
    m_index = pages && index >= 0 && index < pages->pageCount() ? index : -1;
    if (m_index >= 0) {
        const PreparedPage page = m_pages->page(m_index);
        m_pageSize = QSizeF(page.width, page.height);
    }
    updateScrollBars();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

void PageView::setPageSize(const QSizeF &millimetres)
{
    m_pageSize = millimetres;
    updateScrollBars();
}

void PageView::setZoom(int percent)
{
    m_zoom = percent;
    updateScrollBars();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

QSize PageView::pagePixels() const
{
    return QSize(screenPixels(m_pageSize.width(), logicalDpiX()),
                 screenPixels(m_pageSize.height(), logicalDpiY()));
}

QSize PageView::sheetSize() const
{
    const QSize page = pagePixels();
    return QSize(int(std::lround(page.width() * m_zoom / 100.0)) + kSheetMargin,
                 int(std::lround(page.height() * m_zoom / 100.0)) + kSheetMargin);
}

QPoint PageView::sheetOrigin() const
{
    const QSize sheet = sheetSize();
    const QSize area = viewport()->size();
    const int x = sheet.width() < area.width() ? (area.width() - sheet.width()) / 2
                                               : -horizontalScrollBar()->value();
    const int y = sheet.height() < area.height() ? (area.height() - sheet.height()) / 2
                                                 : -verticalScrollBar()->value();
    return QPoint(x, y);
}

void PageView::updateScrollBars()
{
    const QSize sheet = sheetSize();
    const QSize area = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, sheet.width() - area.width()));
    horizontalScrollBar()->setPageStep(area.width());
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setRange(0, std::max(0, sheet.height() - area.height()));
    verticalScrollBar()->setPageStep(area.height());
    verticalScrollBar()->setSingleStep(20);
}

void PageView::paintEvent(QPaintEvent *)
{
    if (m_index < 0 || !m_pages)
        return;
    QPainter painter(viewport());
    const QPoint origin = sheetOrigin();
    const QSize sheet = sheetSize();
    const int width = sheet.width() - kSheetMargin;
    const int height = sheet.height() - kSheetMargin;
    const int x = origin.x();
    const int y = origin.y();
    // Outline, shadow along the right and bottom edges, then the white paper.
    painter.fillRect(x, y, width + 2, 1, Qt::black);
    painter.fillRect(x, y + height + 1, width + 2, 1, Qt::black);
    painter.fillRect(x, y, 1, height + 2, Qt::black);
    painter.fillRect(x + width + 1, y, 1, height + 2, Qt::black);
    painter.fillRect(x + width + 2, y + 2, 2, height + 2, Qt::black);
    painter.fillRect(x + 2, y + height + 2, width + 2, 2, Qt::black);
    const QRect paper(x + 1, y + 1, width, height);
    painter.fillRect(paper, Qt::white);
    painter.setClipRect(paper);
    PageRenderer renderer(m_pages->styles());
    renderer.render(painter, m_pages->page(m_index), QRectF(paper));
    painter.end();
    emit sheetPainted(m_index);
}

void PageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    emit resized();
}

void PageView::scrollContentsBy(int, int)
{
    viewport()->update();
}
