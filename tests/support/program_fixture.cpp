#include "support/program_fixture.h"

#include "app/main_window.h"
#include "app/program.h"
#include "platform/data_folder.h"
#include "store/data_module.h"
#include "support/memory_password_store.h"

ProgramFixture::ProgramFixture()
{
    DataFolder::setOverride(m_dir.path());
    m_program = std::make_unique<Program>(databasePath());
    m_program->usePasswordStore(std::make_unique<MemoryPasswordStore>()); // never the desktop's
    m_program->create();
}

ProgramFixture::~ProgramFixture()
{
    m_program.reset();
    DataFolder::setOverride(QString());
}

QString ProgramFixture::databasePath() const
{
    return m_dir.filePath(QStringLiteral("Kartax2000.db"));
}

TForm1 &ProgramFixture::form1()
{
    return *m_program->object<TForm1>();
}

TTable &ProgramFixture::table()
{
    return *m_program->object<TDM9>()->t1;
}
