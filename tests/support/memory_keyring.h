#pragma once

#include "platform/password_store.h"

#include <QMap>

// A keyring in memory for window tests, so that none touches the desktop's: entries
// written are read back; reads of a missing one fail with a Polish message.
class MemoryKeyring final : public PasswordStore
{
public:
    bool read(const QString &key, QString *password, QString *error) override;
    bool write(const QString &key, const QString &password, QString *error) override;
    bool remove(const QString &key, QString *error) override;

    int reads() const { return m_reads; }

private:
    QMap<QString, QString> m_entries;
    int m_reads = 0;
};
