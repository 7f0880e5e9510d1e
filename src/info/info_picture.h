#pragma once

#include <QPixmap>
#include <QString>

class QWidget;

// Draws one of the program's SVG pictures at a given size, stretched to it, sharp
// on the screen that shows `widget`. An unreadable picture gives an empty pixmap.
QPixmap renderPicture(const QString &resource, QSize size, const QWidget *widget);
