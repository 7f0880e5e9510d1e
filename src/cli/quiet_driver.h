#pragma once

#include <QByteArray>

// While it lives, keeps the database driver's warnings off the command's error output,
// and a server's notices too (the client library would print them there in the
// server's language).
class QuietDriver final
{
public:
    QuietDriver();
    ~QuietDriver();
    QuietDriver(const QuietDriver &) = delete;
    QuietDriver &operator=(const QuietDriver &) = delete;

private:
    static constexpr char kServerOptions[] = "PGOPTIONS";
    QByteArray m_options;
};
