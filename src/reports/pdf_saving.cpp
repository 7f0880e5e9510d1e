#include "reports/pdf_saving.h"

#include "platform/widgets/dialogs.h"
#include "platform/widgets/file_dialogs.h"
#include "reports/page_renderer.h"

#include <QDir>

namespace Reports {

QString askPdfFileName(QWidget *parent)
{
    FileDialogRequest request;
    request.title = QStringLiteral("Zapisz jako PDF");
    request.filter = QStringLiteral("Dokument PDF (*.pdf)");
    request.defaultSuffix = QStringLiteral("pdf");
    return FileDialogs::current().saveFileName(parent, request);
}

QString pdfInsteadOfPrinter(QWidget *parent)
{
    DialogRequest request;
    request.kind = DialogKind::Confirmation;
    request.caption = QStringLiteral("Drukowanie");
    request.text = QStringLiteral("Nie ma zainstalowanej drukarki.\n"
                                  "Czy zapisać wydruk jako plik PDF?");
    request.buttons = {DialogButton::Yes, DialogButton::No};
    request.defaultButton = DialogButton::Yes;
    request.escapeButton = DialogButton::No;
    if (Dialogs::current().ask(request) != DialogButton::Yes)
        return {};
    return askPdfFileName(parent);
}

bool savePdf(const PreparedPages &pages, const QString &path,
             const std::function<bool(int page)> &includes)
{
    const IoResult written = PageOutput::writePdf(pages, path, includes);
    if (!written.ok)
        showMessage(DialogKind::Error, QStringLiteral("Zapisz jako PDF"),
                    QStringLiteral("Nie udało się zapisać pliku PDF %1:\n%2")
                        .arg(QDir::toNativeSeparators(path), written.error));
    return written.ok;
}

} // namespace Reports
