#pragma once

#include <QWidget>

// Base of the program's windows: a fixed client size, centred on the screen at
// first show, the window font (Arial 13 px), a help context for F1, and a close
// box that only hides the window. Every window is created once at start-up.
class KaxForm : public QWidget
{
    Q_OBJECT

public:
    KaxForm(const QString &name, const QString &caption, QSize clientSize, int helpContext,
            QWidget *parent = nullptr);

    int helpContext() const { return m_helpContext; }
    // The program's "show": make the window visible, non-modally, and raise it.
    void showForm();

protected:
    void showEvent(QShowEvent *event) override;

private:
    int m_helpContext = 0;
    bool m_centred = false;
};
