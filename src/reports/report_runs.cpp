#include "reports/report_runs.h"

#include "platform/widgets/dialogs.h"
#include "platform/widgets/printers.h"
#include "reports/page_renderer.h"
#include "reports/pdf_saving.h"
#include "reports/prepared_pages.h"
#include "reports/preview_window.h"
#include "reports/progress_window.h"
#include "reports/report_engine.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QPrinter>

namespace {

void processEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Runs the report into the sink while the progress window shows how far it has
// gone and offers to cancel.
ReportEngine::Outcome runWithProgress(Report &report, PageSink &sink,
                                      const std::function<void(ProgressForm &)> &opened)
{
    ReportEngine engine(report, sink);
    auto progress = std::make_unique<ProgressForm>();
    QObject::connect(progress.get(), &ProgressForm::cancelRequested, progress.get(),
                     [&engine] { engine.cancel(); });
    engine.progress = [&progress](int percent) { progress->setProgress(percent); };
    engine.yield = processEvents;
    progress->show();
    if (opened)
        opened(*progress);
    return engine.run();
}

// The report run into a PDF file: its pages laid out in full, then written at once.
Reports::PrintOutcome printToPdf(Report &report, const QString &path,
                                 const std::function<void(ProgressForm &)> &opened)
{
    PreparedPages pages;
    pages.title = report.title;
    switch (runWithProgress(report, pages, opened)) {
    case ReportEngine::Outcome::Busy:
        return Reports::PrintOutcome::Busy;
    case ReportEngine::Outcome::Cancelled:
        return Reports::PrintOutcome::Cancelled;
    case ReportEngine::Outcome::Completed:
        break;
    }
    const PrinterSettings range = report.printer;
    if (!Reports::savePdf(pages, path, [range](int page) { return range.includes(page); }))
        return Reports::PrintOutcome::Failed;
    return Reports::PrintOutcome::Printed;
}

} // namespace

namespace Reports {

void preview(Report &report, const std::function<void(StandardPreview &)> &opened)
{
    if (report.building())
        return;
    auto pages = std::make_shared<PreparedPages>();
    pages->title = report.title;
    auto window = std::make_unique<StandardPreview>(report);
    window->setPages(pages);
    window->showMaximized();
    if (opened)
        opened(*window);

    bool closed = false;
    ReportEngine engine(report, *pages);
    QObject::connect(window.get(), &StandardPreview::closed, window.get(), [&] {
        closed = true;
        engine.cancel();
    });
    QObject::connect(window.get(), &StandardPreview::stopRequested, window.get(),
                     [&engine] { engine.cancel(); });
    QObject::connect(window.get(), &StandardPreview::printRequested, window.get(),
                     [&report] { print(report); });
    engine.progress = [&window](int percent) { window->setProgress(percent); };
    engine.yield = processEvents;

    window->runStarted();
    const ReportEngine::Outcome outcome = engine.run();
    if (outcome == ReportEngine::Outcome::Busy)
        return;
    if (!closed && !window->showsLoadedPages())
        window->runFinished();
    if (!closed) {
        QEventLoop loop;
        QObject::connect(window.get(), &StandardPreview::closed, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

PrintOutcome print(Report &report, const std::function<void(ProgressForm &)> &opened)
{
    if (report.building())
        return PrintOutcome::Busy;
    Printers &printers = Printers::current();
    QString pdf = report.printer.outputFile;
    if (pdf.isEmpty() && !printers.hasPrinters()) {
        pdf = pdfInsteadOfPrinter(nullptr);
        if (pdf.isEmpty())
            return PrintOutcome::NoPrinter;
    }
    if (!pdf.isEmpty())
        return printToPdf(report, pdf, opened);

    std::unique_ptr<QPrinter> printer = printers.createPrinter(report.printer.printerName);
    printer->setDocName(report.title);
    printer->setCopyCount(std::max(1, report.printer.copies));
    printer->setDuplex(report.printer.duplex ? QPrinter::DuplexAuto : QPrinter::DuplexNone);
    printer->setPaperSource(QPrinter::Auto);
    printer->setFullPage(true);
    PageOutput::setPageSize(*printer, report.page.pageWidth(), report.page.pageHeight());

    const PrinterSettings range = report.printer;
    DevicePageSink sink(*printer, [range](int page) { return range.includes(page); });
    switch (runWithProgress(report, sink, opened)) {
    case ReportEngine::Outcome::Busy:
        return PrintOutcome::Busy;
    case ReportEngine::Outcome::Cancelled:
        // Nothing of a cancelled job reaches the printer.
        printer->abort();
        sink.finish();
        return PrintOutcome::Cancelled;
    case ReportEngine::Outcome::Completed:
        break;
    }
    if (!sink.finish()) {
        showMessage(DialogKind::Error, QStringLiteral("Print"),
                    QStringLiteral("The report could not be printed."));
        return PrintOutcome::Failed;
    }
    return PrintOutcome::Printed;
}

} // namespace Reports
