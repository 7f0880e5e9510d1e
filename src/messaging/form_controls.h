#pragma once

#include <QRect>
#include <QString>

class QFrame;
class QLabel;
class QToolButton;
class QWidget;

// Small builders for the controls of the messaging windows, placed at fixed
// positions as the windows are laid out.
namespace FormControls {

QLabel *label(QWidget *parent, const QString &name, const QString &text, QPoint at);
// A button with its caption and, when iconName is given, the picture
// :/icons/<iconName>.svg beside it; flat buttons show a frame only under the mouse.
QToolButton *button(QWidget *parent, const QString &name, const QString &text,
                    const QString &iconName, const QRect &geometry, bool flat);
// A frame bevel over the given area, kept behind every other control.
QFrame *bevel(QWidget *parent, const QRect &geometry);

} // namespace FormControls
