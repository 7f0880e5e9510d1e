#pragma once

#include <QLocale>

class QCoreApplication;

// Qt's own texts (print and file dialogs, edit boxes' context menus, standard
// buttons) in the user's language, from the translations installed with Qt.
namespace Translations {

// Installs Qt's translation for the locale into the application; false when none
// is installed for it (the texts then stay English).
bool install(QCoreApplication &application, const QLocale &locale = QLocale::system());

} // namespace Translations
