#include "dial/dial_setting.h"

#include "platform/settings_store.h"

#include <array>
#include <utility>

namespace {

using Choice = DialSetting::Choice;

// The call command tests the values in this order, each as a separate comparison.
const std::array<std::pair<QLatin1String, Choice>, 8> kChoices{{
    {QLatin1String("4"), {TTelefon::COM1, TTelefon::dmTone}},
    {QLatin1String("5"), {TTelefon::COM2, TTelefon::dmTone}},
    {QLatin1String("6"), {TTelefon::COM3, TTelefon::dmTone}},
    {QLatin1String("7"), {TTelefon::COM4, TTelefon::dmTone}},
    {QLatin1String("0"), {TTelefon::COM1, TTelefon::dmPulse}},
    {QLatin1String("1"), {TTelefon::COM2, TTelefon::dmPulse}},
    {QLatin1String("2"), {TTelefon::COM3, TTelefon::dmPulse}},
    {QLatin1String("3"), {TTelefon::COM4, TTelefon::dmPulse}},
}};

} // namespace

namespace DialSetting {

std::optional<Choice> choice(const QString &setting)
{
    for (const auto &[value, mapped] : kChoices) {
        if (setting == value)
            return mapped;
    }
    return std::nullopt;
}

QString read(const QString &valueName)
{
    SettingsStore store;
    if (!store.openKey(QStringLiteral("Kax"), false))
        return {};
    return store.readString(valueName);
}

bool store(const QString &setting)
{
    SettingsStore store;
    if (!store.openKey(QStringLiteral("\\Kax"), true))
        return false;
    store.writeString(QStringLiteral("Tel"), setting);
    return true;
}

} // namespace DialSetting
