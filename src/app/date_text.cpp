#include "app/date_text.h"

#include "history/history_line.h"

namespace DateText {

QString longDate(const QDate &date, const QLocale &locale)
{
    return locale.toString(date, QStringLiteral("dddd dd MMMM yyyy"));
}

QString clock(const QTime &time, const QLocale &locale)
{
    return historyTimeText(time, locale); // the regional separator, as in history lines
}

} // namespace DateText
