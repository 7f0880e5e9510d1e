#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QSettings;

// Per-user settings store with registry-style keys: key paths are `\`-separated
// ("Kax\Podpis"), and key and value names are matched without regard to case.
// On Linux it is the INI file $XDG_CONFIG_HOME/Kartax2000/Kartax2000.ini; on Windows
// the same keys under HKEY_CURRENT_USER.
class SettingsStore final
{
public:
    // Opens the store at its standard place for the current user.
    SettingsStore();
    // Opens an INI file at the given path (tests, tools).
    explicit SettingsStore(const QString &iniPath);
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    static QString defaultPath();

    // Opens a key. A path starting with `\` is taken from the root, any other path
    // from the key currently open (the root after construction or closeKey()).
    // Without `create`, a key that does not exist is not opened and false is returned.
    bool openKey(const QString &path, bool create);
    void closeKey();
    bool hasCurrentKey() const { return m_open; }
    QString currentPath() const;

    // A missing key or value reads as an empty string; a value that is not a
    // string raises "Invalid data type for '<name>'".
    QString readString(const QString &name) const;
    bool valueExists(const QString &name) const;
    // Writes under the existing spelling of the name when one exists, so that
    // "nazwa3" replaces "Nazwa3". Raises "Failed to set data for '<name>'" when
    // no key is open or the store cannot be written.
    void writeString(const QString &name, const QString &value);
    QStringList valueNames() const;

private:
    QString resolveKey(const QStringList &components, bool create, bool *ok) const;
    QString actualValueName(const QString &name) const;

    std::unique_ptr<QSettings> m_settings;
    QString m_group; // QSettings group of the open key, '/'-separated
    bool m_open = false;
};
