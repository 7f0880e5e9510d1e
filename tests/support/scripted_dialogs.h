#pragma once

#include "platform/widgets/dialogs.h"

#include <QList>
#include <functional>

// Answers message dialogs from a script instead of showing them, and records every
// request. Answers are taken in order from the queue; each queued entry is either
// a fixed button or a function that looks at the request (and may act, e.g. free a
// device) before answering. A request with nothing queued is answered with its
// escape button (None when it has none), counted as unexpected, and fails the
// running test when strict.
class ScriptedDialogs final : public Dialogs
{
public:
    using Handler = std::function<DialogButton(const DialogRequest &)>;

    ScriptedDialogs() = default;
    ScriptedDialogs(const ScriptedDialogs &) = delete;
    ScriptedDialogs &operator=(const ScriptedDialogs &) = delete;

    void queue(DialogButton answer);
    void queue(Handler handler);
    // Answers every later request that finds the queue empty, without counting it
    // as unexpected.
    void setFallback(Handler handler) { m_fallback = std::move(handler); }
    // Strict (the default): an unscripted request fails the running test.
    void setStrict(bool strict) { m_strict = strict; }

    DialogButton ask(const DialogRequest &request) override;

    const QList<DialogRequest> &requests() const { return m_requests; }
    // Texts of the requests, in order, for compact comparisons.
    QStringList texts() const;
    int pending() const { return int(m_queue.size()); }
    int unexpected() const { return m_unexpected; }
    void clear();

private:
    QList<Handler> m_queue;
    Handler m_fallback;
    QList<DialogRequest> m_requests;
    int m_unexpected = 0;
    bool m_strict = true;
};

// Installs dialogs for its lifetime and restores the real ones afterwards.
class DialogsGuard final
{
public:
    explicit DialogsGuard(Dialogs &dialogs) { Dialogs::install(&dialogs); }
    ~DialogsGuard() { Dialogs::install(nullptr); }
    DialogsGuard(const DialogsGuard &) = delete;
    DialogsGuard &operator=(const DialogsGuard &) = delete;
};

// ScriptedDialogs installed for its lifetime: the usual form in a test.
class InstalledScriptedDialogs final
{
public:
    InstalledScriptedDialogs() : m_guard(m_dialogs) {}
    ScriptedDialogs *operator->() { return &m_dialogs; }
    ScriptedDialogs &operator*() { return m_dialogs; }

private:
    ScriptedDialogs m_dialogs;
    DialogsGuard m_guard;
};

// Readable output of dialog values in failed comparisons.
char *toString(DialogButton button);
char *toString(DialogKind kind);
