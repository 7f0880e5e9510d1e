#include "forms/form_style.h"

#include <QIcon>
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

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

void makeLink(QWidget *widget, const QColor &colour)
{
    widget->setCursor(Qt::PointingHandCursor);
    QFont font = widget->font();
    font.setUnderline(true);
    widget->setFont(font);
    setTextColour(widget, colour);
}

QToolButton *flatButton(QWidget *parent, const char *name, const QString &text, QRect where,
                        const char *icon)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(text);
    button->setAccessibleName(QString(text).remove(QLatin1Char('&')).trimmed());
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus); // flat buttons are clicked, never tabbed to
    button->setCursor(Qt::PointingHandCursor);
    button->setGeometry(where);
    if (icon) {
        button->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(icon))));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    return button;
}

} // namespace FormStyle
