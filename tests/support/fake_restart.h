#pragma once

#include "platform/restart.h"

#include <QString>

// Stands in for the system's restart while alive: counts the requests and, when
// told to, refuses them with a reason the way the system would.
class FakeRestart final : public Restart
{
public:
    FakeRestart();
    ~FakeRestart() override;
    FakeRestart(const FakeRestart &) = delete;
    FakeRestart &operator=(const FakeRestart &) = delete;

    // Throws KaxError(refusal) when a refusal is set, after counting the request.
    void reboot() override;

    int requests = 0;
    // Empty: requests are granted.
    QString refusal;
};
