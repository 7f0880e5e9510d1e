#pragma once

#include <QString>
#include <QUrl>

class PasswordStore;
class SettingsStore;

// The CardDAV settings under Kax\CardDAV: Url (the server or the address book), User,
// AddressBook (the chosen book's URL), Interval (minutes, 0 = by hand) and
// PasswordCommand (a command whose first output line is the password, used instead of
// the keyring). The password itself is never in the settings.
struct CardDavSettings
{
    QString url;
    QString user;
    QString addressBook;
    int interval = 0;
    QString passwordCommand;

    // The address book to sync: AddressBook, else Url.
    QUrl book() const;
    // Whether enough is set to sync (an address and a user).
    bool configured() const;

    static CardDavSettings load(SettingsStore &store);
    // Raises what the store raises when it cannot be written.
    void save(SettingsStore &store) const;

    // The keyring entry of this server and user.
    QString keyringKey() const;
    // The password: the first output line of PasswordCommand when one is set, else the
    // keyring's. False with `error` in Polish ("Polecenie hasła … zakończyło się kodem 1:
    // …", "Brak hasła w pęku kluczy…") when there is none.
    bool password(PasswordStore &keyring, QString *password, QString *error) const;
};
