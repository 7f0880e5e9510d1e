#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QTimer;

// The splash window `SplashFrm`: shown for one tick of its timer at start-up,
// with a progress bar that advances while the program creates its windows.
class TSplashFrm final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSplashFrm)

public:
    explicit TSplashFrm(QWidget *parent = nullptr);

    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLabel *Label6;
    QLabel *Label7;
    QLabel *Image1;
    QLabel *Image2;
    QProgressBar *ProgressBar1;
    QTimer *time;

    void timeTimer();
};
