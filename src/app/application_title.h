#pragma once

#include <QString>

// The application title, set at start-up: the name the program goes by (its main
// window's caption). Kept apart from Qt's display name, which the window system
// integration would append to every window's title.
namespace ApplicationTitle {

void set(const QString &title);
QString get();

} // namespace ApplicationTitle
