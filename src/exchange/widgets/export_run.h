#pragma once

class QWidget;
class TTable;

// The export as the menu runs it: the file dialog, the progress window once the export
// takes a while, and the final report.
namespace ExportRun {

void run(QWidget *parent, const TTable &contacts);
// The same into a folder the user chooses, one vCard per contact, as vCard-folder tools
// and sync programs keep an address book.
void runToFolder(QWidget *parent, const TTable &contacts);

} // namespace ExportRun
