#include "forms/date_text.h"

namespace {

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// The separator between hours and minutes in the locale's short time format
// ("HH:mm" gives ':'); a colon when the format shows none.
QString timeSeparator(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    qsizetype i = 0;
    while (i < format.size() && format[i].toLower() != QLatin1Char('h'))
        ++i;
    while (i < format.size() && format[i].toLower() == QLatin1Char('h'))
        ++i;
    QString separator;
    for (; i < format.size() && format[i] != QLatin1Char('m'); ++i) {
        if (format[i] != QLatin1Char('\''))
            separator.append(format[i]);
    }
    return separator.isEmpty() || i == format.size() ? QStringLiteral(":") : separator;
}

} // namespace

namespace DateText {

QString longDate(const QDate &date, const QLocale &locale)
{
    // The names as the system's day and month name lists give them (nominative), as
    // in history lines.
    return locale.standaloneDayName(date.dayOfWeek(), QLocale::LongFormat) + QLatin1Char(' ') +
           twoDigits(date.day()) + QLatin1Char(' ') +
           locale.standaloneMonthName(date.month(), QLocale::LongFormat) + QLatin1Char(' ') +
           QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
}

QString clock(const QTime &time, const QLocale &locale)
{
    const QString separator = timeSeparator(locale);
    return twoDigits(time.hour()) + separator + twoDigits(time.minute()) + separator +
           twoDigits(time.second());
}

} // namespace DateText
