#include "support/scripted_dialogs.h"

#include <QTest>
#include <stdexcept>

namespace {

// A loop that keeps asking unscripted questions (a Retry loop) is ended here.
constexpr int kUnexpectedLimit = 1000;

const char *buttonName(DialogButton button)
{
    switch (button) {
    case DialogButton::None:
        return "None";
    case DialogButton::Ok:
        return "Ok";
    case DialogButton::Cancel:
        return "Cancel";
    case DialogButton::Yes:
        return "Yes";
    case DialogButton::No:
        return "No";
    case DialogButton::Abort:
        return "Abort";
    case DialogButton::Retry:
        return "Retry";
    case DialogButton::Ignore:
        return "Ignore";
    }
    return "?";
}

const char *kindName(DialogKind kind)
{
    switch (kind) {
    case DialogKind::Warning:
        return "Warning";
    case DialogKind::Error:
        return "Error";
    case DialogKind::Information:
        return "Information";
    case DialogKind::Confirmation:
        return "Confirmation";
    case DialogKind::Plain:
        return "Plain";
    }
    return "?";
}

} // namespace

void ScriptedDialogs::queue(DialogButton answer)
{
    m_queue.append([answer](const DialogRequest &) { return answer; });
}

void ScriptedDialogs::queue(Handler handler)
{
    m_queue.append(std::move(handler));
}

DialogButton ScriptedDialogs::ask(const DialogRequest &request)
{
    m_requests.append(request);
    if (!m_queue.isEmpty()) {
        const Handler handler = m_queue.takeFirst();
        return handler(request);
    }
    if (m_fallback)
        return m_fallback(request);
    ++m_unexpected;
    if (m_strict && m_unexpected == 1) {
        const QByteArray message =
            "Unscripted dialog \"" + request.caption.toUtf8() + "\": " + request.text.toUtf8();
        QTest::qFail(message.constData(), __FILE__, __LINE__);
    }
    if (m_unexpected >= kUnexpectedLimit)
        throw std::runtime_error("Too many unscripted dialogs");
    return request.escapeButton;
}

QStringList ScriptedDialogs::texts() const
{
    QStringList result;
    for (const DialogRequest &request : m_requests)
        result.append(request.text);
    return result;
}

void ScriptedDialogs::clear()
{
    m_queue.clear();
    m_requests.clear();
    m_unexpected = 0;
}

char *toString(DialogButton button)
{
    return qstrdup(buttonName(button));
}

char *toString(DialogKind kind)
{
    return qstrdup(kindName(kind));
}
