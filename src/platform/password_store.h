#pragma once

#include <QString>
#include <memory>

// Passwords kept in the desktop's keyring (Secret Service on Linux, the credential store
// on Windows), never in the settings file. Calls wait for the keyring's answer.
class PasswordStore
{
public:
    virtual ~PasswordStore() = default;
    // False with `error` in Polish when the keyring has no such entry or cannot be reached.
    virtual bool read(const QString &key, QString *password, QString *error) = 0;
    virtual bool write(const QString &key, const QString &password, QString *error) = 0;
    virtual bool remove(const QString &key, QString *error) = 0;

    // The desktop's keyring, through QtKeychain, under the service "Kartax2000".
    static std::unique_ptr<PasswordStore> system();
};

// Runs a password command (`sh -c` on Linux, `cmd /c` on Windows) and gives its first
// output line. False with `error` naming the command and its exit code or error output.
bool runPasswordCommand(const QString &command, QString *password, QString *error);
