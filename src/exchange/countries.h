#pragma once

#include <QStringList>

// The country names offered by the country drop-down lists: 168 entries in a
// fixed order, not sorted, repeats included.
namespace Countries {

// The list of the signature window: "POLSKA-POLAND" first, then the countries.
QStringList signatureList();
// The list of the data entry window: the same entries with "Polska" first.
QStringList entryList();

} // namespace Countries
