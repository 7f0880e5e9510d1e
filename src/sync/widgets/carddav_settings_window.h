#pragma once

#include "forms/modal_window.h"
#include "sync/dav_client.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <functional>

class PasswordStore;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class SettingsStore;
struct CardDavSettings;

// The window "Synchronizacja CardDAV": the server's address, the user, the password (kept
// in the keyring, or given by a command), the address book found on the server and how
// often to sync, stored on OK.
class TCardDavWindow final : public KaxModalWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TCardDavWindow)

public:
    enum Answer { Cancelled, Accepted };

    using Found = std::function<void(QList<DavAddressBook> books, DavError error)>;
    // Looks for the address books at an address without blocking the caller, and calls
    // `done` on the caller's thread with the books or the error.
    using Discovery = std::function<void(const QUrl &url, const QString &user,
                                         const QString &password, Found done)>;

    TCardDavWindow(SettingsStore &settings, PasswordStore &keyring, Discovery discover,
                   QWidget *parent = nullptr);

    // Discovery by DavClient on a thread of its own (carddav_discovery.cpp).
    static Discovery serverDiscovery();
    // Opens a window over the stored settings and waits; true when they were saved.
    static bool execute(QWidget *parent, SettingsStore &settings, PasswordStore &keyring,
                        Discovery discover = serverDiscovery());

    // Fills the fields from the stored settings; the password field stays empty.
    void load();
    // load(), then shows the window modally; true when OK saved the settings.
    bool edit();

    // Looks for the server's address books and offers them in cbKsiazka.
    void btnZnajdzClick();
    // Checks the fields, puts a typed password in the keyring and stores the settings;
    // on an error says why and stays open.
    void btnOKClick();
    void btnAnulujClick();

    QLineEdit *edtUrl = nullptr;
    QLineEdit *edtUser = nullptr;
    QLineEdit *edtHaslo = nullptr;
    QLineEdit *edtPolecenie = nullptr;
    QPushButton *btnZnajdz = nullptr;
    QComboBox *cbKsiazka = nullptr;
    QLabel *lblStan = nullptr;
    QSpinBox *edtInterwal = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnAnuluj = nullptr;

signals:
    // The settings were stored.
    void saved();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    CardDavSettings fromFields() const;
    // The address typed, as a web address; invalid when it is none.
    QUrl serverAddress() const;
    void showBooks(const QList<DavAddressBook> &books, const DavError &error);
    void showState(const QString &text, bool isError);
    void updatePlaceholder();

    SettingsStore &m_settings;
    PasswordStore &m_keyring;
    Discovery m_discover;
    QString m_storedKey; // the keyring entry that holds a password, empty when none
    int m_search = 0;    // counts the searches, so that only the last one's answer shows
};
