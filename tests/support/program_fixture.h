#pragma once

#include <QTemporaryDir>
#include <memory>

class Program;
class TForm1;
class TTable;

// The whole program's windows and data module over a database and data folder in
// a temporary folder, created as start-up creates them but without the splash.
class ProgramFixture final
{
public:
    ProgramFixture();
    ~ProgramFixture();

    Program &program() { return *m_program; }
    TForm1 &form1();
    TTable &table();
    QString folder() const { return m_dir.path(); }
    QString databasePath() const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Program> m_program;
};
