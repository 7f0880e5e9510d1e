#pragma once

#include <QString>
#include <QUrl>

// The shell's "open": hands a finished URL to the desktop's default handler
// (browser or mail client). Tests install a recorder so nothing is launched.
// Callers go through openWebAddress() and openLetter(), which decide what may
// be handed over at all.
class ShellOpen
{
public:
    virtual ~ShellOpen() = default;
    // Hands the URL text over as it stands; returns whether the desktop took it.
    virtual bool openUrl(const QString &url) = 0;

    static ShellOpen &current();
    // Installs a replacement (not owned); nullptr restores the real shell.
    static void install(ShellOpen *shell);

    // The URL opened for a web address: http, https and ftp addresses as they
    // are, an address without a scheme with "http://" in front. Anything else
    // (file:, a program's path, another scheme, an empty address) gives an empty
    // string: it is never opened.
    static QString webUrl(const QString &address);
    // Opens a web address in the browser; false when it was refused or not taken.
    static bool openWebAddress(const QString &address);
    // Opens a mailto: URL in the mail client; any other URL is refused.
    static bool openLetter(const QString &mailtoUrl);

    // The URL object that the desktop receives for a URL text: its
    // percent-encodings are kept, stray blanks and national letters encoded.
    static QUrl desktopUrl(const QString &url);
};

// The real shell: QDesktopServices::openUrl (xdg-open on Linux).
class DesktopShellOpen final : public ShellOpen
{
public:
    bool openUrl(const QString &url) override;
};
