#pragma once

class QWidget;
class TTable;

// The import as the menu runs it: the file dialog, the column mapping of a CSV file,
// the progress window, the duplicate questions and the final report.
namespace ImportRun {

void run(QWidget *parent, TTable &contacts);

} // namespace ImportRun
