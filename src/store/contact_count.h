#pragma once

#include <QString>

// A number of contacts in Polish, with the noun agreeing with the number:
// "1 kontakt", "3 kontakty", "5 kontaktów", "22 kontakty".
QString contactCount(int count);
