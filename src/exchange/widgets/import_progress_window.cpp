#include "exchange/widgets/import_progress_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>

TImportProgress::TImportProgress(QWidget *parent)
    : KaxForm(QStringLiteral("ImportProgress"), QStringLiteral("Import kontaktów"), QSize(320, 112),
              20, parent)
{
    setWindowModality(Qt::ApplicationModal);
    Info = new QLabel(QStringLiteral("Wczytane kontakty: 0"), this);
    Info->setObjectName(QStringLiteral("Info"));
    Info->setGeometry(12, 10, 296, 20);
    Gauge = new QProgressBar(this);
    Gauge->setObjectName(QStringLiteral("Gauge"));
    Gauge->setGeometry(12, 36, 296, 20);
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Gauge->setAccessibleName(QStringLiteral("Postęp importu"));
    CancelButton = new QPushButton(QStringLiteral("Anuluj"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(118, 74, 84, 26);
    connect(CancelButton, &QPushButton::clicked, this, &TImportProgress::cancel);
}

bool TImportProgress::update(qint64 contacts, int percent)
{
    // Repainting and reading input ten times a second keeps the window alive without
    // slowing the import down.
    if (!m_sinceRepaint.isValid() || m_sinceRepaint.elapsed() >= 100 || percent == 100) {
        m_sinceRepaint.start();
        Info->setText(QStringLiteral("Wczytane kontakty: %1").arg(QLocale().toString(contacts)));
        Gauge->setValue(percent);
        QCoreApplication::processEvents();
    }
    return !m_cancelled;
}

void TImportProgress::cancel()
{
    m_cancelled = true;
    CancelButton->setEnabled(false);
    Info->setText(QStringLiteral("Przerywanie importu…"));
}

void TImportProgress::closeEvent(QCloseEvent *event)
{
    // Closing the window stops the import, as Cancel does.
    cancel();
    KaxForm::closeEvent(event);
}

void TImportProgress::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        cancel();
    else
        KaxForm::keyPressEvent(event);
}
