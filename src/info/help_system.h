#pragma once

#include <QObject>
#include <QString>

class QApplication;
class QWidget;
class HelpViewer;

// The program's help: the application names the help file once, windows ask for a
// topic by context number or for the finder, and F1 opens the active window's topic.
// A help file that cannot be found or read is reported in a message box.
class HelpSystem final
{
public:
    // The help file's name; a bare name is looked for, ignoring case, in the data
    // folder, then in the executable's folder, then among the program's resources.
    static void setHelpFile(const QString &name);
    static QString helpFile();
    // Where the help file is found now; empty when it is nowhere.
    static QString locateHelpFile();

    // Shows the topic of that context number (the help viewer's "context" command).
    static bool showContext(int context);
    // Shows the finder: contents, index and search (the help viewer's command 11).
    static bool showFinder();

    // Makes F1 in every window open that window's topic.
    static void installF1Handler(QApplication &app);
    // The help context of a widget: that of the program window that holds it; 0 for none.
    static int contextOf(const QWidget *widget);

    // The viewer window, once help has been shown; nullptr before.
    static HelpViewer *viewer();
};

// Application-wide event filter that turns F1 into the active window's help topic.
class HelpKeyFilter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpKeyFilter)

public:
    explicit HelpKeyFilter(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
