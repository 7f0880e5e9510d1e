#pragma once

#include <functional>

class PreparedPages;
class ProgressForm;
class QString;
class QWidget;
class Report;
class StandardPreview;

// The two ways to run a report: into a preview window, or straight to the printer.
namespace Reports {

// Builds the report's pages into a new preview window, shown maximised and not
// modal, and returns when the user has closed it; the program stays usable
// meanwhile. Does nothing while the report is already building. `opened` is called
// with the window once it is shown, before the run starts.
void preview(Report &report, const std::function<void(StandardPreview &)> &opened = nullptr);

enum class PrintOutcome { Printed, Cancelled, NoPrinter, Busy, Failed };

// Builds the report's pages straight to its printer, or into the PDF file chosen
// in the print dialog, with no dialog, while the progress window shows how far it
// has gone; returns when the job is complete or cancelled. A cancelled job is
// discarded. When the system has no printer the user is told and may save the
// report as a PDF file instead. Does nothing while the report is already building.
PrintOutcome print(Report &report, const std::function<void(ProgressForm &)> &opened = nullptr);

// Asks for the name of a PDF file to save a report in; empty when cancelled.
QString askPdfFileName(QWidget *parent);
// Tells the user that there is no printer and offers a PDF file instead: its name,
// or empty when the user wants none.
QString pdfInsteadOfPrinter(QWidget *parent);
// Writes the pages (those that includes accepts) into a PDF file through the
// printing's renderer, replacing the file only when complete; a failure is
// shown, naming the file and the cause. True when written.
bool savePdf(const PreparedPages &pages, const QString &path,
             const std::function<bool(int page)> &includes = nullptr);

} // namespace Reports
