#pragma once

#include "forms/form.h"

class QFrame;
class QLabel;
class QLineEdit;
class QStatusBar;
class QToolButton;

// The dialling settings window "Ustawienia telefoniczne modemu": stores the modem's
// port and dialling method or the desktop's telephone, shows the setting in force
// (its button checked, its status text), and restarts the computer on request.
class TForm4 final : public KaxForm
{
    Q_OBJECT

public:
    explicit TForm4(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TForm4)

    // The status text for a stored setting; empty when the setting is not "0" … "8".
    static QString statusText(const QString &setting);

    // Each stores its own digit, "0" … "7", shows it as the setting in force and
    // announces it; a setting that cannot be stored is reported and changes nothing.
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void SpeedButton7Click();
    void SpeedButton8Click();
    // Stores "8": calls go to the desktop's telephone as tel: URLs.
    void SpeedButton10Click();
    // The setting in force: the stored one, or the last one chosen here.
    QString setting() const;
    // Asks the system to restart the computer; a refusal throws KaxError with the
    // system's reason, which the application's error report shows.
    void SpeedButton9Click();

signals:
    // A setting was chosen and stored; calls use it from now on.
    void settingStored(const QString &setting);

private:
    void FormCreate();
    void choose(const QString &setting);
    void showSetting();

    QFrame *Bevel1 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QToolButton *SpeedButton2 = nullptr;
    QToolButton *SpeedButton3 = nullptr;
    QToolButton *SpeedButton4 = nullptr;
    QToolButton *SpeedButton5 = nullptr;
    QToolButton *SpeedButton6 = nullptr;
    QToolButton *SpeedButton7 = nullptr;
    QToolButton *SpeedButton8 = nullptr;
    QToolButton *SpeedButton9 = nullptr;
    QToolButton *SpeedButton10 = nullptr;
    QStatusBar *p1 = nullptr;
    QLabel *m_panel0 = nullptr;
    QLabel *m_panel1 = nullptr;
    QLineEdit *Edit1 = nullptr;
};
