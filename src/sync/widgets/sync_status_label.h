#pragma once

#include "dbcontrols/click_label.h"

class SyncRunner;
struct SyncReport;

// `lblSynchronizacja`, the status bar's panel of the background sync: how far a running
// sync has got, then when the last one ended and what it did, or its error in red with
// the whole message as tooltip. Hidden while no sync is set up; a click while conflict
// copies wait asks for the conflict window.
class SyncStatusLabel final : public ClickLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SyncStatusLabel)

public:
    explicit SyncStatusLabel(SyncRunner &runner, QWidget *parent = nullptr);

signals:
    void conflictsRequested();

private:
    void showStarted();
    void showProgress(int percent, const QString &step);
    void showFinished(const SyncReport &report);
    void showMessage(const QString &text, const QString &tip, bool error);

    SyncRunner &m_runner;
};
