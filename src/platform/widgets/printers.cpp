#include "platform/widgets/printers.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace {
Printers *&installed()
{
    static Printers *printers = nullptr;
    return printers;
}
} // namespace

Printers &Printers::current()
{
    static SystemPrinters real;
    return installed() ? *installed() : real;
}

void Printers::install(Printers *printers)
{
    installed() = printers;
}

QStringList SystemPrinters::printerNames() const
{
    return QPrinterInfo::availablePrinterNames();
}

QString SystemPrinters::defaultPrinterName() const
{
    return QPrinterInfo::defaultPrinterName();
}

std::optional<PrintDialogResult> SystemPrinters::printDialog(QWidget *parent,
                                                             const PrintDialogRequest &request)
{
    auto printer = createPrinter(request.printerName);
    printer->setDocName(request.title);
    if (!request.outputFile.isEmpty()) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(request.outputFile);
    }
    printer->setPageOrientation(request.orientation);
    printer->setCopyCount(request.copies);
    QPrintDialog dialog(printer.get(), parent);
    dialog.setMinMax(request.minPage, request.maxPage);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    // Printing into a PDF file is offered beside the printers, and is the only
    // choice on a computer without one.
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    if (request.fromPage > 0 || request.toPage > 0)
        printer->setFromTo(request.fromPage, request.toPage);
    printer->setPrintRange(request.pageRange ? QPrinter::PageRange : QPrinter::AllPages);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    PrintDialogResult result;
    result.printerName = printer->printerName();
    result.orientation = printer->pageLayout().orientation();
    result.copies = printer->copyCount();
    result.allPages = printer->printRange() != QPrinter::PageRange;
    result.fromPage = result.allPages ? 0 : printer->fromPage();
    result.toPage = result.allPages ? 0 : printer->toPage();
    if (printer->outputFormat() == QPrinter::PdfFormat)
        result.outputFile = printer->outputFileName();
    return result;
}

std::unique_ptr<QPrinter> SystemPrinters::createPrinter(const QString &printerName)
{
    const QPrinterInfo info = printerName.isEmpty() ? QPrinterInfo::defaultPrinter()
                                                    : QPrinterInfo::printerInfo(printerName);
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}
