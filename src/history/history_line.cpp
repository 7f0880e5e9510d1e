#include "history/history_line.h"

#include "forms/date_text.h"
#include "platform/clock.h"

namespace {

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
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
    return DateText::clock(time, locale);
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
