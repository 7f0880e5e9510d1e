#pragma once

#include <QApplication>

class SingleInstance;

// The application object: reports any exception that escapes an event handler in
// a message box and carries on, and runs the program from start-up to exit.
class KartaxApplication final : public QApplication
{
    Q_OBJECT

public:
    KartaxApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
    // Runs the program, unless another copy runs already: that one then takes this
    // start's request (its window brought forward, a file given imported).
    int run();
    int run(SingleInstance &instance);

    // The application title (see ApplicationTitle).
    static void setTitle(const QString &title);
    static QString title();

    // The application-wide help file name, set at start-up.
    static void setHelpFile(const QString &name);
    static QString helpFile();
};
