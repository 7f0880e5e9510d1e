#include "reports/preview_window.h"

#include "platform/widgets/dialogs.h"
#include "platform/widgets/file_dialogs.h"
#include "platform/widgets/printers.h"
#include "reports/page_renderer.h"
#include "reports/prepared_pages.h"
#include "reports/report_file.h"
#include "reports/report_model.h"
#include "reports/report_runs.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr int kMinZoom = 2;
constexpr int kMaxZoom = 2000;
constexpr int kSheetMargin = 4; // one-pixel outline and two-pixel shadow
constexpr int kIconSize = 20;

enum Glyph {
    GlyphFit,
    Glyph100,
    GlyphWidth,
    GlyphFirst,
    GlyphPrevious,
    GlyphNext,
    GlyphLast,
    GlyphSetup,
    GlyphPrint,
    GlyphSave,
    GlyphLoad
};

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

// The tool bar's pictures, drawn rather than shipped.
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
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(10);
        font.setBold(true);
        p.setFont(font);
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
    default:
        break;
    }
    return QIcon(pixmap);
}

QFrame *divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedWidth(8);
    return line;
}

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

StandardPreview::StandardPreview(Report &report, QWidget *parent)
    : KaxForm(QStringLiteral("StandardPreview"),
              report.title.isEmpty() ? QStringLiteral("Print Preview") : report.title,
              QSize(640, 480), 0, parent),
      m_report(report)
{
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    setMinimumSize(320, 240);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *toolBar = new QWidget(this);
    toolBar->setObjectName(QStringLiteral("ToolBar"));
    toolBar->setAccessibleName(QStringLiteral("Preview tool bar"));
    auto *bar = new QHBoxLayout(toolBar);
    bar->setContentsMargins(2, 2, 2, 2);
    bar->setSpacing(0);
    bar->addWidget(divider(toolBar));
    ZoomFit =
        addToolButton(bar, QStringLiteral("ZoomFit"), QStringLiteral("Zoom to fit"), GlyphFit);
    Zoom100 = addToolButton(bar, QStringLiteral("Zoom100"), QStringLiteral("100%"), Glyph100);
    ZoomToWidth = addToolButton(bar, QStringLiteral("ZoomToWidth"), QStringLiteral("Zoom to width"),
                                GlyphWidth);
    bar->addWidget(divider(toolBar));
    FirstPage =
        addToolButton(bar, QStringLiteral("FirstPage"), QStringLiteral("First page"), GlyphFirst);
    PreviousPage = addToolButton(bar, QStringLiteral("PreviousPage"),
                                 QStringLiteral("Previous page"), GlyphPrevious);
    NextPage =
        addToolButton(bar, QStringLiteral("NextPage"), QStringLiteral("Next page"), GlyphNext);
    LastPage =
        addToolButton(bar, QStringLiteral("LastPage"), QStringLiteral("Last page"), GlyphLast);
    bar->addWidget(divider(toolBar));
    PrintSetup = addToolButton(bar, QStringLiteral("PrintSetup"), QStringLiteral("Printer setup"),
                               GlyphSetup);
    Print = addToolButton(bar, QStringLiteral("Print"), QStringLiteral("Print"), GlyphPrint);
    bar->addWidget(divider(toolBar));
    SaveReport =
        addToolButton(bar, QStringLiteral("SaveReport"), QStringLiteral("Save Report"), GlyphSave);
    LoadReport =
        addToolButton(bar, QStringLiteral("LoadReport"), QStringLiteral("Load Report"), GlyphLoad);
    bar->addWidget(divider(toolBar));
    CloseButton = new QPushButton(QStringLiteral("&Close"), toolBar);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    CloseButton->setFlat(true);
    CloseButton->setFocusPolicy(Qt::NoFocus);
    bar->addWidget(CloseButton);
    bar->addStretch(1);
    layout->addWidget(toolBar);

    auto *zoomGroup = new QButtonGroup(this);
    zoomGroup->setExclusive(true);
    for (QToolButton *button : {ZoomFit, Zoom100, ZoomToWidth}) {
        button->setCheckable(true);
        zoomGroup->addButton(button);
    }
    ZoomToWidth->setChecked(true);

    m_view = new PageView(this);
    m_view->setPageSize(QSizeF(report.page.pageWidth(), report.page.pageHeight()));
    layout->addWidget(m_view, 1);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    Panel1 = new QLabel(QStringLiteral("0%"), StatusBar);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedWidth(40);
    Panel1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Panel1->setAccessibleDescription(QStringLiteral("Progress"));
    Panel2 = new QLabel(QStringLiteral("Page"), StatusBar);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setAccessibleDescription(QStringLiteral("Page number"));
    StatusBar->addWidget(Panel1);
    StatusBar->addWidget(Panel2, 1);
    layout->addWidget(StatusBar);

    connect(ZoomFit, &QToolButton::clicked, this, &StandardPreview::ZoomFitClick);
    connect(Zoom100, &QToolButton::clicked, this, &StandardPreview::Zoom100Click);
    connect(ZoomToWidth, &QToolButton::clicked, this, &StandardPreview::ZoomToWidthClick);
    connect(FirstPage, &QToolButton::clicked, this, &StandardPreview::FirstPageClick);
    connect(PreviousPage, &QToolButton::clicked, this, &StandardPreview::PreviousPageClick);
    connect(NextPage, &QToolButton::clicked, this, &StandardPreview::NextPageClick);
    connect(LastPage, &QToolButton::clicked, this, &StandardPreview::LastPageClick);
    connect(PrintSetup, &QToolButton::clicked, this, &StandardPreview::PrintSetupClick);
    connect(Print, &QToolButton::clicked, this, &StandardPreview::PrintClick);
    connect(SaveReport, &QToolButton::clicked, this, &StandardPreview::SaveReportClick);
    connect(LoadReport, &QToolButton::clicked, this, &StandardPreview::LoadReportClick);
    connect(CloseButton, &QPushButton::clicked, this, &StandardPreview::CloseButtonClick);
    connect(m_view, &PageView::resized, this, &StandardPreview::applyZoomMode);

    updatePrintButtons();
    watchKeys(this);
    m_view->setFocus();
}

