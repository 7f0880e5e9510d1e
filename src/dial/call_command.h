#pragma once

#include "history/history_appender.h"

#include <QString>

class TTelefon;

// The call command of the main window's "Telefon": dials `number` through the
// dialler when `setting` (the main window's copy of the dialling setting) names a
// port and method, or hands it as a tel: URL to the desktop's telephone (KDE
// Connect, GNOME Calls, a softphone) for the setting "8". Appends the call's line
// to the history only when the call was started, and returns whether it was.
// The dialler reports its own failures; this command tells the user when no
// dialling method is chosen, when the number has nothing to dial for the
// desktop's telephone, and when the desktop has no telephone or refuses it.
bool callCommand(const QString &setting, const QString &number, TTelefon &tt1,
                 const HistoryAppender &history);

// The history line of a call: "Połączenie telefoniczne z numerem :  " + number +
// " dnia " + date + " godzina " + time, for Clock::now() in the system's locale.
QString callHistoryLine(const QString &number);
