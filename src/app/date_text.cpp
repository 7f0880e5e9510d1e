#include "app/date_text.h"

#include "history/history_line.h"

namespace DateText {

QString longDate(const QDate &date, const QLocale &locale)
{
    // The names as the system's day and month name lists give them (nominative), as
    // in history lines.
    return locale.standaloneDayName(date.dayOfWeek(), QLocale::LongFormat) + QLatin1Char(' ') +
           QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0')) + QLatin1Char(' ') +
           locale.standaloneMonthName(date.month(), QLocale::LongFormat) + QLatin1Char(' ') +
           QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
}

QString clock(const QTime &time, const QLocale &locale)
{
    return historyTimeText(time, locale); // the regional separator, as in history lines
}

} // namespace DateText
