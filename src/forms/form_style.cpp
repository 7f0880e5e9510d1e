#include "forms/form_style.h"

#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

namespace FormStyle {

QFont arial(int pixelSize, bool bold, bool italic)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

QFont windowFont()
{
    return arial(13);
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

void setBold(QWidget *widget, bool bold)
{
    QFont font = widget->font();
    font.setBold(bold);
    widget->setFont(font);
}

void makeLink(QWidget *widget, const QColor &colour)
{
    widget->setCursor(Qt::PointingHandCursor);
    QFont font = widget->font();
    font.setUnderline(true);
    widget->setFont(font);
    setTextColour(widget, colour);
}

QIcon icon(const QString &name)
{
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(name));
}

QLabel *label(QWidget *parent, const QString &name, const QString &text, QPoint at)
{
    auto *result = new QLabel(text, parent);
    result->setObjectName(name);
    result->setTextFormat(Qt::PlainText);
    result->move(at);
    result->adjustSize();
    return result;
}

QLabel *label(QWidget *parent, const QString &name, const QString &text, QPoint at,
              const QFont &font)
{
    auto *result = new QLabel(text, parent);
    result->setObjectName(name);
    result->setTextFormat(Qt::PlainText);
    result->setFont(font); // before the label is sized to its text
    result->move(at);
    result->adjustSize();
    return result;
}

QLabel *buddyLabel(QWidget *parent, const QString &text, QWidget *buddy)
{
    auto *result = new QLabel(text, parent);
    result->setBuddy(buddy);
    result->setWordWrap(true);
    return result;
}

QFrame *bevel(QWidget *parent, const QString &name, const QRect &where, int style)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setFrameStyle(style);
    if (!where.isNull())
        frame->setGeometry(where);
    return frame;
}

QToolButton *toolButton(QWidget *parent, const QString &name, const QString &text,
                        const QRect &where, const ButtonLook &look)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    if (look.namedByCaption)
        button->setAccessibleName(QString(text).remove(QLatin1Char('&')).trimmed());
    if (!look.icon.isNull()) {
        button->setIcon(look.icon);
        if (look.iconSize.isValid())
            button->setIconSize(look.iconSize);
        button->setToolButtonStyle(look.styleWithIcon);
    } else {
        button->setToolButtonStyle(look.styleWithoutIcon);
    }
    button->setAutoRaise(look.flat);
    button->setFocusPolicy(Qt::NoFocus);
    if (look.handCursor)
        button->setCursor(Qt::PointingHandCursor);
    if (!where.isNull())
        button->setGeometry(where);
    return button;
}

QToolButton *flatButton(QWidget *parent, const QString &name, const QString &text,
                        const QRect &where, const QString &iconName)
{
    return toolButton(
        parent, name, text, where,
        {.icon = iconName.isEmpty() ? QIcon() : icon(iconName), .namedByCaption = true});
}

ButtonLook glyphLook(const QString &iconName, bool flat, bool handCursor)
{
    ButtonLook look{
        .flat = flat, .handCursor = handCursor, .styleWithoutIcon = Qt::ToolButtonTextOnly};
    if (!iconName.isEmpty()) {
        look.icon = icon(iconName);
        look.iconSize = QSize(20, 20);
    }
    return look;
}

QStatusBar *statusBar(QWidget *parent, const QString &name, int height)
{
    auto *bar = new QStatusBar(parent);
    bar->setObjectName(name);
    bar->setSizeGripEnabled(false);
    bar->setGeometry(0, parent->height() - height, parent->width(), height);
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

} // namespace FormStyle
