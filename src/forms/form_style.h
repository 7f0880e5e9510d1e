#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QRect>
#include <QSize>
#include <QString>

class QLabel;
class QObject;
class QStatusBar;
class QToolButton;
class QWidget;

// The program's widget kit: Arial in pixel sizes, the card's colours, clickable
// links, and builders for the labels, frames, buttons and status bars of the windows,
// placed at fixed positions. Every builder takes its parent, then the object name,
// then the caption and the place.
namespace FormStyle {

inline const QColor kNavy{0, 0, 128};
inline const QColor kMaroon{128, 0, 0};
inline const QColor kBlue{0, 0, 255};

QFont arial(int pixelSize, bool bold = false, bool italic = false);
// The windows' own type: Arial 13 px.
QFont windowFont();
// Sets the colour of a widget's text (labels and buttons alike).
void setTextColour(QWidget *widget, const QColor &colour);
// Makes the widget's own type bold, or explicitly not.
void setBold(QWidget *widget, bool bold = true);
// Hand cursor and underlined type in the given colour, as clickable card items look.
void makeLink(QWidget *widget, const QColor &colour);
// The picture :/icons/<name>.svg of the program's resources.
QIcon icon(const QString &name);

// A label at a fixed place, sized to its text, which shows as typed (never as markup).
QLabel *label(QWidget *parent, const QString &name, const QString &text, QPoint at);
// The same in a type of its own.
QLabel *label(QWidget *parent, const QString &name, const QString &text, QPoint at,
              const QFont &font);
// A caption for a control in a layout, wrapping its text; its mnemonic focuses buddy.
QLabel *buddyLabel(QWidget *parent, const QString &text, QWidget *buddy);

// A frame over the given area: a sunken box by default, or the given shape and shadow
// (a sunken panel, a dividing line). An empty name leaves the frame unnamed; a null
// place leaves it to a layout.
QFrame *bevel(QWidget *parent, const QString &name, const QRect &where,
              int style = QFrame::Box | QFrame::Sunken);

// How a kit button looks and behaves beyond its name, caption and place. Every kit
// button, flat or raised, is clicked or pressed by its accelerator and never takes
// the focus: a Space or Enter meant for another window never runs its command.
struct ButtonLook
{
    QIcon icon = {};     // shown beside the caption when set
    QSize iconSize = {}; // the style's size when not valid
    bool flat = true;    // a frame only under the mouse
    bool handCursor = true;
    bool namedByCaption = false; // accessible name: the caption without '&' and blanks
    // The button style with an icon: the caption beside it, or the picture alone.
    Qt::ToolButtonStyle styleWithIcon = Qt::ToolButtonTextBesideIcon;
    // The button style without an icon; Qt's default shows the caption alone as well.
    Qt::ToolButtonStyle styleWithoutIcon = Qt::ToolButtonIconOnly;
};
// A tool button as the look says; a null place leaves it to a layout.
QToolButton *toolButton(QWidget *parent, const QString &name, const QString &text,
                        const QRect &where, const ButtonLook &look = {});
// A flat button with a hand cursor, named for assistive technology by its caption, with the picture
// iconName beside the text when one is given.
QToolButton *flatButton(QWidget *parent, const QString &name, const QString &text,
                        const QRect &where, const QString &iconName = QString());
// The look of the letter and favourites windows' buttons: 20-pixel pictures, the
// caption alone without one, and the arrow cursor unless handCursor.
ButtonLook glyphLook(const QString &iconName, bool flat, bool handCursor = false);

// The status bar along the bottom edge of the window, without a size grip; the default
// height has room for the bar's own top spacing and one line of the window font in a
// sunken panel.
QStatusBar *statusBar(QWidget *parent, const QString &name, int height = 22);
// A sunken panel of a status bar; width 0 spans the rest of the bar. The panel lets
// the mouse through to the bar, so the bar's own mouse handling sees it.
QLabel *statusPanel(QStatusBar *bar, const QString &name, int width);
// Lets `filter` see mouse moves over `widget` even with no button pressed.
void watchMouse(QWidget *widget, QObject *filter);

} // namespace FormStyle
