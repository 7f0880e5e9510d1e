#include "info/help_viewer.h"

#include "forms/form_style.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace {

constexpr int ContextRole = Qt::UserRole;
constexpr QLatin1StringView topicScheme("topic");

} // namespace

HelpTopicBrowser::HelpTopicBrowser(QWidget *parent) : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("topicView"));
    setOpenLinks(false);
    document()->setDefaultStyleSheet(
        QStringLiteral("h2 { color: #000080; } h3 { color: #800000; } td { padding: 2px 6px; }"
                       "a { color: #0000ff; }"));
}

QUrl HelpTopicBrowser::topicUrl(int context)
{
    QUrl url;
    url.setScheme(topicScheme);
    url.setPath(QString::number(context));
    return url;
}

int HelpTopicBrowser::contextOf(const QUrl &url)
{
    if (url.scheme() != topicScheme)
        return 0;
    bool ok = false;
    const int context = url.path().toInt(&ok);
    return ok ? context : 0;
}

QVariant HelpTopicBrowser::loadResource(int type, const QUrl &name)
{
    if (type == QTextDocument::HtmlResource && m_document) {
        if (const HelpTopic *topic = m_document->topic(contextOf(name))) {
            const QString title = topic->title.toHtmlEscaped();
            return QStringLiteral("<html><head><title>%1</title></head><body><h2>%1</h2>%2"
                                  "</body></html>")
                .arg(title, topic->body);
        }
    }
    // Pictures and anything else come from the program's resources only.
    if (name.scheme() == u"qrc")
        return QTextBrowser::loadResource(type, name);
    return {};
}

HelpViewer::HelpViewer(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Pomoc programu Kartax2000®"));
    setFont(FormStyle::windowFont());
    resize(820, 560);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(6, 6, 6, 6);
    rows->setSpacing(4);
    rows->addLayout(buildButtonRow());

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setChildrenCollapsible(false);
    rows->addWidget(splitter, 1);

    m_tabs = new QTabWidget(splitter);
    m_tabs->setObjectName(QStringLiteral("finder"));
    buildContentsPage();
    buildIndexPage();
    buildSearchPage();
    buildTopicPane(splitter);

    splitter->addWidget(m_tabs);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({300, 520});

    connectControls();
}

// Tematy pomocy, Wstecz and Dalej, in a row of their own.
QHBoxLayout *HelpViewer::buildButtonRow()
{
    auto *buttons = new QHBoxLayout;
    using FormStyle::toolButton;
    m_contentsButton =
        toolButton(this, QStringLiteral("contentsButton"), QStringLiteral("&Tematy pomocy"),
                   QRect(), {.icon = style()->standardIcon(QStyle::SP_FileDialogContentsView)});
    m_backButton = toolButton(this, QStringLiteral("backButton"), QStringLiteral("&Wstecz"),
                              QRect(), {.icon = style()->standardIcon(QStyle::SP_ArrowBack)});
    m_forwardButton = toolButton(this, QStringLiteral("forwardButton"), QStringLiteral("&Dalej"),
                                 QRect(), {.icon = style()->standardIcon(QStyle::SP_ArrowForward)});
    buttons->addWidget(m_contentsButton);
    buttons->addWidget(m_backButton);
    buttons->addWidget(m_forwardButton);
    buttons->addStretch();
    return buttons;
}

// Contents: chapters with their topics, in the order of the help file.
void HelpViewer::buildContentsPage()
{
    m_contents = new QTreeWidget(m_tabs);
    m_contents->setObjectName(QStringLiteral("contents"));
    m_contents->setHeaderHidden(true);
    m_contents->setAccessibleName(QStringLiteral("Spis treści"));
    m_tabs->addTab(m_contents, QStringLiteral("&Spis treści"));
}

// Index: keywords in alphabetical order; typing selects the nearest one.
void HelpViewer::buildIndexPage()
{
    auto *indexPage = new QWidget(m_tabs);
    auto *indexLayout = new QVBoxLayout(indexPage);
    m_indexBox = new QLineEdit(indexPage);
    m_indexBox->setObjectName(QStringLiteral("indexBox"));
    m_indexList = new QTreeWidget(indexPage);
    m_indexList->setObjectName(QStringLiteral("indexList"));
    m_indexList->setHeaderHidden(true);
    m_indexList->setRootIsDecorated(true);
    m_indexList->setAccessibleName(QStringLiteral("Indeks"));
    m_indexShow = new QPushButton(QStringLiteral("&Wyświetl"), indexPage);
    m_indexShow->setObjectName(QStringLiteral("indexShow"));
    indexLayout->addWidget(FormStyle::buddyLabel(
        indexPage, QStringLiteral("Wpisz pierwsze litery szukanego hasła:"), m_indexBox));
    indexLayout->addWidget(m_indexBox);
    indexLayout->addWidget(m_indexList, 1);
    indexLayout->addWidget(m_indexShow, 0, Qt::AlignRight);
    m_tabs->addTab(indexPage, QStringLiteral("&Indeks"));
}

