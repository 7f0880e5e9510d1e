#include "app/application.h"
#include "cli/command_line.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (CommandLine::requested(arguments)) {
        // Command-line modes open no window, so they need no display.
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        return CommandLine::run(app.arguments(), out, err);
    }
    KartaxApplication app(argc, argv);
    return app.run();
}
