#pragma once

#include <QString>
#include <QtGlobal>

class QWidget;

// One open or save dialog: its title, its file types and the extension that a
// typed name without one receives.
struct FileDialogRequest
{
    QString title;
    QString filter; // "Description (*.EXT)", several separated by ";;"
    QString defaultSuffix;
};

// Open and save file dialogs behind an interface so that tests answer them.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;
    // The chosen path, or an empty string when the user cancels.
    virtual QString openFileName(QWidget *parent, const FileDialogRequest &request) = 0;
    virtual QString saveFileName(QWidget *parent, const FileDialogRequest &request) = 0;
    // An existing folder, chosen under the request's title; empty when the user cancels.
    // Replacements that answer no folder question give none.
    virtual QString existingFolder(QWidget *parent, const FileDialogRequest &request)
    {
        Q_UNUSED(parent);
        Q_UNUSED(request);
        return {};
    }

    static FileDialogs &current();
    // Installs a replacement (not owned); nullptr restores the real dialogs.
    static void install(FileDialogs *dialogs);
};

// The toolkit's file dialogs.
class SystemFileDialogs final : public FileDialogs
{
public:
    QString openFileName(QWidget *parent, const FileDialogRequest &request) override;
    QString saveFileName(QWidget *parent, const FileDialogRequest &request) override;
    QString existingFolder(QWidget *parent, const FileDialogRequest &request) override;
};
