#include "messaging/favourites_window.h"

#include "forms/form_style.h"
#include "history/history_line.h"
#include "messaging/web_command.h"
#include "platform/clock.h"
#include "platform/data_folder.h"
#include "platform/file_lock.h"
#include "platform/shell_open.h"
#include "platform/text_file.h"
#include "platform/widgets/dialogs.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTextCharFormat>
#include <QToolButton>

namespace {

const QString fileName = QStringLiteral("Ulubione.kax");
// Separator after a fixed site in its history line; other lines use " dnia ".
const QString fixedSiteSeparator = QStringLiteral("  dnia ");

constexpr int siteColumnX = 330;
constexpr int siteColumnY = 4;
constexpr int siteWidth = 241;
constexpr int siteHeight = 33;

// The address of the program author's home page.
const QString authorHomePage = QStringLiteral("https://www.kartax2000.pl");

using namespace FormStyle;

} // namespace

const QList<TForm2::FixedSite> &TForm2::fixedSites()
{
    const QColor maroon(0x80, 0, 0);
    const QColor navy(0, 0, 0x80);
    const QColor yellow(0xff, 0xff, 0);
    static const QList<FixedSite> sites{
        {"SpeedButton7", QStringLiteral("Strona WWW autora"), authorHomePage, authorHomePage,
         QStringLiteral("Strona autora programu"), 16, false, maroon, true},
        {"SpeedButton6", QStringLiteral("BSC Polska"), QStringLiteral("https://www.bsc.com.pl"),
         QStringLiteral("https://www.bsc.com.pl"),
         QStringLiteral("Strona BSC Polska - przedstawiciela producenta narzędzi "
                        "programistycznych w Polsce"),
         13, false, navy, true},
        {"SpeedButton10", QStringLiteral("Chip Magazyn Komputerowy"),
         QStringLiteral("https://www.chip.pl"), QStringLiteral("https://www.chip.pl"),
         QStringLiteral("Chip magazyn komputerowy"), 13, false, QColor(), true},
        {"SpeedButton4", QStringLiteral("ENTER Magazyn Komputerowy"),
         QStringLiteral("https://www.komputerswiat.pl"),
         QStringLiteral("https://www.komputerswiat.pl"),
         QStringLiteral("Enter Magazyn komputerowy"), 13, false, QColor(), true},
        {"SpeedButton8", QStringLiteral("//WWW.Magazyn Internetowy"),
         QStringLiteral("https://spidersweb.pl"), QStringLiteral("https://spidersweb.pl"),
         QStringLiteral("//WWW. Magazyn Internetowy"), 13, false, QColor(), true},
        {"SpeedButton15", QStringLiteral("PC WORLD KOMPUTER"),
         QStringLiteral("https://www.pcworld.pl"), QStringLiteral("https://www.pcworld.pl"),
         QStringLiteral("PC WORLD KOMPUTER Magazyn Komputerowy"), 13, false, QColor(), false},
        {"SpeedButton9", QStringLiteral("Serwis INTERIA.PL"),
         QStringLiteral("https://www.interia.pl"), QStringLiteral("https://www.interia.pl"),
         QStringLiteral("Bezpłatne kont i strony WWW. Idealny serwis"), 16, true, yellow, true},
        {"SpeedButton5", QStringLiteral("ALTAVISTA POLSKA"),
         QStringLiteral("https://www.google.pl"), QStringLiteral("https://www.google.pl"),
         QStringLiteral("Altavista Polska"), 16, true, navy, true},
        // Logged without its scheme, as this site always was.
        {"SpeedButton2", QStringLiteral("Wirtualna Polska"), QStringLiteral("https://www.wp.pl"),
         QStringLiteral("www.wp.pl"), QStringLiteral("Wirtualna Polska"), 16, true, navy, true},
    };
    return sites;
}

