#pragma once

#include "history/history_appender.h"

#include <QString>

// The main window's web command: opens the current contact's web address (the
// text of its hidden edit on `Http`) in the browser and logs the visit as
// address + " dnia " + date + " godzina " + time. Only web addresses are
// opened; the visit is logged whatever the outcome.
void webCommand(const QString &http, const HistoryAppender &history);
