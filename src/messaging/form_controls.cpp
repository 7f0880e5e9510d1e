#include "messaging/form_controls.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QToolButton>

namespace FormControls {

QLabel *label(QWidget *parent, const QString &name, const QString &text, QPoint at)
{
    auto *result = new QLabel(text, parent);
    result->setObjectName(name);
    result->setTextFormat(Qt::PlainText);
    result->move(at);
    result->adjustSize();
    return result;
}

QToolButton *button(QWidget *parent, const QString &name, const QString &text,
                    const QString &iconName, const QRect &geometry, bool flat)
{
    auto *result = new QToolButton(parent);
    result->setObjectName(name);
    result->setText(text);
    result->setAutoRaise(flat);
    result->setFocusPolicy(flat ? Qt::NoFocus : Qt::StrongFocus);
    if (!iconName.isEmpty()) {
        result->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(iconName)));
        result->setIconSize(QSize(20, 20));
        result->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    } else {
        result->setToolButtonStyle(Qt::ToolButtonTextOnly);
    }
    result->setGeometry(geometry);
    return result;
}

QFrame *bevel(QWidget *parent, const QRect &geometry)
{
    auto *result = new QFrame(parent);
    result->setObjectName(QStringLiteral("Bevel1"));
    result->setFrameStyle(QFrame::Box | QFrame::Sunken);
    result->setGeometry(geometry);
    result->lower();
    return result;
}

} // namespace FormControls
