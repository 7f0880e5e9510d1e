#include "platform/settings_store.h"

#include "platform/errors.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace {

QStringList splitKeyPath(const QString &path)
{
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

QString matchIgnoringCase(const QStringList &candidates, const QString &name)
{
    for (const QString &candidate : candidates) {
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return {};
}

} // namespace

SettingsStore::SettingsStore() : SettingsStore(defaultPath()) {}

SettingsStore::SettingsStore(const QString &iniPath)
{
#ifdef Q_OS_WIN
    Q_UNUSED(iniPath);
    m_settings =
        std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER"), QSettings::NativeFormat);
#else
    m_settings = std::make_unique<QSettings>(iniPath, QSettings::IniFormat);
#endif
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Kartax2000/Kartax2000.ini");
}

QString SettingsStore::resolveKey(const QStringList &components, bool create, bool *ok) const
{
    // Walk the path one component at a time, adopting the stored spelling of
    // each existing key so that "kax" opens what was written as "Kax".
    QStringList resolved;
    bool exists = true;
    for (const QString &component : components) {
        QString actual;
        if (exists) {
            m_settings->beginGroup(resolved.join(QLatin1Char('/')));
            actual = matchIgnoringCase(m_settings->childGroups(), component);
            m_settings->endGroup();
        }
        if (actual.isEmpty()) {
            exists = false;
            actual = component;
        }
        resolved << actual;
    }
    *ok = exists || create;
    return resolved.join(QLatin1Char('/'));
}

bool SettingsStore::openKey(const QString &path, bool create)
{
    QStringList components = splitKeyPath(path);
    if (!path.startsWith(QLatin1Char('\\')) && m_open && !m_group.isEmpty())
        components = m_group.split(QLatin1Char('/')) + components;
    bool ok = false;
    const QString group = resolveKey(components, create, &ok);
    if (!ok)
        return false;
    m_group = group;
    m_open = true;
    return true;
}

void SettingsStore::closeKey()
{
    m_group.clear();
    m_open = false;
}

QString SettingsStore::currentPath() const
{
    QString path = m_group;
    return path.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

QString SettingsStore::actualValueName(const QString &name) const
{
    if (!m_open)
        return {};
    m_settings->beginGroup(m_group);
    const QString actual = matchIgnoringCase(m_settings->childKeys(), name);
    m_settings->endGroup();
    return actual;
}

QStringList SettingsStore::valueNames() const
{
    if (!m_open)
        return {};
    m_settings->beginGroup(m_group);
    const QStringList names = m_settings->childKeys();
    m_settings->endGroup();
    return names;
}

bool SettingsStore::valueExists(const QString &name) const
{
    return !actualValueName(name).isEmpty();
}

QString SettingsStore::readString(const QString &name) const
{
    const QString actual = actualValueName(name);
    if (actual.isEmpty())
        return {};
    m_settings->beginGroup(m_group);
    const QVariant value = m_settings->value(actual);
    m_settings->endGroup();
    if (value.typeId() != QMetaType::QString)
        throw SettingsError(QStringLiteral("Invalid data type for '%1'").arg(name));
    return value.toString();
}

void SettingsStore::writeString(const QString &name, const QString &value)
{
    const auto failed = [&name] {
        return SettingsError(QStringLiteral("Failed to set data for '%1'").arg(name));
    };
    if (!m_open || name.isEmpty())
        throw failed();
    QString actual = actualValueName(name);
    if (actual.isEmpty())
        actual = name;
    m_settings->beginGroup(m_group);
    m_settings->setValue(actual, value);
    m_settings->endGroup();
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        throw failed();
}
