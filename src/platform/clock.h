#pragma once

#include <QDateTime>
#include <functional>

// The wall clock, replaceable so that tests can fix the time of dates and history lines.
namespace Clock {

QDateTime now();
// Installs a clock source; an empty function restores the system clock.
void setSource(std::function<QDateTime()> source);

} // namespace Clock
