#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Date and time texts of history lines. Every producer of a history line ends it
// with historyDateTimeSuffix(): " dnia " + date + " godzina " + time.

// The date as "dd dddd mmmm yyyy": two-digit day, full weekday and month names of
// the locale, four-digit year.
QString historyDateText(const QDate &date, const QLocale &locale = QLocale::system());
// The time as "hh:nn:ss" on the 24-hour clock, with the locale's time separator.
QString historyTimeText(const QTime &time, const QLocale &locale = QLocale::system());

// separator + date + " godzina " + time, for the moment given, in the locale given.
QString historyDateTimeSuffix(const QString &separator, const QDateTime &moment,
                              const QLocale &locale);
// The same for Clock::now() in the system's locale. The separator is " dnia " for
// most producers and "  dnia " after the fixed web-site addresses.
QString historyDateTimeSuffix(const QString &separator = QStringLiteral(" dnia "));

// A text made safe to stand as one line of the history or favourites file: control
// characters and line or paragraph separators become a space each.
QString singleLine(const QString &text);