TForm2::TForm2(QWidget *parent)
    : KaxForm(QStringLiteral("Form2"), QStringLiteral("Ulubione- Serwis WWW"), QSize(587, 384), 6,
              parent)
{
    buildStatusBar();
    buildList();
    buildEntryPanel();
    buildConnectButton();
    buildSiteColumn();

    watchStatus(SpeedButton13, QStringLiteral("Dokonuje polączenia z wybranym adresem "
                                              "internetowym z listy"));
    watchStatus(SpeedButton11, QStringLiteral("Zamyka panel ulubionych stron WWW"));
    watchStatus(SpeedButton1, QStringLiteral("Usuwa zaznaczony adres"));
    watchStatus(SpeedButton3, QStringLiteral("Zamyka widok listy"));
    watchStatus(l1, QStringLiteral("Zaznacz na liście i usuń adres"));
    watchStatus(Edit1, QStringLiteral("Wpisz adres z który chcesz się połączyć"));
    watchStatus(Label4, QString());
    watchStatus(p1, QString());

    connect(SpeedButton13, &QToolButton::clicked, this, &TForm2::SpeedButton13Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm2::SpeedButton1Click);
    connect(SpeedButton12, &QToolButton::clicked, this, &TForm2::SpeedButton12Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TForm2::SpeedButton3Click);
    connect(SpeedButton14, &QToolButton::clicked, this, &TForm2::SpeedButton14Click);
    connect(SpeedButton11, &QToolButton::clicked, this, &TForm2::SpeedButton11Click);

    setTabOrder(c1, Edit1);
    setTabOrder(Edit1, l1);
    setListView(false);
    FormCreate();
}

TForm2::~TForm2() = default;

// The status bar, and the frame over the rest of the window behind every control.
void TForm2::buildStatusBar()
{
    p1 = statusBar(this, QStringLiteral("p1"), 20);
    m_statusPanel = new QLabel(p1);
    m_statusPanel->setObjectName(QStringLiteral("p1Panel0"));
    m_statusPanel->setTextFormat(Qt::PlainText);
    p1->addWidget(m_statusPanel, 1);
    Bevel1 = bevel(this, QStringLiteral("Bevel1"), QRect(0, 0, 587, 364));
    Bevel1->lower(); // behind every other control, the status bar included
}

// The address box, and the favourites list with its buttons, which lies under the
// entry panel.
void TForm2::buildList()
{
    Label1 = label(this, QStringLiteral("Label1"),
                   QStringLiteral("Wybierz ulubiony adres internetowy"), QPoint(16, 8));
    c1 = new QComboBox(this);
    c1->setObjectName(QStringLiteral("c1"));
    c1->setEditable(true);
    c1->setInsertPolicy(QComboBox::NoInsert);
    c1->setGeometry(16, 26, 265, 22);
    Label1->setBuddy(c1);
    c1->setAccessibleName(Label1->text());

    l1 = new QListWidget(this);
    l1->setObjectName(QStringLiteral("l1"));
    l1->setGeometry(16, 54, 225, 169);
    l1->setAccessibleName(QStringLiteral("Lista ulubionych"));
    SpeedButton1 = toolButton(this, QStringLiteral("SpeedButton1"), QStringLiteral("Usuń z listy"),
                              QRect(16, 228, 110, 24), glyphLook(QString(), true, true));
    SpeedButton3 = toolButton(this, QStringLiteral("SpeedButton3"), QStringLiteral("&Zamknij"),
                              QRect(131, 228, 110, 24), glyphLook(QString(), true, true));
}

// The entry panel: the calendar and the box for an address to open and remember.
void TForm2::buildEntryPanel()
{
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(16, 54, 273, 249);
    Panel1->setAutoFillBackground(true);
    MonthCalendar1 = new QCalendarWidget(Panel1);
    MonthCalendar1->setObjectName(QStringLiteral("MonthCalendar1"));
    MonthCalendar1->setGeometry(0, 0, 265, 182);
    MonthCalendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    MonthCalendar1->setSelectedDate(Clock::now().date());
    // Smaller day names, so that the longest ("niedz.") fits its column.
    QTextCharFormat header = MonthCalendar1->headerTextFormat();
    QFont headerFont = MonthCalendar1->font();
    headerFont.setPixelSize(11);
    header.setFont(headerFont);
    MonthCalendar1->setHeaderTextFormat(header);
    Label2 = label(Panel1, QStringLiteral("Label2"),
                   QStringLiteral("Wpisz adres który zostanie dodany do "), QPoint(0, 188));
    Label3 = label(Panel1, QStringLiteral("Label3"),
                   QStringLiteral("listy ulubionych w chwili połączenia"), QPoint(0, 204));
    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(0, 225, 265, 22);
    Edit1->setAccessibleName(Label2->text() + Label3->text());
    Edit1->installEventFilter(this);
}

// "Połącz" and the product name beside it.
void TForm2::buildConnectButton()
{
    SpeedButton13 =
        toolButton(this, QStringLiteral("SpeedButton13"), QStringLiteral("Połącz"),
                   QRect(16, 318, 110, 34), glyphLook(QStringLiteral("web"), false, true));
    Label4 = label(this, QStringLiteral("Label4"), QStringLiteral("Kartax2000®"), QPoint(136, 319),
                   arial(27, true, true));
}

