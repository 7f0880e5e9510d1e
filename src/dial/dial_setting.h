#pragma once

#include "dial/telefon.h"

#include <QString>
#include <optional>

// The dialling setting: one character "0" … "7" in the string value Tel of the
// settings key Kax, naming the modem's port (COM1 … COM4) and pulse or tone, or
// "8" for the desktop's telephone (a tel: URL handed to the shell).
namespace DialSetting {

inline const QString kDesktopTelephone = QStringLiteral("8");

struct Choice
{
    TTelefon::TCPort port;
    TTelefon::TDMethod method;
};

// The port and method of a setting, compared as a whole string: "0" … "3" are
// COM1 … COM4 by pulse, "4" … "7" COM1 … COM4 by tone. Anything else (empty,
// "8", "04", " 4") names no modem.
std::optional<Choice> choice(const QString &setting);

// Reads the stored setting under the given value name (the main window reads
// "tel", the settings window "Tel"; names match without regard to case). A missing
// key or value reads as empty; a value that is not a string throws SettingsError.
QString read(const QString &valueName);

// Stores a setting under Tel, creating the key Kax when missing. False when the key
// could not be opened; throws SettingsError when the value cannot be written.
bool store(const QString &setting);

} // namespace DialSetting
