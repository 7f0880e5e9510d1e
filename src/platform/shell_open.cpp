#include "platform/shell_open.h"

#include <QDesktopServices>
#include <QProcess>
#include <QRegularExpression>
#include <QUrlQuery>

namespace {

ShellOpen *&installed()
{
    static ShellOpen *shell = nullptr;
    return shell;
}

// The scheme of a URL text, lower-cased; empty when it has none. "host:port"
// (digits after the colon) is a host, not a scheme, as a browser reads it.
QString schemeOf(const QString &text)
{
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):(.*)$"),
                                           QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = scheme.match(text);
    if (!match.hasMatch())
        return {};
    static const QRegularExpression port(QStringLiteral("^[0-9]+(/.*)?$"),
                                         QRegularExpression::DotMatchesEverythingOption);
    if (port.match(match.captured(2)).hasMatch())
        return {};
    return match.captured(1).toLower();
}

} // namespace

ShellOpen &ShellOpen::current()
{
    static DesktopShellOpen real;
    return installed() ? *installed() : real;
}

void ShellOpen::install(ShellOpen *shell)
{
    installed() = shell;
}

QString ShellOpen::webUrl(const QString &address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return {};
    const QString scheme = schemeOf(text);
    QString url;
    if (scheme.isEmpty())
        url = QStringLiteral("http://") + text;
    else if (scheme == u"http" || scheme == u"https" || scheme == u"ftp")
        url = text;
    else
        return {};
    // A path such as "/usr/bin/program" becomes "http:///usr/..." above: a web
    // address must name a host.
    const QUrl parsed = desktopUrl(url);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return {};
    return url;
}

bool ShellOpen::openWebAddress(const QString &address)
{
    const QString url = webUrl(address);
    if (url.isEmpty())
        return false;
    return current().openUrl(url);
}

bool ShellOpen::openLetter(const QString &mailtoUrl)
{
    if (schemeOf(mailtoUrl) != u"mailto")
        return false;
    return current().openUrl(mailtoUrl);
}

QString ShellOpen::telUri(const QString &number)
{
    static const QRegularExpression extension(QStringLiteral("wew\\.?"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QString main = number.left(number.indexOf(extension)).trimmed();
    QString digits;
    for (const QChar ch : main) {
        if (ch >= u'0' && ch <= u'9')
            digits += ch;
    }
    if (digits.isEmpty())
        return {};
    const bool global = main.startsWith(u'+');
    return QStringLiteral("tel:") + (global ? QStringLiteral("+") : QString()) + digits;
}

QString ShellOpen::mapUrl(const QString &street, const QString &postCode, const QString &town,
                          const QString &country)
{
    QStringList parts;
    for (const QString &part : {street, postCode, town, country}) {
        if (const QString text = part.simplified(); !text.isEmpty())
            parts << text;
    }
    if (parts.isEmpty())
        return {};
    // Every character that could end the value ('&', '#', '+', '=') is encoded, and
    // so are national letters, so the browser receives the address as one value.
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("query"),
                       QString::fromLatin1(QUrl::toPercentEncoding(parts.join(u", "))));
    QUrl url(QStringLiteral("https://www.openstreetmap.org/search"));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

bool ShellOpen::openMap(const QString &street, const QString &postCode, const QString &town,
                        const QString &country)
{
    const QString url = mapUrl(street, postCode, town, country);
    return !url.isEmpty() && current().openUrl(url);
}

QUrl ShellOpen::desktopUrl(const QString &url)
{
    return QUrl(url, QUrl::TolerantMode);
}

bool DesktopShellOpen::openUrl(const QString &url)
{
    return QDesktopServices::openUrl(desktopUrl(url));
}

bool DesktopShellOpen::hasHandler(const QString &scheme)
{
    QProcess mime;
    mime.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                            QStringLiteral("x-scheme-handler/") + scheme});
    if (!mime.waitForFinished(5000) || mime.exitStatus() != QProcess::NormalExit ||
        mime.exitCode() != 0) {
        mime.kill();
        return false;
    }
    return !mime.readAllStandardOutput().trimmed().isEmpty();
}
