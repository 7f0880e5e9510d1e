#pragma once

#include "forms/form.h"

#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

// `TImportProgress`: the window an import shows while it runs, with the contacts read
// so far, how much of the file is done, and a Cancel button that stops the import.
class TImportProgress final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TImportProgress)

public:
    explicit TImportProgress(QWidget *parent = nullptr);

    // Shows the count and per cent, letting the window answer now and then; false
    // once the user cancelled.
    bool update(qint64 contacts, int percent);
    bool cancelled() const { return m_cancelled; }

    QLabel *Info = nullptr;
    QProgressBar *Gauge = nullptr;
    QPushButton *CancelButton = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void cancel();

    bool m_cancelled = false;
    QElapsedTimer m_sinceRepaint;
};
