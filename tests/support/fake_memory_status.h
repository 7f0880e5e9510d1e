#pragma once

#include "platform/memory_status.h"

// Stands in for the system's memory query while alive: answers fixed figures and
// counts how often it was asked.
class FakeMemoryStatus final : public MemoryStatus
{
public:
    FakeMemoryStatus(qint64 availableBytes, qint64 totalBytes);
    ~FakeMemoryStatus() override;
    FakeMemoryStatus(const FakeMemoryStatus &) = delete;
    FakeMemoryStatus &operator=(const FakeMemoryStatus &) = delete;

    MemoryFigures query() override;

    MemoryFigures figures;
    int queries = 0;
};
