#pragma once

#include <QString>
#include <QStringList>

// Starts a program detached from this one, as the shell's "open" of a program
// path does. Tests install a recorder so that nothing is really started.
class ProgramStarter
{
public:
    virtual ~ProgramStarter() = default;
    // Returns whether the program was started; callers may ignore the result.
    virtual bool startDetached(const QString &program) = 0;

    static ProgramStarter &current();
    // Installs a replacement (not owned); nullptr restores the real starter.
    static void install(ProgramStarter *starter);
};

// The real starter: a detached process, no arguments, the current directory.
class DetachedProgramStarter final : public ProgramStarter
{
public:
    bool startDetached(const QString &program) override;
};

// The system's information program: the first installed one of a list of
// well-known desktop tools, looked up on the PATH.
namespace SystemInfoTool {

// The program names looked for, in order of preference.
QStringList candidates();
// The full path of the first candidate found on the PATH; empty when none is.
QString locate();

} // namespace SystemInfoTool
