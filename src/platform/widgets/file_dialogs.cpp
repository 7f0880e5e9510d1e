#include "platform/widgets/file_dialogs.h"

#include <QFileDialog>

namespace {
FileDialogs *&installed()
{
    static FileDialogs *dialogs = nullptr;
    return dialogs;
}

QString runDialog(QWidget *parent, const FileDialogRequest &request, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, request.title, QString(), request.filter);
    dialog.setAcceptMode(mode);
    // The open dialog accepts any name so that the caller can report a missing file.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
} // namespace

FileDialogs &FileDialogs::current()
{
    static SystemFileDialogs real;
    return installed() ? *installed() : real;
}

void FileDialogs::install(FileDialogs *dialogs)
{
    installed() = dialogs;
}

QString SystemFileDialogs::openFileName(QWidget *parent, const FileDialogRequest &request)
{
    return runDialog(parent, request, QFileDialog::AcceptOpen);
}

QString SystemFileDialogs::saveFileName(QWidget *parent, const FileDialogRequest &request)
{
    return runDialog(parent, request, QFileDialog::AcceptSave);
}

QString SystemFileDialogs::existingFolder(QWidget *parent, const FileDialogRequest &request)
{
    return QFileDialog::getExistingDirectory(parent, request.title);
}
