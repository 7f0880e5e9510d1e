#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QToolButton;
class QWidget;

// The look shared by the program's windows: Arial in pixel sizes, the card's
// colours, clickable links, and flat picture buttons with a hand cursor.
namespace FormStyle {

inline const QColor kNavy{0, 0, 128};
inline const QColor kMaroon{128, 0, 0};
inline const QColor kBlue{0, 0, 255};

QFont arial(int pixelSize, bool bold = false, bool italic = false);
// Sets the colour of a widget's text (labels and buttons alike).
void setTextColour(QWidget *widget, const QColor &colour);
// Hand cursor and underlined type in the given colour, as clickable card items look.
void makeLink(QWidget *widget, const QColor &colour);
// A flat button with a hand cursor, named for assistive technology by its caption,
// with the icon :/icons/<icon>.svg beside the text when an icon is given.
QToolButton *flatButton(QWidget *parent, const char *name, const QString &text, QRect where,
                        const char *icon = nullptr);

} // namespace FormStyle
