#include "exchange/widgets/progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>

namespace {

// The texts that differ between the import's window and the export's.
struct Texts
{
    QString name;
    QString caption;
    QString count; // with the number of contacts for %1
    QString gauge;
    QString stopping;
};

const Texts &textsOf(TProgressWindow::Kind kind)
{
    static const Texts import{QStringLiteral("ImportProgress"), QStringLiteral("Import kontaktów"),
                              QStringLiteral("Wczytane kontakty: %1"),
                              QStringLiteral("Postęp importu"),
                              QStringLiteral("Przerywanie importu…")};
    static const Texts exporting{
        QStringLiteral("ExportProgress"), QStringLiteral("Eksport kontaktów"),
        QStringLiteral("Zapisane kontakty: %1"), QStringLiteral("Postęp eksportu"),
        QStringLiteral("Przerywanie eksportu…")};
    return kind == TProgressWindow::Kind::Import ? import : exporting;
}

} // namespace

TProgressWindow::TProgressWindow(Kind kind, QWidget *parent)
    : KaxForm(textsOf(kind).name, textsOf(kind).caption, QSize(320, 112), 20, parent), m_kind(kind)
{
    setWindowModality(Qt::ApplicationModal);
    Info = new QLabel(textsOf(kind).count.arg(0), this);
    Info->setObjectName(QStringLiteral("Info"));
    Info->setGeometry(12, 10, 296, 20);
    Gauge = new QProgressBar(this);
    Gauge->setObjectName(QStringLiteral("Gauge"));
    Gauge->setGeometry(12, 36, 296, 20);
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Gauge->setAccessibleName(textsOf(kind).gauge);
    CancelButton = new QPushButton(QStringLiteral("Anuluj"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(118, 74, 84, 26);
    connect(CancelButton, &QPushButton::clicked, this, &TProgressWindow::cancel);
}

bool TProgressWindow::update(qint64 contacts, int percent)
{
    // Repainting and reading input ten times a second keeps the window alive without
    // slowing the run down.
    if (!m_sinceRepaint.isValid() || m_sinceRepaint.elapsed() >= 100 || percent == 100) {
        m_sinceRepaint.start();
        Info->setText(textsOf(m_kind).count.arg(QLocale().toString(contacts)));
        Gauge->setValue(percent);
        QCoreApplication::processEvents();
    }
    return !m_cancelled;
}

void TProgressWindow::cancel()
{
    m_cancelled = true;
    CancelButton->setEnabled(false);
    Info->setText(textsOf(m_kind).stopping);
}

void TProgressWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window stops the run, as Cancel does.
    cancel();
    KaxForm::closeEvent(event);
}

void TProgressWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        cancel();
    else
        KaxForm::keyPressEvent(event);
}