// The right column: a button for each fixed site, then "Historia", "Edytuj" and
// "Zamknij".
void TForm2::buildSiteColumn()
{
    using Handler = void (TForm2::*)();
    const Handler siteHandlers[] = {
        &TForm2::SpeedButton7Click, &TForm2::SpeedButton6Click, &TForm2::SpeedButton10Click,
        &TForm2::SpeedButton4Click, &TForm2::SpeedButton8Click, &TForm2::SpeedButton15Click,
        &TForm2::SpeedButton9Click, &TForm2::SpeedButton5Click, &TForm2::SpeedButton2Click};
    const QList<FixedSite> &sites = fixedSites();
    Q_ASSERT(sites.size() == int(std::size(siteHandlers)));
    for (int i = 0; i < sites.size(); ++i) {
        const FixedSite &site = sites[i];
        QToolButton *siteButton =
            toolButton(this, QString::fromLatin1(site.name), site.caption,
                       QRect(siteColumnX, siteColumnY + i * siteHeight, siteWidth, siteHeight),
                       glyphLook(QString(), true, site.handCursor));
        siteButton->setFont(arial(site.pixelSize, true, site.italic));
        if (site.colour.isValid()) {
            QPalette colours = siteButton->palette();
            colours.setColor(QPalette::ButtonText, site.colour);
            siteButton->setPalette(colours);
        }
        connect(siteButton, &QToolButton::clicked, this, siteHandlers[i]);
        watchStatus(siteButton, site.status);
        m_siteButtons << siteButton;
    }
    const int belowSites = siteColumnY + int(sites.size()) * siteHeight;
    SpeedButton14 =
        toolButton(this, QStringLiteral("SpeedButton14"), QStringLiteral("Historia"),
                   QRect(siteColumnX, belowSites + 2, siteWidth, 24), glyphLook(QString(), true));
    SpeedButton12 = toolButton(this, QStringLiteral("SpeedButton12"), QStringLiteral("&Edytuj"),
                               QRect(siteColumnX, belowSites + 28, 115, 30),
                               glyphLook(QStringLiteral("favourites-edit"), true));
    SpeedButton11 = toolButton(this, QStringLiteral("SpeedButton11"), QStringLiteral("&Zamknij"),
                               QRect(siteColumnX + siteWidth - 115, belowSites + 28, 115, 30),
                               glyphLook(QStringLiteral("messaging-close"), false, true));
}

void TForm2::setHistory(HistoryAppender history)
{
    m_history = std::move(history);
}

void TForm2::setShowHistory(std::function<void()> showHistory)
{
    m_showHistory = std::move(showHistory);
}

