#include "exchange/widgets/export_run.h"

#include "exchange/contact_export.h"
#include "exchange/contact_formats.h"
#include "exchange/widgets/progress_window.h"
#include "platform/termination_signals.h"
#include "platform/widgets/dialogs.h"
#include "platform/widgets/file_dialogs.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <algorithm>

namespace ExportRun {

namespace {

// An export that ends sooner shows only the wait cursor; a longer one its progress.
constexpr qint64 kQuietMs = 500;

// Writes the contacts to the path with the progress window and the final report.
void exportTo(QWidget *parent, const TTable &contacts, const QString &path,
              ContactExport::Format format)
{
    TProgressWindow progress(TProgressWindow::Kind::Export, parent);
    // A signal that ends the program (SIGTERM at logout) stops the export as Cancel
    // does, leaving the file as it was; the program then ends as the signal asks.
    const int signalsBefore = TerminationSignals::receivedCount();
    const auto ending = [signalsBefore] {
        return TerminationSignals::receivedCount() != signalsBefore;
    };
    QElapsedTimer running;
    running.start();
    bool waitCursor = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const ContactExport::Result result =
        ContactExport::exportTable(contacts, path, format, [&](qint64 written, qint64 total) {
            if (ending())
                return false;
            if (progress.isHidden()) {
                if (running.elapsed() < kQuietMs)
                    return true;
                QGuiApplication::restoreOverrideCursor();
                waitCursor = false;
                progress.showForm();
            }
            return progress.update(written, int(written * 100 / std::max<qint64>(1, total)));
        });
    if (waitCursor)
        QGuiApplication::restoreOverrideCursor();
    const bool cancelled = progress.cancelled();
    progress.hide();
    if (ending())
        return;
    if (cancelled)
        showMessage(DialogKind::Information, QStringLiteral("Kartax2000®"), result.error);
    else if (!result.ok)
        reportError(result.error);
    else
        showMessage(
            DialogKind::Information, QStringLiteral("Kartax2000®"),
            QStringLiteral("Liczba zapisanych kontaktów: %1.\n%2: %3")
                .arg(result.written)
                .arg(QFileInfo(path).isDir() ? QStringLiteral("Folder") : QStringLiteral("Plik"),
                     path));
}

} // namespace

void run(QWidget *parent, const TTable &contacts)
{
    const QString path = FileDialogs::current().saveFileName(
        parent, {QStringLiteral("Eksport kontaktów"), ContactFormats::saveFilter(),
                 ContactFormats::saveSuffix()});
    if (path.isEmpty())
        return;
    const std::optional<ContactExport::Format> format = ContactExport::formatForPath(path);
    if (!format) {
        reportError(QStringLiteral("Plik kontaktów musi mieć rozszerzenie %1.")
                        .arg(ContactFormats::savedExtensions()));
        return;
    }
    exportTo(parent, contacts, path, *format);
}

void runToFolder(QWidget *parent, const TTable &contacts)
{
    const QString folder = FileDialogs::current().existingFolder(
        parent, {QStringLiteral("Eksport kontaktów do folderu wizytówek vCard"), {}, {}});
    if (!folder.isEmpty())
        exportTo(parent, contacts, folder, ContactExport::Format::VCard4);
}

} // namespace ExportRun
