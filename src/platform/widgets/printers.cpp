#include "platform/widgets/printers.h"

#include "platform/widgets/dialogs.h"

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
    if (defaultPrinterName().isEmpty())
        showMessage(DialogKind::Warning, QStringLiteral("Printer setup"),
                    QStringLiteral("No default printer is currently selected."));
    auto printer = createPrinter(request.printerName);
    printer->setPageOrientation(request.orientation);
    printer->setCopyCount(request.copies);
    QPrintDialog dialog(printer.get(), parent);
    dialog.setMinMax(request.minPage, request.maxPage);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
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
    return result;
}

std::unique_ptr<QPrinter> SystemPrinters::createPrinter(const QString &printerName)
{
    const QPrinterInfo info = printerName.isEmpty() ? QPrinterInfo::defaultPrinter()
                                                    : QPrinterInfo::printerInfo(printerName);
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}
