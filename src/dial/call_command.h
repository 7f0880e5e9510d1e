#pragma once

#include "history/history_appender.h"

#include <QString>

class TTelefon;

// The call command of the main window's "Telefon": dials `number` through the
// dialler when `setting` (the main window's copy of the dialling setting) names a
// port and method, or hands it as a tel: URL to the desktop's telephone (KDE
// Connect, GNOME Calls, a softphone) for the setting "8", telling the user when
// none is registered; then appends the call's line to the history in every case.
// The dialler reports its own outcomes; nothing is shown for an invalid setting.
void callCommand(const QString &setting, const QString &number, TTelefon &tt1,
                 const HistoryAppender &history);

// The history line of a call: "Połączenie telefoniczne z numerem :  " + number +
// " dnia " + date + " godzina " + time, for Clock::now() in the system's locale.
QString callHistoryLine(const QString &number);
