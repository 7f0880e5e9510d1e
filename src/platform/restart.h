#pragma once

// Restart of the computer behind an interface. Nothing restarts the computer
// unless the application has installed the system's restart at start-up: until
// then every request is refused, so tests and tools can never reboot the machine.
class Restart
{
public:
    virtual ~Restart() = default;
    // Asks the system to restart the computer, letting running programs close.
    // Throws KaxError with the system's reason when the request is refused.
    virtual void reboot() = 0;

    static Restart &current();
    // Installs a replacement (not owned); nullptr restores the refusing default.
    static void install(Restart *restart);
    // Installs the system's restart (logind over D-Bus); called by the application only.
    static void installSystemRestart();
};

// The system's restart: org.freedesktop.login1.Manager.Reboot, interactive, on the
// system bus, so that the system may ask for authorisation.
class LogindRestart final : public Restart
{
public:
    void reboot() override;
};
