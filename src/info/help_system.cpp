#include "info/help_system.h"

#include "forms/form.h"
#include "info/help_file.h"
#include "info/help_viewer.h"
#include "platform/data_folder.h"
#include "platform/widgets/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPointer>
#include <optional>

namespace {

const QString caption = QStringLiteral("Pomoc programu Kartax2000®");

QString &helpFileName()
{
    static QString name = QStringLiteral("Kartax.hlp");
    return name;
}

QPointer<HelpViewer> &viewerWindow()
{
    static QPointer<HelpViewer> viewer;
    return viewer;
}

// The entry of a folder whose name equals `name` ignoring case; empty when none.
QString findInFolder(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return {};
    const QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Readable);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return {};
}

void report(DialogKind kind, const QString &text)
{
    showMessage(kind, caption, text);
}

// Reads the help file, reporting why when it cannot.
std::optional<HelpDocument> loadHelp()
{
    const QString path = HelpSystem::locateHelpFile();
    if (path.isEmpty()) {
        report(DialogKind::Error,
               QStringLiteral("Nie znaleziono pliku pomocy „%1”.").arg(HelpSystem::helpFile()));
        return std::nullopt;
    }
    HelpParseResult parsed = HelpFile::load(path);
    if (!parsed.ok) {
        report(DialogKind::Error, QStringLiteral("Nie można odczytać pliku pomocy „%1”:\n%2.")
                                      .arg(QDir::toNativeSeparators(path), parsed.error));
        return std::nullopt;
    }
    return std::move(parsed.document);
}

HelpViewer &ensureViewer()
{
    if (!viewerWindow()) {
        viewerWindow() = new HelpViewer;
        if (qApp) {
            QObject::connect(qApp, &QCoreApplication::aboutToQuit, viewerWindow(),
                             &QObject::deleteLater);
        }
    }
    return *viewerWindow();
}

} // namespace

void HelpSystem::setHelpFile(const QString &name)
{
    helpFileName() = name;
}

QString HelpSystem::helpFile()
{
    return helpFileName();
}

QString HelpSystem::locateHelpFile()
{
    const QString name = helpFileName();
    if (name.isEmpty())
        return {};
    if (QFileInfo(name).isAbsolute())
        return QFileInfo(name).isFile() ? name : QString();
    QStringList folders{DataFolder::path()};
    if (const QString exeFolder = QCoreApplication::applicationDirPath();
        !folders.contains(exeFolder)) {
        folders.append(exeFolder);
    }
    // An installed program keeps the help file in share/kartax2000.
    if (const QString shared = DataFolder::sharedFolder(); !shared.isEmpty())
        folders.append(shared);
    folders.append(QStringLiteral(":/help"));
    for (const QString &folder : std::as_const(folders)) {
        if (QString path = findInFolder(folder, name); !path.isEmpty())
            return path;
    }
    return {};
}

bool HelpSystem::showContext(int context)
{
    std::optional<HelpDocument> document = loadHelp();
    if (!document)
        return false;
    if (!document->topic(context)) {
        report(DialogKind::Warning, QStringLiteral("Plik pomocy „%1” nie zawiera tematu nr %2.")
                                        .arg(helpFile())
                                        .arg(context));
        return false;
    }
    HelpViewer &viewer = ensureViewer();
    viewer.setHelpDocument(*document);
    return viewer.showTopic(context);
}

bool HelpSystem::showFinder()
{
    std::optional<HelpDocument> document = loadHelp();
    if (!document)
        return false;
    HelpViewer &viewer = ensureViewer();
    viewer.setHelpDocument(*document);
    // The help opens at its beginning, with the contents beside it.
    viewer.showTopic(document->topics.constFirst().context);
    viewer.showFinder();
    return true;
}

void HelpSystem::installF1Handler(QApplication &app)
{
    if (app.findChild<HelpKeyFilter *>(QString(), Qt::FindDirectChildrenOnly))
        return;
    app.installEventFilter(new HelpKeyFilter(&app));
}

int HelpSystem::contextOf(const QWidget *widget)
{
    for (; widget; widget = widget->parentWidget()) {
        if (const auto *form = qobject_cast<const KaxForm *>(widget))
            return form->helpContext();
    }
    return 0;
}

HelpViewer *HelpSystem::viewer()
{
    return viewerWindow();
}

HelpKeyFilter::HelpKeyFilter(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("HelpKeyFilter"));
}

bool HelpKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier)
        return false;
    // The window that received the key, or else the active one (a message box or
    // another helper window opened over a program window).
    int context = HelpSystem::contextOf(static_cast<QWidget *>(watched));
    if (context == 0)
        context = HelpSystem::contextOf(QApplication::activeWindow());
    if (context <= 0)
        return false;
    HelpSystem::showContext(context);
    return true;
}