StandardPreview::~StandardPreview() = default;

QToolButton *StandardPreview::addToolButton(QHBoxLayout *bar, const QString &name,
                                            const QString &hint, int glyph)
{
    auto *button = new QToolButton(bar->parentWidget());
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIcon(glyphIcon(glyph));
    button->setIconSize(QSize(kIconSize, kIconSize));
    button->setFixedSize(27, 27);
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setFocusPolicy(Qt::NoFocus);
    bar->addWidget(button);
    return button;
}

void StandardPreview::watchKeys(QWidget *widget)
{
    // The window sees keys before its controls.
    for (QWidget *child : widget->findChildren<QWidget *>())
        child->installEventFilter(this);
}

void StandardPreview::setPages(std::shared_ptr<PreparedPages> pages)
{
    if (m_pages)
        disconnect(m_pages.get(), nullptr, this, nullptr);
    m_pages = std::move(pages);
    m_page = 0;
    m_view->setPage(nullptr, -1);
    if (m_pages) {
        connect(m_pages.get(), &PreparedPages::pageAdded, this, &StandardPreview::pageAdded);
        if (m_pages->pageCount() > 0)
            pageAdded(m_pages->pageCount());
    }
    updateStatus();
}

int StandardPreview::pageCount() const
{
    return m_pages ? m_pages->pageCount() : 0;
}

void StandardPreview::pageAdded(int count)
{
    if (m_page == 0 && count > 0) {
        // The first page available: shown at the zoom of the mode in force.
        m_page = 1;
        m_view->setPage(m_pages.get(), 0);
        applyZoomMode();
    }
    updateStatus();
}

void StandardPreview::runStarted()
{
    m_building = true;
    m_complete = false;
    m_shownProgress = 0;
    updatePrintButtons();
}

void StandardPreview::setProgress(int percent)
{
    if (percent <= 0 || percent >= 100) {
        Panel1->clear();
        m_shownProgress = percent;
        return;
    }
    if (percent - m_shownProgress >= 5) {
        m_shownProgress = percent;
        Panel1->setText(QString::number(percent) + QLatin1Char('%'));
    }
}

void StandardPreview::runFinished()
{
    m_building = false;
    m_complete = true;
    Panel1->clear();
    updatePrintButtons();
    updateStatus();
}

void StandardPreview::updatePrintButtons()
{
    PrintSetup->setEnabled(m_complete && !m_loaded);
    Print->setEnabled(m_complete || m_loaded);
}

void StandardPreview::updateStatus()
{
    if (m_page == 0) {
        Panel2->setText(QStringLiteral("Page"));
        return;
    }
    Panel2->setText(QStringLiteral("Page %1 of %2").arg(m_page).arg(pageCount()));
}

int StandardPreview::zoom() const
{
    return m_view->zoom();
}

void StandardPreview::setZoom(int percent)
{
    if (percent < kMinZoom || percent > kMaxZoom)
        return;
    m_view->setZoom(percent);
}

void StandardPreview::applyZoomMode()
{
    const QSize page = m_view->pagePixels();
    if (page.isEmpty())
        return;
    const double width = m_view->width();
    const double height = m_view->height();
    switch (m_zoomMode) {
    case ZoomMode::Width:
        setZoom(int(std::lround(width / page.width() * 90)));
        break;
    case ZoomMode::Fit:
        setZoom(std::min(int(std::lround(width / page.width() * 95)),
                         int(std::lround(height / page.height() * 95))));
        break;
    case ZoomMode::Fixed:
        break;
    }
}

void StandardPreview::showPage(int number)
{
    if (number < 1 || number > pageCount())
        return;
    m_page = number;
    m_view->setPage(m_pages.get(), number - 1);
    updateStatus();
}

void StandardPreview::ZoomFitClick()
{
    m_zoomMode = ZoomMode::Fit;
    ZoomFit->setChecked(true);
    applyZoomMode();
}

void StandardPreview::Zoom100Click()
{
    m_zoomMode = ZoomMode::Fixed;
    Zoom100->setChecked(true);
    setZoom(100);
}

