#pragma once

#include <QString>
#include <functional>

// Where a command appends its history line: the application wires it to the
// history window's appendLine(). An empty appender drops the line.
using HistoryAppender = std::function<void(const QString &line)>;
