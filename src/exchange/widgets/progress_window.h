#pragma once

#include "forms/form.h"

#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

// `TProgressWindow`: the window an import or an export shows while it runs, with the
// contacts read or written so far, how much is done, and a Cancel button that stops it.
class TProgressWindow final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TProgressWindow)

public:
    enum class Kind { Import, Export };

    explicit TProgressWindow(Kind kind, QWidget *parent = nullptr);

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

    Kind m_kind;
    bool m_cancelled = false;
    QElapsedTimer m_sinceRepaint;
};
