#pragma once

#include "platform/io_result.h"
#include "reports/drawn_area.h"
#include "reports/prepared_pages.h"

#include <QHash>
#include <QPainter>
#include <QRectF>
#include <functional>
#include <vector>

class QPagedPaintDevice;
class QPrinter;

// Draws prepared pages with a painter: the one renderer of the screen, the printer
// and PDF files. Works in hundredths of a millimetre scaled to the target, with
// unhinted fonts, so every device shows the layout the engine measured.
class PageRenderer final
{
public:
    explicit PageRenderer(const StyleTable &styles) : m_styles(styles) {}

    // Draws the page so that its whole sheet fills target (device coordinates).
    void render(QPainter &painter, const PreparedPage &page, const QRectF &target);

private:
    const QFont &font(int style, int deviceDpi);

    const StyleTable &m_styles;
    QHash<qint64, QFont> m_fonts;
    DrawnArea m_drawn; // what this page shows so far, in drawing units
};

// Sends pages to a paged device as a run produces them (a printer or a PDF file),
// each page at its own size from the corner of the paper. Pages outside the
// chosen range are left out.
class DevicePageSink final : public PageSink
{
    Q_DISABLE_COPY_MOVE(DevicePageSink)

public:
    explicit DevicePageSink(QPagedPaintDevice &device,
                            std::function<bool(int page)> includes = nullptr);
    ~DevicePageSink() override;

    StyleTable &styles() override { return m_styles; }
    // Raises KaxError when the device cannot be painted on.
    void addPage(const PreparedPage &page) override;
    // Ends the job; false when the device reported a failure.
    bool finish();
    int pagesSent() const { return m_sent; }

private:
    QPagedPaintDevice &m_device;
    std::function<bool(int)> m_includes;
    StyleTable m_styles;
    PageRenderer m_renderer{m_styles};
    QPainter m_painter;
    int m_produced = 0;
    int m_sent = 0;
};

namespace PageOutput {

// Sets a device's page to a size in millimetres, without margins.
void setPageSize(QPagedPaintDevice &device, double width, double height);

// Writes the pages (all, or those that includes accepts) to a PDF file, replacing it
// only when complete. Not ok, with the reason, when the file cannot be written.
[[nodiscard]] IoResult writePdf(const PreparedPages &pages, const QString &path,
                                const std::function<bool(int page)> &includes = nullptr);

// Sends prepared pages to a printer, each page stretched to the printer's paper;
// pages outside the range are left out. False when the printer reported a failure.
bool printStretched(const PreparedPages &pages, QPrinter &printer,
                    const std::function<bool(int page)> &includes);

} // namespace PageOutput
