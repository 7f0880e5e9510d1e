#pragma once

#include "platform/password_store.h"

#include <QMap>

// A keyring in memory for tests: the entries in a map, and a switch that makes every
// call fail as a keyring that cannot be reached does.
class MemoryPasswordStore final : public PasswordStore
{
public:
    bool read(const QString &key, QString *password, QString *error) override;
    bool write(const QString &key, const QString &password, QString *error) override;
    bool remove(const QString &key, QString *error) override;

    void setReachable(bool reachable) { m_reachable = reachable; }
    const QMap<QString, QString> &entries() const { return m_entries; }

private:
    bool reachable(QString *error) const;

    QMap<QString, QString> m_entries;
    bool m_reachable = true;
};
