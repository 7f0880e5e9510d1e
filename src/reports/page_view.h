#pragma once

#include <QAbstractScrollArea>
#include <QSizeF>

class PreparedPages;

// The page area of the preview: one page drawn as a white sheet with an outline
// and a shadow, scaled by the zoom, centred when smaller than the view and
// scrollable when larger.
class PageView final : public QAbstractScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageView)

public:
    explicit PageView(QWidget *parent = nullptr);

    // The page shown: index from 0 into pages, or -1 for none.
    void setPage(const PreparedPages *pages, int index);
    // The size of the page in millimetres, used for the zoom before a page exists.
    void setPageSize(const QSizeF &millimetres);
    void setZoom(int percent);
    int zoom() const { return m_zoom; }

    // The page in screen pixels at 100 %.
    QSize pagePixels() const;
    // The sheet in screen pixels: the page at the zoom plus outline and shadow.
    QSize sheetSize() const;
    // The sheet's top-left corner in the viewport.
    QPoint sheetOrigin() const;

signals:
    void resized();
    void sheetPainted(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateScrollBars();

    const PreparedPages *m_pages = nullptr;
    int m_index = -1;
    QSizeF m_pageSize{210.0, 297.0};
    int m_zoom = 100;
};
