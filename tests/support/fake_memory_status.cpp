#include "support/fake_memory_status.h"

FakeMemoryStatus::FakeMemoryStatus(qint64 availableBytes, qint64 totalBytes)
{
    figures.ok = true;
    figures.availablePhysical = availableBytes;
    figures.totalPhysical = totalBytes;
    MemoryStatus::install(this);
}

FakeMemoryStatus::~FakeMemoryStatus()
{
    MemoryStatus::install(nullptr);
}

MemoryFigures FakeMemoryStatus::query()
{
    ++queries;
    return figures;
}
