#pragma once

#include <QString>

class QWidget;

// Types text into a widget key by key, Polish letters and line breaks included,
// as a user would (QTest::keyClicks takes only ASCII).
void typeText(QWidget *widget, const QString &text);
