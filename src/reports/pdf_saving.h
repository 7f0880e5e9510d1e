#pragma once

#include <functional>

class PreparedPages;
class QString;
class QWidget;

// The questions and the writing of a report saved as a PDF file, shared by the
// preview window and the printing run.
namespace Reports {

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
