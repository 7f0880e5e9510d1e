#include "forms/form.h"

#include "forms/form_style.h"

#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>

namespace {

// The control that Tab reaches first in the window, as Qt focuses it when the window
// opens with no focus of its own.
QWidget *firstTabStop(QWidget *window)
{
    for (QWidget *each = window->nextInFocusChain(); each && each != window;
         each = each->nextInFocusChain()) {
        if ((each->focusPolicy() & Qt::TabFocus) && each->window() == window &&
            each->isVisibleTo(window) && each->isEnabled())
            return each;
    }
    return nullptr;
}

} // namespace

KaxForm::KaxForm(const QString &name, const QString &caption, QSize clientSize, int helpContext,
                 QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_helpContext(helpContext)
{
    setObjectName(name);
    setWindowTitle(caption);
    setFont(FormStyle::windowFont());
    setFixedSize(clientSize);
}

void KaxForm::showForm()
{
    show();
    raise();
    activateWindow();
}

void KaxForm::showEvent(QShowEvent *event)
{
    if (!m_centred) {
        m_centred = true;
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QWidget::showEvent(event);
    // The window opens with the focus where it left it, or else on the first control
    // that Tab reaches, but never on a picture button (a navigator's): a stray Space
    // would run its command. The window keeps the focus itself then, also when a
    // button becomes usable later, and Tab goes on from it.
    QWidget *focus = focusWidget();
    if (!focus || !focus->isVisibleTo(this))
        focus = firstTabStop(this);
    if (!focus || qobject_cast<QToolButton *>(focus))
        focus = this;
    if (focus != focusWidget())
        focus->setFocus(Qt::OtherFocusReason);
}
