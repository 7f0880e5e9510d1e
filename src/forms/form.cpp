#include "forms/form.h"

#include "forms/form_style.h"

#include <QGuiApplication>
#include <QScreen>

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
}