QStringList TForm2::splitLines(const QString &text)
{
    if (text.isEmpty())
        return {};
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(lineEnd);
    // A final line end closes the last line; it does not start another.
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString TForm2::joinLines(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += singleLine(line) + QStringLiteral("\r\n");
    return text;
}

QStringList TForm2::mergeLists(const QStringList &base, const QStringList &ours,
                               const QStringList &theirs)
{
    // Lines of base that ours no longer holds are its removals; what is left of ours
    // unmatched, its additions. Theirs loses our removals and gets our additions.
    QHash<QString, int> unmatched;
    for (const QString &line : base)
        ++unmatched[line];
    QStringList added;
    for (const QString &line : ours) {
        if (int &count = unmatched[line]; count > 0)
            --count;
        else
            added << line;
    }
    QStringList merged;
    for (const QString &line : theirs) {
        if (int &count = unmatched[line]; count > 0)
            --count;
        else
            merged << line;
    }
    return merged + added;
}

void TForm2::FormCreate()
{
    m_path = DataFolder::filePath(fileName);
    m_stamp = FileStamp::of(m_path);
    const TextFile::ReadResult file = TextFile::read(m_path);
    if (!file.exists)
        return;
    if (!file.ok) {
        // The list starts empty, and the file is kept as it is at exit.
        m_loadError = file.error;
        reportError(QStringLiteral("Nie można odczytać pliku %1.\n%2").arg(m_path, file.error));
        return;
    }
    m_savedList = splitLines(file.text);
    l1->addItems(m_savedList);
    c1->addItems(m_savedList);
    c1->setCurrentIndex(-1);
}

bool TForm2::saveAtExit()
{
    QStringList lines;
    lines.reserve(l1->count());
    for (int i = 0; i < l1->count(); ++i)
        lines << l1->item(i)->text();
    if (lines == m_savedList)
        return m_loadError.isEmpty(); // nothing changed
    FileLock lock(m_path);
    if (const IoResult locked = lock.lock(); !locked.ok) {
        reportError(QStringLiteral("Nie można zapisać pliku %1.\n%2").arg(m_path, locked.error));
        return false;
    }
    QStringList merged = lines;
    if (!m_loadError.isEmpty() || !(FileStamp::of(m_path) == m_stamp)) {
        // Another copy wrote the file meanwhile (or it could not be read at start).
        const TextFile::ReadResult file = TextFile::read(m_path);
        if (!file.ok && file.exists) {
            reportError(QStringLiteral("Nie można odczytać pliku %1.\n%2\nZmian listy ulubionych "
                                       "nie zapisano; plik pozostał bez zmian.")
                            .arg(m_path, file.error));
            return false;
        }
        merged = mergeLists(m_savedList, lines, splitLines(file.text));
    }
    const TextFile::WriteResult written = TextFile::writeAtomic(m_path, joinLines(merged));
    if (!written.ok) {
        reportError(QStringLiteral("Nie można zapisać pliku %1.\n%2").arg(m_path, written.error));
        return false;
    }
    m_stamp = FileStamp::of(m_path);
    m_loadError.clear();
    m_savedList = merged;
    if (merged != lines) {
        l1->clear();
        l1->addItems(merged);
    }
    return true;
}

QString TForm2::statusText() const
{
    return m_statusPanel->text();
}

void TForm2::setStatusText(const QString &text)
{
    m_statusPanel->setText(text);
}

void TForm2::watchStatus(QWidget *control, const QString &text)
{
    m_statusTexts.insert(control, text);
    control->installEventFilter(this);
}

bool TForm2::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Enter) {
        const auto found = m_statusTexts.constFind(watched);
        if (found != m_statusTexts.cend())
            setStatusText(*found);
    } else if (event->type() == QEvent::KeyRelease && watched == Edit1) {
        Edit1KeyUp();
    }
    return KaxForm::eventFilter(watched, event);
}

void TForm2::appendHistory(const QString &line)
{
    if (m_history)
        m_history(line);
}

void TForm2::Edit1KeyUp()
{
    c1->setEditText(Edit1->text());
}

void TForm2::SpeedButton13Click()
{
    const QString entry = singleLine(Edit1->text());
    l1->addItem(entry);
    // Adding the first item would select it; the drop-down keeps its text.
    const QString chosen = c1->currentText();
    c1->addItem(entry);
    c1->setEditText(chosen);
    // The history records visits that were started, not attempts.
    if (openWebAddressOrSay(c1->currentText(), QStringLiteral("Nie wybrano adresu internetowego.")))
        appendHistory(entry + historyDateTimeSuffix());
    Edit1->clear();
}

void TForm2::SpeedButton1Click()
{
    const QList<QListWidgetItem *> selected = l1->selectedItems();
    if (selected.isEmpty())
        return;
    delete l1->takeItem(l1->row(selected.first()));
}

void TForm2::setListView(bool listView)
{
    Panel1->setVisible(!listView);
    Panel1->raise();
    for (QWidget *listControl : {static_cast<QWidget *>(l1), static_cast<QWidget *>(SpeedButton1),
                                 static_cast<QWidget *>(SpeedButton3)})
        listControl->setVisible(listView);
}

void TForm2::SpeedButton12Click()
{
    setListView(true);
}

void TForm2::SpeedButton3Click()
{
    setListView(false);
}

void TForm2::SpeedButton14Click()
{
    if (m_showHistory)
        m_showHistory();
}

void TForm2::SpeedButton11Click()
{
    close();
}

void TForm2::openFixedSite(int index)
{
    const FixedSite &site = fixedSites().at(index);
    ShellOpen::openWebAddress(site.address);
    appendHistory(site.logged + historyDateTimeSuffix(fixedSiteSeparator));
}

void TForm2::SpeedButton7Click()
{
    openFixedSite(0);
}

void TForm2::SpeedButton6Click()
{
    openFixedSite(1);
}

void TForm2::SpeedButton10Click()
{
    openFixedSite(2);
}

void TForm2::SpeedButton4Click()
{
    openFixedSite(3);
}

void TForm2::SpeedButton8Click()
{
    openFixedSite(4);
}

void TForm2::SpeedButton15Click()
{
    openFixedSite(5);
}

void TForm2::SpeedButton9Click()
{
    openFixedSite(6);
}

void TForm2::SpeedButton5Click()
{
    openFixedSite(7);
}

void TForm2::SpeedButton2Click()
{
    openFixedSite(8);
}