// Search: topics that hold every word typed.
void HelpViewer::buildSearchPage()
{
    auto *searchPage = new QWidget(m_tabs);
    auto *searchLayout = new QVBoxLayout(searchPage);
    m_searchBox = new QLineEdit(searchPage);
    m_searchBox->setObjectName(QStringLiteral("searchBox"));
    m_searchBox->setClearButtonEnabled(true);
    m_searchResults = new QListWidget(searchPage);
    m_searchResults->setObjectName(QStringLiteral("searchResults"));
    m_searchResults->setAccessibleName(QStringLiteral("Znalezione tematy"));
    m_searchStatus = new QLabel(searchPage);
    m_searchStatus->setObjectName(QStringLiteral("searchStatus"));
    searchLayout->addWidget(FormStyle::buddyLabel(
        searchPage, QStringLiteral("Wpisz słowa, których szukasz:"), m_searchBox));
    searchLayout->addWidget(m_searchBox);
    searchLayout->addWidget(m_searchResults, 1);
    searchLayout->addWidget(m_searchStatus);
    m_tabs->addTab(searchPage, QStringLiteral("S&zukaj"));
}

// The pane that shows one topic, beside the finder.
void HelpViewer::buildTopicPane(QSplitter *splitter)
{
    m_browser = new HelpTopicBrowser(splitter);
    m_browser->setHelpDocument(&m_document);
    m_browser->setAccessibleName(QStringLiteral("Temat pomocy"));
    m_browser->document()->setDefaultFont(FormStyle::arial(14));
}

// Back and Forward follow the topic pane's history; the finder's lists, boxes and
// buttons show the topic chosen in them.
void HelpViewer::connectControls()
{
    m_backButton->setEnabled(false);
    m_forwardButton->setEnabled(false);
    connect(m_contentsButton, &QToolButton::clicked, this, &HelpViewer::showFinder);
    connect(m_backButton, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forwardButton, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_backButton, &QWidget::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forwardButton, &QWidget::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpViewer::topicChanged);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &HelpViewer::linkClicked);

    const auto showItemTopic = [this](QTreeWidgetItem *item) {
        if (item && item->data(0, ContextRole).toInt() > 0)
            showTopic(item->data(0, ContextRole).toInt());
    };
    connect(m_contents, &QTreeWidget::itemClicked, this, showItemTopic);
    connect(m_contents, &QTreeWidget::itemActivated, this, showItemTopic);
    connect(m_indexBox, &QLineEdit::textEdited, this, &HelpViewer::indexBoxEdited);
    connect(m_indexBox, &QLineEdit::returnPressed, this,
            [this] { showIndexItem(m_indexList->currentItem()); });
    connect(m_indexShow, &QPushButton::clicked, this,
            [this] { showIndexItem(m_indexList->currentItem()); });
    connect(m_indexList, &QTreeWidget::itemActivated, this, &HelpViewer::showIndexItem);
    connect(m_searchBox, &QLineEdit::textChanged, this, &HelpViewer::searchBoxEdited);
    connect(m_searchResults, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { showTopic(item->data(ContextRole).toInt()); });
    connect(m_searchResults, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { showTopic(item->data(ContextRole).toInt()); });
}

void HelpViewer::setHelpDocument(const HelpDocument &document)
{
    const int shown = currentContext();
    m_document = document;
    if (!m_document.title.isEmpty())
        setWindowTitle(m_document.title);
    buildContents();
    buildIndex();
    searchBoxEdited(m_searchBox->text());
    m_browser->clearHistory();
    m_browser->clear();
    if (shown > 0 && m_document.topic(shown))
        m_browser->setSource(HelpTopicBrowser::topicUrl(shown));
}

