#include "support/memory_keyring.h"

bool MemoryKeyring::read(const QString &key, QString *password, QString *error)
{
    ++m_reads;
    if (!m_entries.contains(key)) {
        if (error)
            *error = QStringLiteral("Brak hasła w pęku kluczy dla %1.").arg(key);
        return false;
    }
    *password = m_entries.value(key);
    return true;
}

bool MemoryKeyring::write(const QString &key, const QString &password, QString *)
{
    m_entries.insert(key, password);
    return true;
}

bool MemoryKeyring::remove(const QString &key, QString *)
{
    m_entries.remove(key);
    return true;
}
