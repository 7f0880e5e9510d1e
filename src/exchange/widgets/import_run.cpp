#include "exchange/widgets/import_run.h"

#include "exchange/contact_formats.h"
#include "exchange/contact_import.h"
#include "exchange/widgets/duplicate_window.h"
#include "exchange/widgets/import_mapping_window.h"
#include "exchange/widgets/progress_window.h"
#include "platform/errors.h"
#include "platform/termination_signals.h"
#include "platform/widgets/dialogs.h"
#include "platform/widgets/file_dialogs.h"
#include "store/book_backup.h"

namespace ImportRun {

namespace {

// A copy of the book before the import; when it fails the user chooses whether to go on.
bool backUpFirst(TTable &contacts, const std::function<bool(int)> &progress)
{
    bool stopped = false;
    try {
        BookBackup::makeBeforeChange(contacts, [&](int percent) {
            stopped = !progress(percent);
            return !stopped;
        });
        return true;
    } catch (const KaxError &error) {
        if (stopped)
            return false;
        DialogRequest request;
        request.kind = DialogKind::Warning;
        request.caption = QStringLiteral("Import kontaktów");
        request.text = QStringLiteral("Nie udało się zrobić kopii zapasowej książki przed "
                                      "importem.\n%1\n\nCzy mimo to importować?")
                           .arg(error.message());
        request.buttons = {DialogButton::Yes, DialogButton::No};
        request.defaultButton = DialogButton::No;
        request.escapeButton = DialogButton::No;
        return Dialogs::current().ask(request) == DialogButton::Yes;
    }
}

} // namespace

void run(QWidget *parent, TTable &contacts)
{
    const QString path = FileDialogs::current().openFileName(
        parent, {QStringLiteral("Import kontaktów"), ContactFormats::openFilter(), QString()});
    if (!path.isEmpty())
        runFile(parent, contacts, path);
}

void runFile(QWidget *parent, TTable &contacts, const QString &path)
{
    QString why;
    const std::optional<ContactImport::Format> format = ContactImport::formatOf(path, &why);
    if (!format) {
        reportError(QStringLiteral("Nie można odczytać pliku %1: %2").arg(path, why));
        return;
    }
    ContactImport::Options options;
    options.format = *format;
    if (*format == ContactImport::Format::Csv) {
        TImportMapping mapping(parent);
        QString error;
        if (!mapping.load(path, &error)) {
            reportError(error);
            return;
        }
        if (mapping.runModal() != TImportMapping::Accepted)
            return;
        options.encoding = mapping.encoding();
        options.mapping = mapping.mapping();
    }
    TProgressWindow progress(TProgressWindow::Kind::Import, parent);
    TDuplicateQuestion question(parent);
    // A signal that ends the program (SIGTERM at logout) stops the import as Cancel
    // does; the program then ends as the signal asks, with nothing more to say.
    const int signalsBefore = TerminationSignals::receivedCount();
    const auto ending = [signalsBefore] {
        return TerminationSignals::receivedCount() != signalsBefore;
    };
    options.progress = [&progress, &ending](qint64 contacts, int percent) {
        return !ending() && progress.update(contacts, percent);
    };
    options.askDuplicate = [&question](const ContactImport::Duplicate &duplicate) {
        return question.ask(duplicate);
    };
    progress.showForm();
    progress.update(0, 0);
    if (!backUpFirst(contacts,
                     [&](int percent) { return !ending() && progress.update(0, percent); }))
        return;
    progress.update(0, 0);
    const ContactImport::Result result = ContactImport::importFile(contacts, path, options);
    progress.hide();
    if (ending())
        return;
    if (result.cancelled)
        showMessage(DialogKind::Information, QStringLiteral("Kartax2000®"), result.error);
    else if (!result.ok)
        reportError(result.error);
    else
        showMessage(
            DialogKind::Information, QStringLiteral("Kartax2000®"),
            QStringList{result.summary() + u'.', result.notices.join(u'\n')}.join(u'\n').trimmed());
}

} // namespace ImportRun