void HelpViewer::buildContents()
{
    m_contents->clear();
    QHash<QString, QTreeWidgetItem *> chapters;
    const QIcon chapterIcon = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon topicIcon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const HelpTopic &topic : std::as_const(m_document.topics)) {
        QTreeWidgetItem *parent = nullptr;
        if (!topic.group.isEmpty()) {
            parent = chapters.value(topic.group);
            if (!parent) {
                parent = new QTreeWidgetItem(m_contents, {topic.group});
                parent->setIcon(0, chapterIcon);
                QFont bold = parent->font(0);
                bold.setBold(true);
                parent->setFont(0, bold);
                chapters.insert(topic.group, parent);
            }
        }
        auto *item = parent ? new QTreeWidgetItem(parent, {topic.title})
                            : new QTreeWidgetItem(m_contents, {topic.title});
        item->setIcon(0, topicIcon);
        item->setData(0, ContextRole, topic.context);
    }
    m_contents->expandAll();
}

void HelpViewer::buildIndex()
{
    m_indexList->clear();
    for (const HelpIndexEntry &entry : m_document.index()) {
        auto *item = new QTreeWidgetItem(m_indexList, {entry.keyword});
        if (entry.contexts.size() == 1) {
            item->setData(0, ContextRole, entry.contexts.constFirst());
            continue;
        }
        // A keyword of several topics lists them under it.
        for (int context : entry.contexts) {
            auto *child = new QTreeWidgetItem(item, {m_document.topic(context)->title});
            child->setData(0, ContextRole, context);
        }
    }
}

void HelpViewer::indexBoxEdited(const QString &text)
{
    const QString prefix = HelpDocument::folded(text.trimmed());
    if (prefix.isEmpty())
        return;
    for (int i = 0; i < m_indexList->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_indexList->topLevelItem(i);
        if (HelpDocument::folded(item->text(0)).startsWith(prefix)) {
            m_indexList->setCurrentItem(item);
            m_indexList->scrollToItem(item, QAbstractItemView::PositionAtTop);
            return;
        }
    }
}

void HelpViewer::showIndexItem(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const int context = item->data(0, ContextRole).toInt();
    if (context > 0) {
        showTopic(context);
    } else {
        item->setExpanded(true);
        if (item->childCount() > 0)
            m_indexList->setCurrentItem(item->child(0));
    }
}

void HelpViewer::searchBoxEdited(const QString &text)
{
    m_searchResults->clear();
    if (text.trimmed().isEmpty()) {
        m_searchStatus->clear();
        return;
    }
    const QList<int> found = m_document.search(text);
    for (int context : found) {
        auto *item = new QListWidgetItem(m_document.topic(context)->title, m_searchResults);
        item->setData(ContextRole, context);
    }
    m_searchStatus->setText(found.isEmpty()
                                ? QStringLiteral("Nie znaleziono żadnego tematu.")
                                : QStringLiteral("Znalezione tematy: %1").arg(found.size()));
}

bool HelpViewer::showTopic(int context)
{
    if (!m_document.topic(context))
        return false;
    m_browser->setSource(HelpTopicBrowser::topicUrl(context));
    present();
    return true;
}

void HelpViewer::showFinder()
{
    m_tabs->setCurrentWidget(m_contents);
    if (currentContext() == 0 && !m_document.topics.isEmpty())
        m_browser->setSource(HelpTopicBrowser::topicUrl(m_document.topics.constFirst().context));
    present();
    m_contents->setFocus();
}

void HelpViewer::showIndex()
{
    m_tabs->setCurrentIndex(1);
    present();
    m_indexBox->setFocus();
}

void HelpViewer::showSearch()
{
    m_tabs->setCurrentIndex(2);
    present();
    m_searchBox->setFocus();
}

int HelpViewer::currentContext() const
{
    return HelpTopicBrowser::contextOf(m_browser->source());
}

QString HelpViewer::currentTitle() const
{
    return m_browser->documentTitle();
}

void HelpViewer::topicChanged(const QUrl &url)
{
    // Keep the contents in step with the topic shown.
    const int context = HelpTopicBrowser::contextOf(url);
    for (QTreeWidgetItemIterator it(m_contents); *it; ++it) {
        if ((*it)->data(0, ContextRole).toInt() == context) {
            m_contents->setCurrentItem(*it);
            return;
        }
    }
}

void HelpViewer::linkClicked(const QUrl &url)
{
    // Only links between topics are followed; the help opens nothing outside itself.
    if (const int context = HelpTopicBrowser::contextOf(url); context > 0)
        showTopic(context);
}

void HelpViewer::present()
{
    if (!m_placed) {
        // Its usual size, but never beyond the screen's free area, centred in it.
        m_placed = true;
        const QRect area = screen()->availableGeometry();
        resize(QSize(820, 560).boundedTo(area.size() - QSize(16, 48)));
        move(area.center() - rect().center());
    }
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}
