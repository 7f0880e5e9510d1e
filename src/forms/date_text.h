#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Date and clock texts in the user's regional settings, hours on the 24-hour clock.
namespace DateText {

// "dddd dd mmmm yyyy": full day name, two-digit day, full month name, year.
QString longDate(const QDate &date, const QLocale &locale = QLocale::system());
// "hh:nn:ss" with the separator of the locale's short time format (a colon when it has none).
QString clock(const QTime &time, const QLocale &locale = QLocale::system());

} // namespace DateText
