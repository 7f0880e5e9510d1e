#pragma once

#include "history/history_appender.h"

#include <QString>

// The main window's web command: opens the current contact's web address (the
// text of its hidden edit on `Http`) in the browser and logs the visit as
// address + " dnia " + date + " godzina " + time. Only web addresses are
// opened; an empty address, one of another kind, or one the desktop does not
// take is explained to the user and logged nowhere. True when it was opened.
bool webCommand(const QString &http, const HistoryAppender &history);

// Opens a web address in the browser; an empty one (said with whenEmpty), one of
// another kind, or one the desktop does not take is explained and gives false.
bool openWebAddressOrSay(const QString &address, const QString &whenEmpty);
