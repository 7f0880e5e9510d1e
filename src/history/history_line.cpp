#include "history/history_line.h"

#include "platform/clock.h"

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

QString historyDateText(const QDate &date, const QLocale &locale)
{
    // Names stand alone (nominative), as the system's day and month name lists give them.
    return twoDigits(date.day()) + QLatin1Char(' ') +
           locale.standaloneDayName(date.dayOfWeek(), QLocale::LongFormat) + QLatin1Char(' ') +
           locale.standaloneMonthName(date.month(), QLocale::LongFormat) + QLatin1Char(' ') +
           QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
}

QString historyTimeText(const QTime &time, const QLocale &locale)
{
    const QString separator = timeSeparator(locale);
    return twoDigits(time.hour()) + separator + twoDigits(time.minute()) + separator +
           twoDigits(time.second());
}

QString historyDateTimeSuffix(const QString &separator, const QDateTime &moment,
                              const QLocale &locale)
{
    return separator + historyDateText(moment.date(), locale) + QStringLiteral(" godzina ") +
           historyTimeText(moment.time(), locale);
}

QString historyDateTimeSuffix(const QString &separator)
{
    return historyDateTimeSuffix(separator, Clock::now(), QLocale::system());
}

QString singleLine(const QString &text)
{
    QString line = text;
    for (QChar &ch : line) {
        const QChar::Category category = ch.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            ch = QLatin1Char(' ');
    }
    return line;
}