void StandardPreview::ZoomToWidthClick()
{
    m_zoomMode = ZoomMode::Width;
    ZoomToWidth->setChecked(true);
    applyZoomMode();
}

void StandardPreview::FirstPageClick()
{
    showPage(1);
}

void StandardPreview::PreviousPageClick()
{
    showPage(m_page - 1);
}

void StandardPreview::NextPageClick()
{
    showPage(m_page + 1);
}

void StandardPreview::LastPageClick()
{
    showPage(pageCount());
}

void StandardPreview::PrintSetupClick()
{
    PrintDialogRequest request;
    request.printerName = m_report.printer.printerName;
    request.orientation = m_report.page.orientation;
    request.copies = m_report.printer.copies;
    if (m_complete) {
        request.minPage = 1;
        request.maxPage = std::max(1, pageCount());
        request.fromPage = 1;
        request.toPage = request.maxPage;
    } else {
        request.minPage = 0;
        request.maxPage = 9999;
        request.fromPage = m_report.printer.firstPage;
        request.toPage = m_report.printer.lastPage;
    }
    request.pageRange = !m_report.printer.allPages(); // all pages stay all pages
    const auto result = Printers::current().printDialog(this, request);
    if (!result)
        return;
    m_report.printer.copies = result->copies;
    m_report.printer.printerName = result->printerName;
    m_report.page.orientation = result->orientation;
    m_report.printer.firstPage = result->allPages ? 0 : result->fromPage;
    m_report.printer.lastPage = result->allPages ? 0 : result->toPage;
}

void StandardPreview::PrintClick()
{
    if (!m_loaded) {
        Reports::print(m_report);
        return;
    }
    Printers &printers = Printers::current();
    if (!printers.hasPrinters() || !m_pages)
        return;
    auto printer = printers.createPrinter(m_report.printer.printerName);
    printer->setDocName(m_pages->title);
    printer->setCopyCount(m_report.printer.copies);
    const PrinterSettings range = m_report.printer;
    if (!PageOutput::printStretched(*m_pages, *printer,
                                    [&range](int page) { return range.includes(page); }))
        showMessage(DialogKind::Error, QStringLiteral("Print"),
                    QStringLiteral("The pages could not be printed."));
}

void StandardPreview::SaveReportClick()
{
    if (!m_pages || m_pages->pageCount() == 0)
        return;
    FileDialogRequest request;
    request.title = QStringLiteral("Save report");
    request.filter = QStringLiteral("Kartax2000 report file (*.%1)").arg(ReportFile::kExtension);
    request.defaultSuffix = QString::fromLatin1(ReportFile::kExtension);
    const QString path = FileDialogs::current().saveFileName(this, request);
    if (path.isEmpty())
        return;
    QString error;
    if (!ReportFile::save(*m_pages, path, &error))
        showMessage(DialogKind::Error, QStringLiteral("Save report"), error);
}

void StandardPreview::LoadReportClick()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Load report");
    request.filter = QStringLiteral("Kartax2000 report file (*.%1)").arg(ReportFile::kExtension);
    request.defaultSuffix = QString::fromLatin1(ReportFile::kExtension);
    const QString path = FileDialogs::current().openFileName(this, request);
    if (path.isEmpty())
        return;
    if (!QFileInfo(path).isFile()) {
        showMessage(DialogKind::Warning, QStringLiteral("Load report"),
                    QStringLiteral("File does not exist"));
        return;
    }
    QString error;
    std::unique_ptr<PreparedPages> loaded = ReportFile::load(path, &error);
    if (!loaded) {
        showMessage(DialogKind::Error, QStringLiteral("Load report"), error);
        return;
    }
    if (m_building)
        emit stopRequested();
    m_loaded = true;
    m_building = false;
    Panel1->clear();
    setPages(std::shared_ptr<PreparedPages>(loaded.release()));
    showPage(1);
    updatePrintButtons();
}

void StandardPreview::CloseButtonClick()
{
    close();
}

bool StandardPreview::FormKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    const bool control = modifiers & Qt::ControlModifier;
    switch (key) {
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_PageUp:
        control ? FirstPageClick() : PreviousPageClick();
        return true;
    case Qt::Key_PageDown:
        control ? LastPageClick() : NextPageClick();
        return true;
    case Qt::Key_Home:
        FirstPageClick();
        return true;
    case Qt::Key_End:
        LastPageClick();
        return true;
    default:
        return false;
    }
}

bool StandardPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (FormKeyDown(key->key(), key->modifiers()))
            return true;
    }
    return KaxForm::eventFilter(watched, event);
}

void StandardPreview::keyPressEvent(QKeyEvent *event)
{
    if (!FormKeyDown(event->key(), event->modifiers()))
        KaxForm::keyPressEvent(event);
}

void StandardPreview::showEvent(QShowEvent *event)
{
    // Opened maximised: the centring of the program's fixed-size windows does not apply.
    QWidget::showEvent(event);
}

void StandardPreview::closeEvent(QCloseEvent *event)
{
    KaxForm::closeEvent(event);
    emit closed();
}
