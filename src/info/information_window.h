#pragma once

#include "forms/form.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QStatusBar;
class QToolButton;

// The Information window: the logo, a text about the program, and buttons that
// open the program's help topic and start the system's information program.
class TForm5 final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm5)

public:
    explicit TForm5(QWidget *parent = nullptr);

    // The text of the information panel.
    static QString informationText();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SpeedButton1Click();
    void SpeedButton4Click();
    void SpeedButton3Click();
    void Image1MouseMove();
    void Memo1MouseMove();
    void SpeedButton1MouseMove();
    void SpeedButton4MouseMove();
    void SpeedButton3MouseMove();
    void p1MouseMove();

    QFrame *Bevel1 = nullptr;
    QLabel *Image1 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QToolButton *SpeedButton4 = nullptr;
    QToolButton *SpeedButton3 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QStatusBar *p1 = nullptr;
    QLabel *p1Panel1 = nullptr;
    QLabel *p1Panel2 = nullptr;
};
