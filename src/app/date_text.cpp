#include "app/date_text.h"

namespace DateText {

QString longDate(const QDate &date, const QLocale &locale)
{
    return locale.toString(date, QStringLiteral("dddd dd MMMM yyyy"));
}

QString clock(const QTime &time, const QLocale &locale)
{
    return locale.toString(time, QStringLiteral("HH:mm:ss"));
}

} // namespace DateText
