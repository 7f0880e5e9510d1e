#pragma once

#include <QRect>
#include <QString>

class QFrame;
class QLabel;
class QObject;
class QStatusBar;
class QToolButton;
class QWidget;

// Building blocks shared by the About and Information windows.
namespace InfoControls {

// A label at a fixed place, sized to its text; pixelSize 0 keeps the window font.
QLabel *label(QWidget *parent, const QString &name, const QString &text, int left, int top,
              int pixelSize = 0, bool bold = false);
// A sunken frame, or a sunken horizontal line when height is 2.
QFrame *bevel(QWidget *parent, const QString &name, const QRect &geometry);
// A flat button with a glyph beside its caption and a hand cursor.
QToolButton *speedButton(QWidget *parent, const QString &name, const QString &text,
                         const QString &icon, const QRect &geometry);
// The status bar along the bottom edge of the window, without a size grip.
QStatusBar *statusBar(QWidget *parent, const QString &name);
// A sunken panel of a status bar; width 0 spans the rest of the bar. The panel lets
// the mouse through to the bar, so the bar's own mouse handling sees it.
QLabel *statusPanel(QStatusBar *bar, const QString &name, int width);
// Lets `filter` see mouse moves over `widget` even with no button pressed.
void watchMouse(QWidget *widget, QObject *filter);

} // namespace InfoControls
