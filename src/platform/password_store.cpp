#include "platform/password_store.h"

#include <QEventLoop>
#include <QProcess>
#include <qt6keychain/keychain.h>

namespace {

const QString kService = QStringLiteral("Kartax2000");
constexpr int kCommandTimeoutMs = 30000;

// Runs a keyring job to its end in a local event loop; true when it succeeded.
bool finish(QKeychain::Job &job)
{
    job.setAutoDelete(false);
    // A plain-text file in place of a missing keyring would defeat its purpose.
    job.setInsecureFallback(false);
    bool done = false;
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&done, &loop] {
        done = true;
        loop.quit();
    });
    job.start();
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return job.error() == QKeychain::NoError;
}

// The Polish text of a failed job, with the keyring's own words appended.
QString jobError(const QKeychain::Job &job, const QString &key)
{
    const QString cause = job.errorString();
    switch (job.error()) {
    case QKeychain::EntryNotFound:
        return QStringLiteral("Brak hasła w pęku kluczy dla „%1”.").arg(key);
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
        return QStringLiteral("Pęk kluczy odmówił dostępu do hasła „%1”: %2").arg(key, cause);
    case QKeychain::CouldNotDeleteEntry:
        return QStringLiteral("Nie można usunąć hasła „%1” z pęku kluczy: %2").arg(key, cause);
    default:
        // No backend, or its service did not answer (no D-Bus session, no Secret Service).
        return QStringLiteral("Pęk kluczy pulpitu jest niedostępny: %1").arg(cause);
    }
}

// The desktop's keyring through QtKeychain.
class KeychainPasswordStore final : public PasswordStore
{
public:
    bool read(const QString &key, QString *password, QString *error) override
    {
        QKeychain::ReadPasswordJob job(kService);
        job.setKey(key);
        if (!finish(job)) {
            *error = jobError(job, key);
            return false;
        }
        *password = job.textData();
        return true;
    }

    bool write(const QString &key, const QString &password, QString *error) override
    {
        QKeychain::WritePasswordJob job(kService);
        job.setKey(key);
        job.setTextData(password);
        if (!finish(job)) {
            *error = jobError(job, key);
            return false;
        }
        return true;
    }

    bool remove(const QString &key, QString *error) override
    {
        QKeychain::DeletePasswordJob job(kService);
        job.setKey(key);
        // An entry that is not there is as removed as it gets.
        if (!finish(job) && job.error() != QKeychain::EntryNotFound) {
            *error = jobError(job, key);
            return false;
        }
        return true;
    }
};

QString firstLine(const QByteArray &output)
{
    const qsizetype end = output.indexOf('\n');
    QString line = QString::fromLocal8Bit(end < 0 ? output : output.first(end));
    if (line.endsWith(u'\r'))
        line.chop(1);
    return line;
}

} // namespace

std::unique_ptr<PasswordStore> PasswordStore::system()
{
    return std::make_unique<KeychainPasswordStore>();
}

bool runPasswordCommand(const QString &command, QString *password, QString *error)
{
    QProcess process;
#ifdef Q_OS_WIN
    process.setProgram(QStringLiteral("cmd"));
    process.setArguments({QStringLiteral("/c"), command});
#else
    process.setProgram(QStringLiteral("sh"));
    process.setArguments({QStringLiteral("-c"), command});
#endif
    // A command that asks on its input gets its end at once instead of waiting forever.
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(kCommandTimeoutMs)) {
        *error = QStringLiteral("Nie można uruchomić polecenia hasła „%1”: %2")
                     .arg(command, process.errorString());
        return false;
    }
    if (!process.waitForFinished(kCommandTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        *error = QStringLiteral("Polecenie hasła „%1” nie zakończyło się w ciągu %2 s.")
                     .arg(command)
                     .arg(kCommandTimeoutMs / 1000);
        return false;
    }
    const QString errorLine = firstLine(process.readAllStandardError()).trimmed();
    const QString said =
        errorLine.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + errorLine;
    if (process.exitStatus() == QProcess::CrashExit) {
        *error = QStringLiteral("Polecenie hasła „%1” przerwało działanie%2").arg(command, said);
        return false;
    }
    if (process.exitCode() != 0) {
        *error = QStringLiteral("Polecenie hasła „%1” zakończyło się kodem %2%3")
                     .arg(command)
                     .arg(process.exitCode())
                     .arg(said);
        return false;
    }
    const QString line = firstLine(process.readAllStandardOutput());
    if (line.isEmpty()) {
        *error = QStringLiteral("Polecenie hasła „%1” zakończyło się kodem 0, lecz nie podało "
                                "hasła%2")
                     .arg(command, said);
        return false;
    }
    *password = line;
    return true;
}
