#pragma once

#include <QStringList>

class QTextStream;

// The program's command-line modes, which open no window and need no display:
//   kartax2000 --import FILE [--format vcf|vcf3|csv|db] [--duplicates skip|update|add]
// adds the contacts of FILE (vCard, CSV or another Kartax2000 database), one answer for every
// duplicate (skip unless told);
//   kartax2000 --export FILE|FOLDER [--format vcf|vcf3|csv]
// writes every contact of the address book to FILE;
//   kartax2000 --query TEXT
// lists the contacts whose name, representative or e-mail contains TEXT, in the format
// mail clients read from an address-book command (ContactQuery);
//   kartax2000 --sync [--tak]
// syncs the contacts with the CardDAV address book set in the program, describing a first
// sync or one that deletes many contacts and doing it only with --tak;
//   kartax2000 --backup FILE
// writes a consistent copy of the address book to FILE, for a firm's backup scripts;
//   kartax2000 --help, kartax2000 --version
// describe the program in Polish, as GNU programs do. A single plain argument,
//   kartax2000 FILE
// (as a desktop's "Otwórz za pomocą" passes it) opens the window and imports FILE.
namespace CommandLine {

// Whether the arguments (the program's name first) ask for a command-line mode:
// whether any of them starts with "--".
bool requested(const QStringList &arguments);
// Runs the mode the arguments ask for: what it did goes to `out`, errors to `err`.
// The exit status: 0 done, 1 failed (or, for a query, nothing found), 2 bad arguments.
int run(const QStringList &arguments, QTextStream &out, QTextStream &err);
// The file to import once the window is open: the one argument after the program's
// name when it is not an option; empty otherwise.
QString fileToOpen(const QStringList &arguments);
// The program's version, from the build ("5.1.0").
QString version();

} // namespace CommandLine
