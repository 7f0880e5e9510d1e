#pragma once

#include "info/help_file.h"

#include <QTextBrowser>
#include <QWidget>

class QLabel;
class QLineEdit;
class QHBoxLayout;
class QListWidget;
class QPushButton;
class QSplitter;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

// The topic pane of the help viewer: serves "topic:N" addresses from the help
// document, so that links between topics, Back and Forward work as in a browser.
class HelpTopicBrowser final : public QTextBrowser
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpTopicBrowser)

public:
    explicit HelpTopicBrowser(QWidget *parent = nullptr);

    void setHelpDocument(const HelpDocument *document) { m_document = document; }
    QVariant loadResource(int type, const QUrl &name) override;

    static QUrl topicUrl(int context);
    // The context number of a "topic:N" address; 0 for any other address.
    static int contextOf(const QUrl &url);

private:
    const HelpDocument *m_document = nullptr;
};

// The program's help viewer: the finder (contents, index and a search box) beside
// the pane that shows one topic of the help file.
class HelpViewer final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpViewer)

public:
    explicit HelpViewer(QWidget *parent = nullptr);

    // Replaces the help document; the viewer keeps its own copy.
    void setHelpDocument(const HelpDocument &document);
    const HelpDocument &helpDocument() const { return m_document; }

    // Shows the topic of that context number; false when the document has none.
    bool showTopic(int context);
    // Shows the finder with its contents; the first topic when nothing is shown yet.
    void showFinder();
    void showIndex();
    void showSearch();

    int currentContext() const;
    QString currentTitle() const;

private:
    QHBoxLayout *buildButtonRow();
    void buildContentsPage();
    void buildIndexPage();
    void buildSearchPage();
    void buildTopicPane(QSplitter *splitter);
    void connectControls();
    // Fill the contents and the index from the help document.
    void buildContents();
    void buildIndex();
    void indexBoxEdited(const QString &text);
    void showIndexItem(QTreeWidgetItem *item);
    void searchBoxEdited(const QString &text);
    void topicChanged(const QUrl &url);
    void linkClicked(const QUrl &url);
    void present();

    HelpDocument m_document;
    bool m_placed = false; // placed on the screen at its first showing
    QToolButton *m_contentsButton = nullptr;
    QToolButton *m_backButton = nullptr;
    QToolButton *m_forwardButton = nullptr;
    QTabWidget *m_tabs = nullptr;
    QTreeWidget *m_contents = nullptr;
    QLineEdit *m_indexBox = nullptr;
    QTreeWidget *m_indexList = nullptr;
    QPushButton *m_indexShow = nullptr;
    QLineEdit *m_searchBox = nullptr;
    QListWidget *m_searchResults = nullptr;
    QLabel *m_searchStatus = nullptr;
    HelpTopicBrowser *m_browser = nullptr;
};
