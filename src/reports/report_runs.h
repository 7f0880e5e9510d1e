#pragma once

#include <functional>

class ProgressForm;
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

} // namespace Reports
