#include "support/fake_restart.h"

#include "platform/errors.h"

FakeRestart::FakeRestart()
{
    Restart::install(this);
}

FakeRestart::~FakeRestart()
{
    Restart::install(nullptr);
}

void FakeRestart::reboot()
{
    ++requests;
    if (!refusal.isEmpty())
        throw KaxError(refusal);
}
