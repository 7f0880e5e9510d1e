#pragma once

#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QPrinter;
class QWidget;

// What the print dialog starts with.
struct PrintDialogRequest
{
    QString title;       // the print job's name, which a PDF file's name is made from
    QString printerName; // empty: the system's default printer
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    int copies = 1;
    int minPage = 1;
    int maxPage = 9999;
    int fromPage = 0; // the page numbers offered in the range boxes
    int toPage = 0;
    bool pageRange = false; // the range chosen rather than all pages
    QString outputFile;     // not empty: a PDF file chosen before instead of a printer
};

// What the user confirmed in the print dialog.
struct PrintDialogResult
{
    QString printerName;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    int copies = 1;
    bool allPages = true;
    int fromPage = 0;
    int toPage = 0;
    QString outputFile; // not empty: print into this PDF file instead of a printer
};

// The installed printers, the system's print dialog and print jobs, behind an
// interface so that tests script the dialog and print into PDF files instead.
class Printers
{
public:
    virtual ~Printers() = default;

    virtual QStringList printerNames() const = 0;
    // Empty when the system has no default printer.
    virtual QString defaultPrinterName() const = 0;
    bool hasPrinters() const { return !printerNames().isEmpty(); }

    // Shows the print dialog modally, printing into a PDF file offered beside the
    // printers; nullopt when the user cancels.
    virtual std::optional<PrintDialogResult> printDialog(QWidget *parent,
                                                         const PrintDialogRequest &request) = 0;
    // A print job device for the named printer (empty: the default printer).
    virtual std::unique_ptr<QPrinter> createPrinter(const QString &printerName) = 0;

    static Printers &current();
    // Installs a replacement (not owned); nullptr restores the system's printers.
    static void install(Printers *printers);
};

// The system's printers through the print support of the toolkit (CUPS on Linux).
class SystemPrinters final : public Printers
{
public:
    QStringList printerNames() const override;
    QString defaultPrinterName() const override;
    std::optional<PrintDialogResult> printDialog(QWidget *parent,
                                                 const PrintDialogRequest &request) override;
    std::unique_ptr<QPrinter> createPrinter(const QString &printerName) override;
};
