// kartax2000, the command users and mail clients run: the command-line modes, which
// need only the core library, run here; anything else runs the window program in
// this process's place. Loading the widget, printing and picture libraries costs more
// than a mail client's whole address query, so the query does not load them.

#include "cli/command_line.h"
#include "platform/data_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// Beside this executable (a build or a portable copy), or where an install puts it.
QString windowProgram()
{
    const QDir here(QCoreApplication::applicationDirPath());
    const QString name = QStringLiteral("kartax2000-window");
    const QString beside = here.filePath(name);
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QDir::cleanPath(here.filePath(QStringLiteral("../libexec/kartax2000/") + name));
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    if (CommandLine::requested(arguments)) {
        // What an interrupted first run left behind goes at any start, as at the window's.
        for (const QString &failure : DataFolder::removeStaleTemporaries())
            err << QStringLiteral("Nie można usunąć pliku pozostawionego przez przerwane "
                                  "uruchomienie programu: %1")
                       .arg(failure)
                << '\n';
        QTextStream out(stdout);
        return CommandLine::run(app.arguments(), out, err);
    }
    const QString window = windowProgram();
#ifdef Q_OS_UNIX
    // argv[0] stays as the user gave it: the window program's name on the desktop
    // (its window class) comes from it.
    execv(QFile::encodeName(window).constData(), argv);
    err << QStringLiteral("Nie można uruchomić programu %1: %2")
               .arg(window, QString::fromLocal8Bit(std::strerror(errno)))
        << '\n';
    return 1;
#else
    const int status = QProcess::execute(window, arguments.mid(1));
    if (status < 0)
        err << QStringLiteral("Nie można uruchomić programu %1.").arg(window) << '\n';
    return status < 0 ? 1 : status;
#endif
}
