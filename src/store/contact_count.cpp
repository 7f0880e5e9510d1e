#include "store/contact_count.h"

QString contactCount(int count)
{
    const int ones = count % 10;
    const int tens = count % 100;
    if (count == 1)
        return QStringLiteral("1 kontakt");
    if (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14))
        return QStringLiteral("%1 kontakty").arg(count);
    return QStringLiteral("%1 kontaktów").arg(count);
}
