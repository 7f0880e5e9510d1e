#include "sync/sync_settings.h"

#include "platform/password_store.h"
#include "platform/settings_store.h"

namespace {

const QString kKey = QStringLiteral("\\Kax\\CardDAV");

// An address as typed: a web address, https:// assumed when it names no scheme; empty
// when it is not an http or https address with a host.
QUrl webAddress(const QString &typed)
{
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return {};
    QUrl url(text, QUrl::StrictMode);
    if (url.scheme().isEmpty() || !text.contains(QStringLiteral("://")))
        url = QUrl(QStringLiteral("https://") + text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return url;
}

} // namespace

QUrl CardDavSettings::book() const
{
    return webAddress(addressBook.isEmpty() ? url : addressBook);
}

bool CardDavSettings::configured() const
{
    return book().isValid() && !user.isEmpty();
}

CardDavSettings CardDavSettings::load(SettingsStore &store)
{
    CardDavSettings settings;
    if (!store.openKey(kKey, false))
        return settings;
    settings.url = store.readString(QStringLiteral("Url"));
    settings.user = store.readString(QStringLiteral("User"));
    settings.addressBook = store.readString(QStringLiteral("AddressBook"));
    bool ok = false;
    settings.interval = store.readString(QStringLiteral("Interval")).trimmed().toInt(&ok);
    if (!ok || settings.interval < 0)
        settings.interval = 0;
    settings.passwordCommand = store.readString(QStringLiteral("PasswordCommand"));
    store.closeKey();
    return settings;
}

void CardDavSettings::save(SettingsStore &store) const
{
    store.openKey(kKey, true);
    store.writeString(QStringLiteral("Url"), url);
    store.writeString(QStringLiteral("User"), user);
    store.writeString(QStringLiteral("AddressBook"), addressBook);
    store.writeString(QStringLiteral("Interval"), QString::number(qMax(interval, 0)));
    store.writeString(QStringLiteral("PasswordCommand"), passwordCommand);
    store.closeKey();
}

QString CardDavSettings::keyringKey() const
{
    // The server's host, not the book's path: choosing another book keeps the password.
    QUrl server = webAddress(url);
    if (server.host().isEmpty())
        server = book();
    return QStringLiteral("CardDAV %1@%2").arg(user, server.host());
}

bool CardDavSettings::password(PasswordStore &keyring, QString *password, QString *error) const
{
    if (!passwordCommand.trimmed().isEmpty())
        return runPasswordCommand(passwordCommand, password, error);
    return keyring.read(keyringKey(), password, error);
}
