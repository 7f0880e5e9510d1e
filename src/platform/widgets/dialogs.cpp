#include "platform/widgets/dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace {

// A message box that opens centred on the screen, as the program's message dialogs
// always did, rather than over the active window.
class ScreenCentredBox final : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event); // sizes the box to its text
        const QScreen *screen = parentWidget() ? parentWidget()->screen() : this->screen();
        if (screen)
            move(screen->availableGeometry().center() - rect().center());
    }
};

Dialogs *&installed()
{
    static Dialogs *dialogs = nullptr;
    return dialogs;
}
} // namespace

Dialogs &Dialogs::current()
{
    static MessageBoxDialogs real;
    return installed() ? *installed() : real;
}

void Dialogs::install(Dialogs *dialogs)
{
    installed() = dialogs;
}

QString MessageBoxDialogs::buttonText(DialogButton button)
{
    switch (button) {
    case DialogButton::Ok:
        return QStringLiteral("OK");
    case DialogButton::Cancel:
        return QStringLiteral("Cancel");
    case DialogButton::Yes:
        return QStringLiteral("&Yes");
    case DialogButton::No:
        return QStringLiteral("&No");
    case DialogButton::Abort:
        return QStringLiteral("&Abort");
    case DialogButton::Retry:
        return QStringLiteral("&Retry");
    case DialogButton::Ignore:
        return QStringLiteral("&Ignore");
    case DialogButton::None:
        break;
    }
    return {};
}

DialogButton MessageBoxDialogs::ask(const DialogRequest &request)
{
    ScreenCentredBox box(QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(request.caption);
    box.setText(request.text);
    switch (request.kind) {
    case DialogKind::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case DialogKind::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case DialogKind::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case DialogKind::Confirmation:
        box.setIcon(QMessageBox::Question);
        break;
    case DialogKind::Plain:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    QList<QPair<QPushButton *, DialogButton>> buttons;
    for (qsizetype i = 0; i < request.buttons.size(); ++i) {
        const DialogButton button = request.buttons[i];
        const QString text =
            i < request.buttonTexts.size() ? request.buttonTexts[i] : buttonText(button);
        QPushButton *push = box.addButton(text, QMessageBox::ActionRole);
        buttons.append({push, button});
        if (button == request.defaultButton)
            box.setDefaultButton(push);
        if (button == request.escapeButton)
            box.setEscapeButton(push);
    }
    box.exec();
    for (const auto &[push, button] : std::as_const(buttons)) {
        if (box.clickedButton() == push)
            return button;
    }
    return request.escapeButton;
}

void showMessage(DialogKind kind, const QString &caption, const QString &text)
{
    DialogRequest request;
    request.kind = kind;
    request.caption = caption;
    request.text = text;
    Dialogs::current().ask(request);
}

void reportError(const QString &message)
{
    showMessage(DialogKind::Error, QStringLiteral("Kartax2000®"), message);
}
