#pragma once

#include "forms/form.h"
#include "reports/page_view.h"

#include <memory>

class QLabel;
class QPushButton;
class QStatusBar;
class QToolButton;
class QVBoxLayout;
class PreparedPages;
class Report;

// `StandardPreview`: the print preview window. Shows the pages of a report as a run
// produces them, zooms and pages through them, sets up and prints (to a printer or
// a PDF file), saves the pages as a PDF file, and saves and loads prepared pages as
// report files.
class StandardPreview final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StandardPreview)

public:
    enum class ZoomMode { Fit, Width, Fixed };

    explicit StandardPreview(Report &report, QWidget *parent = nullptr);
    ~StandardPreview() override;

    // The pages on show; a new set replaces the old one and shows its first page
    // once it has one.
    void setPages(std::shared_ptr<PreparedPages> pages);
    PreparedPages *pages() const { return m_pages.get(); }

    // The run that fills the pages: started, its progress, and its end.
    void runStarted();
    void setProgress(int percent);
    void runFinished();
    bool building() const { return m_building; }
    bool showsLoadedPages() const { return m_loaded; }

    int zoom() const;
    // A whole percentage from 2 to 2000; other values are ignored.
    void setZoom(int percent);
    ZoomMode zoomMode() const { return m_zoomMode; }
    // The page on show, from 1; 0 before the first page exists.
    int currentPage() const { return m_page; }
    int pageCount() const;
    // Shows a page by number; numbers below 1 or above the pages produced are ignored.
    void showPage(int number);
    PageView *view() const { return m_view; }

    QToolButton *ZoomFit = nullptr;
    QToolButton *Zoom100 = nullptr;
    QToolButton *ZoomToWidth = nullptr;
    QToolButton *FirstPage = nullptr;
    QToolButton *PreviousPage = nullptr;
    QToolButton *NextPage = nullptr;
    QToolButton *LastPage = nullptr;
    QToolButton *PrintSetup = nullptr;
    QToolButton *Print = nullptr;
    QToolButton *SavePdf = nullptr;
    QToolButton *SaveReport = nullptr;
    QToolButton *LoadReport = nullptr;
    QPushButton *CloseButton = nullptr;
    QStatusBar *StatusBar = nullptr;
    QLabel *Panel1 = nullptr; // progress
    QLabel *Panel2 = nullptr; // page number

    void ZoomFitClick();
    void Zoom100Click();
    void ZoomToWidthClick();
    void FirstPageClick();
    void PreviousPageClick();
    void NextPageClick();
    void LastPageClick();
    void PrintSetupClick();
    void PrintClick();
    // Saves the pages on show as a PDF file chosen by the user.
    void SavePdfClick();
    void SaveReportClick();
    void LoadReportClick();
    void CloseButtonClick();
    // Esc, Page Up/Down with or without Ctrl, Home, End; true when handled.
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);

signals:
    // The window was closed; a run still building its pages should stop.
    void closed();
    // The run should stop: its pages were replaced by pages loaded from a file.
    void stopRequested();
    // Print: the report is to be run again, straight to its printer (the pages on
    // show are printed by the window itself only when they were loaded from a file).
    void printRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildToolBar(QVBoxLayout *layout);
    void buildPageArea(QVBoxLayout *layout);
    void buildStatusBar(QVBoxLayout *layout);
    void connectControls();
    QToolButton *addToolButton(class QHBoxLayout *bar, const QString &name, const QString &hint,
                               int glyph);
    void pageAdded(int count);
    void applyZoomMode();
    void updateStatus();
    void updatePrintButtons();
    void watchKeys(QWidget *widget);

    Report &m_report;
    PageView *m_view = nullptr;
    std::shared_ptr<PreparedPages> m_pages;
    ZoomMode m_zoomMode = ZoomMode::Width;
    int m_page = 0;
    int m_shownProgress = 0;
    bool m_building = false;
    bool m_complete = false;
    bool m_loaded = false;
};
