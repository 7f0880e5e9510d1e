#include "forms/form.h"

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
    setFont(windowFont());
    setFixedSize(clientSize);
}

QFont KaxForm::windowFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    return font;
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
