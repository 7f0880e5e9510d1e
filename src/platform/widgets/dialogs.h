#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

// Message dialogs and boxes behind an interface: the program asks through
// Dialogs::current(), and tests install a scripted answerer so no box ever blocks.
enum class DialogKind { Warning, Error, Information, Confirmation, Plain };
enum class DialogButton { None, Ok, Cancel, Yes, No, Abort, Retry, Ignore };

struct DialogRequest
{
    DialogKind kind = DialogKind::Plain;
    QString caption;
    QString text;
    QList<DialogButton> buttons{DialogButton::Ok};
    // Captions of the buttons in the order of `buttons`, where the usual ones would
    // not say what each does; empty for the usual captions.
    QStringList buttonTexts;
    DialogButton defaultButton = DialogButton::Ok;
    // The answer that Escape or the close box gives; None when Escape does nothing.
    DialogButton escapeButton = DialogButton::None;
};

class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // Shows the request modally and returns the button chosen.
    virtual DialogButton ask(const DialogRequest &request) = 0;

    static Dialogs &current();
    // Installs a replacement (not owned); nullptr restores the real dialogs.
    static void install(Dialogs *dialogs);
};

// The real dialogs: QMessageBox with the exact captions, texts and button labels.
class MessageBoxDialogs final : public Dialogs
{
public:
    DialogButton ask(const DialogRequest &request) override;
    static QString buttonText(DialogButton button);
};

// Shorthand for a message with one OK button.
void showMessage(DialogKind kind, const QString &caption, const QString &text);
// The application's error report: the error's text in an error box captioned
// "Kartax2000®", as for an error that escapes an event handler.
void reportError(const QString &message);
