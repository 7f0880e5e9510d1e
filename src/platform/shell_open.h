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
    // Whether the desktop has a default handler for URLs of the scheme ("tel").
    virtual bool hasHandler(const QString &scheme) = 0;

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

    // The tel: URL (RFC 3966, global number digits) for a number as typed: its
    // digits, with a "+" kept only at the front; an extension from "wew." on is
    // dropped, as the desktop's telephone cannot dial it. Empty without digits.
    static QString telUri(const QString &number);
    // The OpenStreetMap search, over https, for an address; the parts that are
    // not empty are joined with ", " and percent-encoded as one query value.
    // Empty when every part is empty.
    static QString mapUrl(const QString &street, const QString &postCode, const QString &town,
                          const QString &country);
    // Opens an address on the map in the browser; false when there is no address
    // or the desktop did not take it.
    static bool openMap(const QString &street, const QString &postCode, const QString &town,
                        const QString &country);

    // The URL object that the desktop receives for a URL text: its
    // percent-encodings are kept, stray blanks and national letters encoded.
    static QUrl desktopUrl(const QString &url);
};

// The real shell: QDesktopServices::openUrl (xdg-open on Linux); a scheme's
// handler is asked of `xdg-mime query default x-scheme-handler/<scheme>`.
class DesktopShellOpen final : public ShellOpen
{
public:
    bool openUrl(const QString &url) override;
    bool hasHandler(const QString &scheme) override;
};
