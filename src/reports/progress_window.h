#pragma once

#include "forms/form.h"

class QLabel;
class QProgressBar;
class QPushButton;

// `ProgressForm`: the progress window of a print run, with a bar, its text and
// a Cancel button that stops the run.
class ProgressForm final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressForm)

public:
    explicit ProgressForm(QWidget *parent = nullptr);

    // A progress report in whole per cent; shown on each multiple of 5.
    void setProgress(int percent);
    bool cancelled() const { return m_cancelled; }

    QProgressBar *Gauge = nullptr;
    QLabel *Info = nullptr;
    QPushButton *CancelButton = nullptr;

    void CancelButtonClick();

signals:
    void cancelRequested();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool m_cancelled = false;
};
