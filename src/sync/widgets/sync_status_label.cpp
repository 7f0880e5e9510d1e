#include "sync/widgets/sync_status_label.h"

#include "forms/form_style.h"
#include "sync/widgets/sync_runner.h"

#include <QLocale>

namespace {

const QColor kErrorRed{176, 0, 0};

} // namespace

SyncStatusLabel::SyncStatusLabel(SyncRunner &runner, QWidget *parent)
    : ClickLabel(QString(), parent), m_runner(runner)
{
    setObjectName(QStringLiteral("lblSynchronizacja"));
    setAccessibleName(QStringLiteral("Synchronizacja"));
    setTextFormat(Qt::PlainText);
    // A long error message must not widen the fixed-size window.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setVisible(runner.configured());
    connect(&runner, &SyncRunner::configuredChanged, this, &QWidget::setVisible);
    connect(&runner, &SyncRunner::started, this, &SyncStatusLabel::showStarted);
    connect(&runner, &SyncRunner::progress, this, &SyncStatusLabel::showProgress);
    connect(&runner, &SyncRunner::finished, this, &SyncStatusLabel::showFinished);
    connect(&runner, &SyncRunner::conflictsChanged, this, [this] {
        if (m_runner.lastReport())
            showFinished(*m_runner.lastReport());
    });
    connect(this, &ClickLabel::clicked, this, [this] {
        if (m_runner.conflicts() > 0)
            emit conflictsRequested();
    });
}

void SyncStatusLabel::showStarted()
{
    showMessage(QStringLiteral("Synchronizacja…"), QString(), false);
}

void SyncStatusLabel::showProgress(int percent, const QString &step)
{
    if (!m_runner.running())
        return; // a late report of a sync that has ended
    showMessage(QStringLiteral("Synchronizacja… %1%").arg(percent), step, false);
}

void SyncStatusLabel::showFinished(const SyncReport &report)
{
    QString conflicts;
    if (m_runner.conflicts() > 0)
        conflicts = QStringLiteral("\nKonflikty do rozstrzygnięcia: %1 (kliknij, aby je otworzyć)")
                        .arg(m_runner.conflicts());
    if (report.error) {
        const QString text = QStringLiteral("Błąd synchronizacji: ") + report.error.message;
        showMessage(text, text + conflicts, true);
        return;
    }
    const QString text =
        QStringLiteral("Zsynchronizowano %1: %2")
            .arg(m_runner.lastFinished().toLocalTime().toString(QStringLiteral("HH:mm")),
                 report.summary());
    showMessage(text, text + conflicts, false);
}

void SyncStatusLabel::showMessage(const QString &text, const QString &tip, bool error)
{
    // One line, cut at the panel's edge; the tooltip has the whole of it.
    const QString line = text.simplified();
    setText(line);
    setToolTip(tip.isEmpty() ? line : tip);
    FormStyle::setTextColour(this, error ? kErrorRed : QColor(Qt::black));
    setCursor(m_runner.conflicts() > 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
}
