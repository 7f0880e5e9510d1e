#pragma once

#include "forms/form.h"

#include <QLocale>

class QFrame;
class QLabel;
class QStatusBar;
class QToolButton;

// An amount of memory as text: up to 1 MB in kilobytes ("%.1f KB"), above it in
// megabytes ("%.1f MB"), with the locale's decimal separator and no grouping.
QString FormatMemSize(qint64 bytes, const QLocale &locale = QLocale());

// The About window: the program's name and version, its logo, and a memory meter
// of free and total physical memory measured once, when the window is created.
class TForm3 final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm3)

public:
    explicit TForm3(QWidget *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void SpeedButton1Click();
    void Image1MouseMove();
    void Kartax2000MouseMove();
    void Label8MouseMove();
    void Label9MouseMove();
    void Label10MouseMove();
    void SpeedButton1MouseMove();
    void setStatus(const QString &text);

    QFrame *Bevel1 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Kartax2000 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    QFrame *Bevel2 = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QStatusBar *p1 = nullptr;
    QLabel *p1Panel = nullptr;
};
