#pragma once

#include <QString>
#include <functional>
#include <memory>

class Program;
class TSplashFrm;

// The program's start-up: the splash window for one tick of its timer, the
// application's help file and title, every window and the data module created in
// order while the splash's progress bar advances, then the main window shown.
class Startup final
{
public:
    struct Options
    {
        int splashInterval = 1000;
        QString databaseFile; // empty: resolve the alias
        // Observes each creation: the object's name and the splash progress after it.
        std::function<void(const QString &name, int progress)> onCreated;
        // Observes the splash progress while the sort keys are rebuilt at opening.
        std::function<void(int progress)> onRebuilding;
    };

    explicit Startup(Options options) : m_options(std::move(options)) {}

    // Returns the running program with its main window shown, or nullptr when a
    // window or the data module could not be created (the error has been shown).
    // A data folder recorded in the settings that is gone is named, with the choice
    // to look for the address book or to start a new one; nothing is made unasked.
    std::unique_ptr<Program> start();

private:
    // Creates every window and the data module, advancing the splash's progress bar.
    void createProgram(Program &program, TSplashFrm &splash);

    Options m_options;
};
