#include "cli/quiet_driver.h"

#include <QStringList>
#include <QtGlobal>
#include <algorithm>

namespace {

QtMessageHandler g_previousHandler = nullptr;

// The database driver's own warnings, in English, as a server goes away mid-statement;
// the command reports the failure itself, in Polish.
void withoutDriverWarnings(QtMsgType type, const QMessageLogContext &context,
                           const QString &message)
{
    static const QStringList driverWarnings{QStringLiteral("QPSQLDriver::"),
                                            QStringLiteral("QPSQLResult::"),
                                            QStringLiteral("Unable to free statement")};
    const bool driver =
        type == QtWarningMsg &&
        (std::any_of(driverWarnings.begin(), driverWarnings.end(),
                     [&message](const QString &start) { return message.startsWith(start); }) ||
         (message.startsWith(u"QSqlQuery::") && message.endsWith(u"database not open")));
    if (!driver && g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

QuietDriver::QuietDriver() : m_options(qgetenv(kServerOptions))
{
    g_previousHandler = qInstallMessageHandler(withoutDriverWarnings);
    if (!m_options.contains("client_min_messages"))
        qputenv(kServerOptions, (m_options + " -c client_min_messages=error").trimmed());
}

QuietDriver::~QuietDriver()
{
    qInstallMessageHandler(g_previousHandler);
    if (m_options.isEmpty())
        qunsetenv(kServerOptions);
    else
        qputenv(kServerOptions, m_options);
}
