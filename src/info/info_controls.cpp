#include "info/info_controls.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

namespace {
// Room for the bar's own top spacing and one line of the window font in a sunken panel.
constexpr int statusBarHeight = 22;
} // namespace

namespace InfoControls {

QLabel *label(QWidget *parent, const QString &name, const QString &text, int left, int top,
              int pixelSize, bool bold)
{
    auto *result = new QLabel(text, parent);
    result->setObjectName(name);
    QFont font = parent->font();
    if (pixelSize > 0)
        font.setPixelSize(pixelSize);
    font.setBold(bold);
    result->setFont(font);
    result->move(left, top);
    result->adjustSize();
    return result;
}

QFrame *bevel(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setFrameShape(geometry.height() <= 2 ? QFrame::HLine : QFrame::Panel);
    frame->setFrameShadow(QFrame::Sunken);
    frame->setGeometry(geometry);
    return frame;
}

QToolButton *speedButton(QWidget *parent, const QString &name, const QString &text,
                         const QString &icon, const QRect &geometry)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setIcon(QIcon(icon));
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setGeometry(geometry);
    return button;
}

QStatusBar *statusBar(QWidget *parent, const QString &name)
{
    auto *bar = new QStatusBar(parent);
    bar->setObjectName(name);
    bar->setSizeGripEnabled(false);
    bar->setGeometry(0, parent->height() - statusBarHeight, parent->width(), statusBarHeight);
    return bar;
}

QLabel *statusPanel(QStatusBar *bar, const QString &name, int width)
{
    auto *panel = new QLabel(bar);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setIndent(2);
    panel->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (width > 0) {
        panel->setFixedWidth(width);
        bar->addWidget(panel);
    } else {
        bar->addWidget(panel, 1);
    }
    return panel;
}

void watchMouse(QWidget *widget, QObject *filter)
{
    widget->setMouseTracking(true);
    widget->installEventFilter(filter);
}

} // namespace InfoControls
