#pragma once

#include <QString>

// The outcome of a file operation: done, or the reason it failed. A result to be
// looked at, never dropped.
struct [[nodiscard]] IoResult
{
    bool ok = false;
    QString error; // the reason when !ok
};
