#pragma once

#include <QHash>
#include <QString>

class QTextStream;

// What the command-line modes share: the option names, the options given and the
// usage message; and the command of each mode.
namespace CommandLine {

inline const QString kImport = QStringLiteral("--import");
inline const QString kExport = QStringLiteral("--export");
inline const QString kFormat = QStringLiteral("--format");
inline const QString kQuery = QStringLiteral("--query");
inline const QString kDuplicates = QStringLiteral("--duplicates");
inline const QString kSync = QStringLiteral("--sync");
inline const QString kBackup = QStringLiteral("--backup");
inline const QString kRestore = QStringLiteral("--restore");
inline const QString kYes = QStringLiteral("--tak");
inline const QString kYesEnglish = QStringLiteral("--yes");

// The options given, by name ("--export" -> FILE); each takes one value but --sync,
// --tak and --yes, which take none.
using Options = QHash<QString, QString>;

// Writes the problem and how to call the program to `err`; returns 2, bad arguments.
int usage(QTextStream &err, const QString &problem);

// Each mode: what it did goes to `out`, errors to `err`; returns the exit status.
int importContacts(const Options &options, QTextStream &out, QTextStream &err);
int exportContacts(const Options &options, QTextStream &out, QTextStream &err);
int queryContacts(const Options &options, QTextStream &out);
int syncContacts(const Options &options, QTextStream &out, QTextStream &err);
int backupContacts(const Options &options, QTextStream &out, QTextStream &err);
int restoreBook(const Options &options, QTextStream &out, QTextStream &err);

} // namespace CommandLine
