#include "reports/progress_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

ProgressForm::ProgressForm(QWidget *parent)
    : KaxForm(QStringLiteral("ProgressForm"), QStringLiteral("Printing progress"), QSize(149, 97),
              0, parent)
{
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowModality(Qt::ApplicationModal);

    Gauge = new QProgressBar(this);
    Gauge->setObjectName(QStringLiteral("Gauge"));
    Gauge->setGeometry(8, 10, 133, 18);
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Gauge->setTextVisible(false);
    Gauge->setAccessibleName(QStringLiteral("Printing progress"));

    Info = new QLabel(this);
    Info->setObjectName(QStringLiteral("Info"));
    Info->setGeometry(4, 34, 141, 18);
    Info->setAlignment(Qt::AlignCenter);

    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(37, 62, 75, 25);
    connect(CancelButton, &QPushButton::clicked, this, &ProgressForm::CancelButtonClick);
}

void ProgressForm::setProgress(int percent)
{
    if (percent % 5 != 0)
        return;
    Gauge->setValue(percent);
    Info->setText(QString::number(percent) + QStringLiteral("% ") + QStringLiteral(" Completed"));
}

void ProgressForm::CancelButtonClick()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    CancelButton->setEnabled(false);
    emit cancelRequested();
}

void ProgressForm::closeEvent(QCloseEvent *event)
{
    // Closing the window while the run goes on stops it, as Cancel does.
    CancelButtonClick();
    KaxForm::closeEvent(event);
}
