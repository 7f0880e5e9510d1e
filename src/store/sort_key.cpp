#include "store/sort_key.h"

#include "platform/errors.h"

#include <unicode/ucol.h>
#include <unicode/uversion.h>

#include <QVarLengthArray>

SortKeyCollator &SortKeyCollator::instance()
{
    static SortKeyCollator collator;
    return collator;
}

SortKeyCollator::SortKeyCollator()
{
    UErrorCode status = U_ZERO_ERROR;
    m_collator = ucol_open("pl", &status);
    if (U_FAILURE(status))
        throw DatabaseError(
            QStringLiteral("Brak polskiego porządku alfabetycznego w bibliotece ICU: %1")
                .arg(QString::fromLatin1(u_errorName(status))));
    // Secondary strength: letters and their Polish diacritics differ, case does not.
    ucol_setStrength(m_collator, UCOL_SECONDARY);
    UVersionInfo info;
    ucol_getVersion(m_collator, info);
    char text[U_MAX_VERSION_STRING_LENGTH] = {};
    u_versionToString(info, text);
    m_version = QStringLiteral("icu-pl-2:%1").arg(QString::fromLatin1(text));
}

SortKeyCollator::~SortKeyCollator()
{
    ucol_close(m_collator);
}

QByteArray SortKeyCollator::key(const QString &text) const
{
    const auto *chars = reinterpret_cast<const UChar *>(text.utf16());
    const auto length = static_cast<int32_t>(text.size());
    QVarLengthArray<uint8_t, 256> buffer(256);
    int32_t needed = ucol_getSortKey(m_collator, chars, length, buffer.data(),
                                     static_cast<int32_t>(buffer.size()));
    if (needed > buffer.size()) {
        buffer.resize(needed);
        needed = ucol_getSortKey(m_collator, chars, length, buffer.data(), needed);
    }
    // The key ends with a NUL byte that carries no order; leave it out.
    if (needed > 0 && buffer[needed - 1] == 0)
        --needed;
    return QByteArray(reinterpret_cast<const char *>(buffer.data()), needed);
}
