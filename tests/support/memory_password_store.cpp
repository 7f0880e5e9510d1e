#include "support/memory_password_store.h"

bool MemoryPasswordStore::reachable(QString *error) const
{
    if (!m_reachable)
        *error = QStringLiteral("Pęk kluczy pulpitu jest niedostępny: brak usługi (test)");
    return m_reachable;
}

bool MemoryPasswordStore::read(const QString &key, QString *password, QString *error)
{
    if (!reachable(error))
        return false;
    const auto found = m_entries.constFind(key);
    if (found == m_entries.constEnd()) {
        *error = QStringLiteral("Brak hasła w pęku kluczy dla „%1”.").arg(key);
        return false;
    }
    *password = *found;
    return true;
}

bool MemoryPasswordStore::write(const QString &key, const QString &password, QString *error)
{
    if (!reachable(error))
        return false;
    m_entries.insert(key, password);
    return true;
}

bool MemoryPasswordStore::remove(const QString &key, QString *error)
{
    if (!reachable(error))
        return false;
    m_entries.remove(key);
    return true;
}
