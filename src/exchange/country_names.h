#pragma once

#include <QString>

// Country names as other programs write them, turned into the program's own.
namespace CountryNames {

// The name from the data entry window's country list that an English, German or
// Polish country name or ISO code stands for ("Poland", "PL", "POL", "Polen" give
// "Polska"); a name it does not know is returned as given.
QString toPolish(const QString &given);

} // namespace CountryNames
