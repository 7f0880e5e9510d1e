#include "reports/preview_window.h"

#include "forms/form_style.h"
#include "platform/widgets/dialogs.h"
#include "platform/widgets/file_dialogs.h"
#include "platform/widgets/printers.h"
#include "reports/page_renderer.h"
#include "reports/pdf_saving.h"
#include "reports/prepared_pages.h"
#include "reports/preview_pictures.h"
#include "reports/report_file.h"
#include "reports/report_model.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

using namespace PreviewPictures;

namespace {

constexpr int kMinZoom = 2;
constexpr int kMaxZoom = 2000;

// An unnamed sunken line between groups of tool-bar buttons.
QFrame *divider(QWidget *parent)
{
    QFrame *line = FormStyle::bevel(parent, QString(), QRect(), QFrame::VLine | QFrame::Sunken);
    line->setFixedWidth(8);
    return line;
}

} // namespace

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
    buildToolBar(layout);
    buildPageArea(layout);
    buildStatusBar(layout);
    connectControls();

    updatePrintButtons();
    watchKeys(this);
    m_view->setFocus();
}

StandardPreview::~StandardPreview() = default;

// The tool bar along the top: zoom, paging, printing and report file buttons in
// groups between dividers, then Close; the zoom buttons keep one of them down.
void StandardPreview::buildToolBar(QVBoxLayout *layout)
{
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
    SavePdf =
        addToolButton(bar, QStringLiteral("SavePdf"), QStringLiteral("Zapisz jako PDF"), GlyphPdf);
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
}

// The page view, sized for the report's paper until a page exists.
void StandardPreview::buildPageArea(QVBoxLayout *layout)
{
    m_view = new PageView(this);
    m_view->setPageSize(QSizeF(m_report.page.pageWidth(), m_report.page.pageHeight()));
    layout->addWidget(m_view, 1);
}

// The status bar: the run's progress and the page number.
void StandardPreview::buildStatusBar(QVBoxLayout *layout)
{
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
}

// The buttons' clicks, and the zoom of the mode in force kept as the view is resized.
void StandardPreview::connectControls()
{
    connect(ZoomFit, &QToolButton::clicked, this, &StandardPreview::ZoomFitClick);
    connect(Zoom100, &QToolButton::clicked, this, &StandardPreview::Zoom100Click);
    connect(ZoomToWidth, &QToolButton::clicked, this, &StandardPreview::ZoomToWidthClick);
    connect(FirstPage, &QToolButton::clicked, this, &StandardPreview::FirstPageClick);
    connect(PreviousPage, &QToolButton::clicked, this, &StandardPreview::PreviousPageClick);
    connect(NextPage, &QToolButton::clicked, this, &StandardPreview::NextPageClick);
    connect(LastPage, &QToolButton::clicked, this, &StandardPreview::LastPageClick);
    connect(PrintSetup, &QToolButton::clicked, this, &StandardPreview::PrintSetupClick);
    connect(Print, &QToolButton::clicked, this, &StandardPreview::PrintClick);
    connect(SavePdf, &QToolButton::clicked, this, &StandardPreview::SavePdfClick);
    connect(SaveReport, &QToolButton::clicked, this, &StandardPreview::SaveReportClick);
    connect(LoadReport, &QToolButton::clicked, this, &StandardPreview::LoadReportClick);
    connect(CloseButton, &QPushButton::clicked, this, &StandardPreview::CloseButtonClick);
    connect(m_view, &PageView::resized, this, &StandardPreview::applyZoomMode);
}

QToolButton *StandardPreview::addToolButton(QHBoxLayout *bar, const QString &name,
                                            const QString &hint, int glyph)
{
    // A flat picture without a caption, clicked and never tabbed to, with the arrow
    // cursor; its hint names it.
    QToolButton *button = FormStyle::toolButton(bar->parentWidget(), name, QString(), QRect(),
                                                {.icon = glyphIcon(glyph),
                                                 .iconSize = QSize(kIconSize, kIconSize),
                                                 .handCursor = false,
                                                 .styleWithIcon = Qt::ToolButtonIconOnly});
    button->setFixedSize(27, 27);
    button->setToolTip(hint);
    button->setAccessibleName(hint);
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
    SavePdf->setEnabled(m_complete || m_loaded);
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
    request.title = m_report.title;
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
    request.outputFile = m_report.printer.outputFile;
    Printers &printers = Printers::current();
    if (!printers.hasPrinters())
        showMessage(DialogKind::Information, QStringLiteral("Drukowanie"),
                    QStringLiteral("Nie ma zainstalowanej drukarki.\n"
                                   "Wydruk można zapisać do pliku PDF: w oknie drukowania "
                                   "wybierz „Drukuj do pliku (PDF)”."));
    else if (printers.defaultPrinterName().isEmpty())
        showMessage(DialogKind::Warning, QStringLiteral("Drukowanie"),
                    QStringLiteral("Nie wybrano drukarki domyślnej."));
    const auto result = printers.printDialog(this, request);
    if (!result)
        return;
    m_report.printer.outputFile = result->outputFile;
    m_report.printer.copies = result->copies;
    m_report.printer.printerName = result->printerName;
    m_report.page.orientation = result->orientation;
    m_report.printer.firstPage = result->allPages ? 0 : result->fromPage;
    m_report.printer.lastPage = result->allPages ? 0 : result->toPage;
}

void StandardPreview::PrintClick()
{
    if (!m_loaded) {
        emit printRequested();
        return;
    }
    if (!m_pages)
        return;
    const PrinterSettings range = m_report.printer;
    const auto inRange = [&range](int page) { return range.includes(page); };
    Printers &printers = Printers::current();
    QString pdf = range.outputFile;
    if (pdf.isEmpty() && !printers.hasPrinters()) {
        pdf = Reports::pdfInsteadOfPrinter(this);
        if (pdf.isEmpty())
            return;
    }
    if (!pdf.isEmpty()) {
        Reports::savePdf(*m_pages, pdf, inRange);
        return;
    }
    auto printer = printers.createPrinter(m_report.printer.printerName);
    printer->setDocName(m_pages->title);
    printer->setCopyCount(m_report.printer.copies);
    if (!PageOutput::printStretched(*m_pages, *printer, inRange))
        showMessage(DialogKind::Error, QStringLiteral("Print"),
                    QStringLiteral("The pages could not be printed."));
}

void StandardPreview::SavePdfClick()
{
    if (!m_pages || m_pages->pageCount() == 0)
        return;
    const QString path = Reports::askPdfFileName(this);
    if (!path.isEmpty())
        Reports::savePdf(*m_pages, path);
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
    const IoResult saved = ReportFile::save(*m_pages, path);
    if (!saved.ok)
        showMessage(DialogKind::Error, QStringLiteral("Save report"), saved.error);
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
    ReportFile::LoadResult loaded = ReportFile::load(path);
    if (!loaded.pages) {
        showMessage(DialogKind::Error, QStringLiteral("Load report"), loaded.error);
        return;
    }
    if (m_building)
        emit stopRequested();
    m_loaded = true;
    m_building = false;
    Panel1->clear();
    setPages(std::shared_ptr<PreparedPages>(loaded.pages.release()));
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
