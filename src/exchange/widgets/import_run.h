#pragma once

class QString;
class QWidget;
class TTable;

// The import as the menu runs it: the file dialog, the column mapping of a CSV file,
// the progress window, the duplicate questions and the final report.
namespace ImportRun {

void run(QWidget *parent, TTable &contacts);
// The same for a file already chosen (given on the command line).
void runFile(QWidget *parent, TTable &contacts, const QString &path);

} // namespace ImportRun
