#include "app/main_window.h"

#include "dbcontrols/click_label.h"
#include "dbcontrols/db_edit.h"
#include "dbcontrols/db_navigator.h"
#include "dbcontrols/db_text.h"
#include "dial/telefon.h"
#include "exchange/widgets/export_run.h"
#include "exchange/widgets/import_run.h"
#include "forms/date_text.h"
#include "forms/form_style.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/settings_store.h"
#include "platform/widgets/dialogs.h"
#include "store/incremental_search.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

using namespace FormStyle;

constexpr int kClientWidth = 586;
constexpr int kClientHeight = 365;
constexpr int kCaptionX = 10;
constexpr int kValueX = 112;
constexpr int kRowHeight = 18;

template<typename Label>
Label *place(Label *label, const char *name, QRect where, const QColor &colour = Qt::black,
             bool bold = false)
{
    label->setObjectName(QLatin1String(name));
    label->setGeometry(where);
    setBold(label, bold);
    if (colour != Qt::black)
        setTextColour(label, colour);
    return label;
}

// Runs a command when the application object gave one.
void run(const std::function<void()> &command)
{
    if (command)
        command();
}

// A sunken line across the card.
QFrame *separator(QWidget *parent, int y)
{
    return bevel(parent, QString(), QRect(6, y, parent->width() - 12, 4),
                 QFrame::HLine | QFrame::Sunken);
}

} // namespace

TForm1::TForm1(Commands commands, QWidget *parent)
    : KaxForm(QStringLiteral("Form1"), QStringLiteral("Kartax2000®"),
              QSize(kClientWidth, kClientHeight), 1, parent),
      m_commands(std::move(commands))
{
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);

    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    rows->setMenuBar(MainMenu1);
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setFixedSize(kClientWidth, kClientHeight);
    rows->addWidget(m_client);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->hide();
    rows->addWidget(StatusBar1);

    buildBanner();
    buildCard();
    buildButtons();
    buildMenu();
    fitStatusBar();

    // The dialler of the call command; the command sets port, method and number.
    tt1 = new TTelefon(this);
    tt1->setObjectName(QStringLiteral("tt1"));
    tt1->setCPort(TTelefon::COM1);
    tt1->setDMethod(TTelefon::dmTone);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Label17Click);
    Timer1->start();

    // Esc ends the program whichever control has the focus.
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);

    FormCreate();
}

TForm1::~TForm1() = default;

QRect TForm1::cardOnScreen() const
{
    if (!isVisible() || isMinimized())
        return {};
    return {m_card->mapToGlobal(QPoint(0, 0)), m_card->size()};
}

void TForm1::buildBanner()
{
    Panel1 = bevel(m_client, QStringLiteral("Panel1"), QRect(0, 0, kClientWidth, 105),
                   QFrame::Panel | QFrame::Sunken);

    Label1 = new QLabel(QStringLiteral("Kartax2000"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(arial(64, true));
    setTextColour(Label1, kNavy);
    Label1->adjustSize();
    Label1->move((kClientWidth - Label1->width()) / 2 - 12, 0);
    Label2 = new QLabel(QStringLiteral("®"), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(arial(64, true));
    setTextColour(Label2, kNavy);
    Label2->adjustSize();
    Label2->move(Label1->geometry().right() + 2, 0);
    Label3 = new QLabel(QStringLiteral("© Kartax2000 — program chroniony prawem autorskim. "
                                       "Wszelkie prawa zastrzeżone."),
                        Panel1);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->adjustSize();
    Label3->move((kClientWidth - Label3->width()) / 2, 80);

    DBEdit1 = new DBEdit(QStringLiteral("DBEdit1"), QStringLiteral("Http"), Panel1);
    DBEdit2 = new DBEdit(QStringLiteral("DBEdit2"), QStringLiteral("Email"), Panel1);
    DBEdit3 = new DBEdit(QStringLiteral("DBEdit3"), QStringLiteral("Tel"), Panel1);
    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    for (QWidget *hidden : {static_cast<QWidget *>(DBEdit1), static_cast<QWidget *>(DBEdit2),
                            static_cast<QWidget *>(DBEdit3), static_cast<QWidget *>(Edit1)}) {
        hidden->setGeometry(4, 4, 40, 20);
        hidden->hide();
    }
}

void TForm1::buildCard()
{
    m_card = bevel(m_client, QStringLiteral("Panel2"), QRect(4, 110, 424, 251));
    QWidget *card = m_card;
    const auto caption = [card](const char *name, const QString &text, int y, int x = kCaptionX,
                                int width = kValueX - kCaptionX - 4) {
        return place(new QLabel(text, card), name, QRect(x, y, width, kRowHeight));
    };
    const auto value = [card](const char *name, const char *field, int y, int x = kValueX,
                              int width = 424 - kValueX - 8) {
        auto *text = new DBText(QLatin1String(name), QLatin1String(field), card);
        text->setGeometry(x, y, width, kRowHeight);
        // As wide as its text, so only the text is clickable; a longer one is shortened
        // with "…" within its room and shown whole in its tooltip.
        text->setAutoSize(true, width);
        return text;
    };

    Label4 = place(new ClickLabel(QStringLiteral("Nazwa:"), card), "Label4",
                   QRect(kCaptionX, 4, 96, kRowHeight), kNavy, true);
    makeLink(Label4, kNavy);
    DBText1 = value("DBText1", "Nazwa", 4);
    DBText1->setFont(arial(13, true));
    makeLink(DBText1, kNavy);
    Label5 = place(new QLabel(QStringLiteral("Branża"), card), "Label5",
                   QRect(kCaptionX, 24, 96, kRowHeight), kNavy, true);
    DBText2 = value("DBText2", "Branza", 24);
    Label6 = place(new QLabel(QStringLiteral("Przedstawiciel"), card), "Label6",
                   QRect(kCaptionX, 44, 100, kRowHeight), kNavy, true);
    DBText3 = value("DBText3", "Filia", 44);
    separator(card, 65);

    Label7 = caption("Label7", QStringLiteral("Kraj"), 72);
    DBText4 = value("DBText4", "Kraj", 72);
    Label8 = caption("Label8", QStringLiteral("Miejscowość"), 92);
    DBText5 = value("DBText5", "Miasto", 92, kValueX, 160);
    Label9 = caption("Label9", QStringLiteral("Kod"), 92, 280, 30);
    DBText6 = value("DBText6", "Kod", 92, 316, 100);
    Label10 = caption("Label10", QStringLiteral("Ulica"), 112);
    DBText9 = value("DBText9", "Ulica", 112);
    Label11 = caption("Label11", QStringLiteral("Region"), 132);
    DBText10 = value("DBText10", "Region", 132);
    Label12 = place(new ClickLabel(QStringLiteral("Telefon"), card), "Label12",
                    QRect(kCaptionX, 152, 96, kRowHeight), kMaroon);
    makeLink(Label12, kMaroon);
    DBText8 = value("DBText8", "Tel", 152, kValueX, 150);
    makeLink(DBText8, kMaroon);
    Label13 = caption("Label13", QStringLiteral("Telefax"), 152, 266, 48);
    DBText7 = value("DBText7", "Fax", 152, 316, 100);
    separator(card, 173);

    Label14 = place(new ClickLabel(QStringLiteral("e-mail"), card), "Label14",
                    QRect(kCaptionX, 180, 96, kRowHeight), kBlue);
    makeLink(Label14, kBlue);
    DBText11 = value("DBText11", "Email", 180);
    makeLink(DBText11, kBlue);
    Label15 = place(new ClickLabel(QStringLiteral("http://"), card), "Label15",
                    QRect(kCaptionX, 200, 96, kRowHeight), kBlue);
    makeLink(Label15, kBlue);
    DBText12 = value("DBText12", "Http", 200);
    makeLink(DBText12, kBlue);
    separator(card, 220);

    // Row 11: the date and the clock, and over them the search row, inside the frame.
    Label16 = place(new QLabel(card), "Label16", QRect(kCaptionX, 224, 300, 22), kMaroon);
    Label16->setFont(arial(16, true));
    Label17 = place(new ClickLabel(QString(), card), "Label17", QRect(324, 224, 92, 22), kMaroon);
    Label17->setFont(arial(16, true));
    Label17->setAlignment(Qt::AlignCenter);

    s = toolButton(card, QStringLiteral("s"), QStringLiteral("Zamknij wyszukiwanie"),
                   QRect(6, 224, 150, 22));
    setTextColour(s, kMaroon);
    s->hide();
    m_searchRow.create(card, QRect(160, 224, 256, 23));
    n1 = m_searchRow.box(SearchKind::Name);
    b1 = m_searchRow.box(SearchKind::Branch);
    p1 = m_searchRow.box(SearchKind::Representative);

    // Each value is read with the caption beside it: "Nazwa: Bałtyk s.c.".
    const QList<QPair<QLabel *, DBText *>> captions{
        {Label4, DBText1},  {Label5, DBText2},  {Label6, DBText3},   {Label7, DBText4},
        {Label8, DBText5},  {Label9, DBText6},  {Label10, DBText9},  {Label11, DBText10},
        {Label12, DBText8}, {Label13, DBText7}, {Label14, DBText11}, {Label15, DBText12}};
    for (const auto &[captionLabel, valueText] : captions)
        captionLabel->setBuddy(valueText);

    connect(Label4, &ClickLabel::clicked, this, &TForm1::Label4Click);
    connect(DBText1, &ClickLabel::clicked, this, &TForm1::Label4Click);
    connect(Label12, &ClickLabel::clicked, this, &TForm1::tel1Click);
    connect(DBText8, &ClickLabel::clicked, this, &TForm1::tel1Click);
    connect(Label14, &ClickLabel::clicked, this, &TForm1::SpeedButton2Click);
    connect(DBText11, &ClickLabel::clicked, this, &TForm1::SpeedButton2Click);
    connect(Label15, &ClickLabel::clicked, this, &TForm1::SpeedButton3Click);
    connect(DBText12, &ClickLabel::clicked, this, &TForm1::SpeedButton3Click);
    connect(Label17, &ClickLabel::clicked, this, &TForm1::Label17Click);
    connect(s, &QToolButton::clicked, this, &TForm1::sClick);
}

void TForm1::buildButtons()
{
    m_buttons = bevel(m_client, QStringLiteral("Panel3"), QRect(432, 110, 150, 251));
    // The column's buttons, one under another, with 18-pixel pictures; Tab reaches them.
    int y = 6;
    const auto columnButton = [this, &y](const QString &name, const QString &text,
                                         const QString &iconName, const QColor &colour, bool bold) {
        QToolButton *button =
            toolButton(m_buttons, name, text, QRect(6, y, 138, 25),
                       {.icon = icon(iconName), .iconSize = QSize(18, 18), .namedByCaption = true});
        setBold(button, bold);
        setTextColour(button, colour);
        y += 26;
        return button;
    };
    tel1 = columnButton(QStringLiteral("tel1"), QStringLiteral("  Połącz         "),
                        QStringLiteral("phone"), kNavy, false);
    SpeedButton2 =
        columnButton(QStringLiteral("SpeedButton2"), QStringLiteral("  E-mail          "),
                     QStringLiteral("mail"), kNavy, false);
    SpeedButton3 = columnButton(QStringLiteral("SpeedButton3"), QStringLiteral(" Internet      "),
                                QStringLiteral("web"), kNavy, false);
    SpeedButton4 = columnButton(QStringLiteral("SpeedButton4"), QStringLiteral(" Ulubione       "),
                                QStringLiteral("favourites"), Qt::black, true);
    n = columnButton(QStringLiteral("n"), QStringLiteral("Szukaj nazwą"), QStringLiteral("search"),
                     kMaroon, false);
    b = columnButton(QStringLiteral("b"), QStringLiteral("Szukaj branżą"), QStringLiteral("search"),
                     kMaroon, false);
    p = columnButton(QStringLiteral("p"), QStringLiteral("Przedstaw.    "),
                     QStringLiteral("search"), kMaroon, false);
    DBNavigator1 = new DBNavigator(
        QStringLiteral("DBNavigator1"),
        {DBNavigator::First, DBNavigator::Prior, DBNavigator::Next, DBNavigator::Last}, m_buttons);
    DBNavigator1->setGeometry(6, y + 2, 138, 24);
    y += 30;
    SpeedButton8 = columnButton(QStringLiteral("SpeedButton8"), QStringLiteral(" &Zamknij        "),
                                QStringLiteral("close"), Qt::black, true);

    connect(tel1, &QToolButton::clicked, this, &TForm1::tel1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TForm1::SpeedButton3Click);
    connect(SpeedButton4, &QToolButton::clicked, this, &TForm1::SpeedButton4Click);
    connect(n, &QToolButton::clicked, this, &TForm1::nClick);
    connect(b, &QToolButton::clicked, this, &TForm1::bClick);
    connect(p, &QToolButton::clicked, this, &TForm1::pClick);
    connect(SpeedButton8, &QToolButton::clicked, this, &TForm1::SpeedButton8Click);
}

void TForm1::buildMenu()
{
    const auto item = [this](QMenu *menu, const char *name, const QString &text,
                             void (TForm1::*handler)(), const char *iconName = nullptr) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        if (iconName)
            action->setIcon(icon(QLatin1String(iconName)));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu *program = MainMenu1->addMenu(QStringLiteral("&Program"));
    program->setObjectName(QStringLiteral("Program1"));
    Wpiszdane1 =
        item(program, "Wpiszdane1", QStringLiteral("Wpisz dane"), &TForm1::Wpiszdane1Click);
    Dane1 = item(program, "Dane1", QStringLiteral("Dane"), &TForm1::Dane1Click);
    Historia1 = item(program, "Historia1", QStringLiteral("Historia"), &TForm1::Historia1Click);
    Znajdz1 = item(program, "Znajdz1", QStringLiteral("Znajdź…"), &TForm1::Znajdz1Click);
    Znajdz1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    Import1 = item(program, "Import1", QStringLiteral("Import kontaktów…"), &TForm1::Import1Click);
    Eksport1 =
        item(program, "Eksport1", QStringLiteral("Eksport kontaktów…"), &TForm1::Eksport1Click);
    Eksport2 = item(program, "Eksport2", QStringLiteral("Eksport do folderu wizytówek…"),
                    &TForm1::Eksport2Click);
    SynchronizujTeraz = item(program, "SynchronizujTeraz", QStringLiteral("Synchronizuj teraz"),
                             &TForm1::SynchronizujTerazClick);
    SynchronizujTeraz->setShortcut(QKeySequence(Qt::Key_F9));
    addAction(SynchronizujTeraz); // F9 from any control of the window
    KonfliktySynchronizacji1 =
        item(program, "KonfliktySynchronizacji1", QStringLiteral("Konflikty synchronizacji…"),
             &TForm1::KonfliktySynchronizacji1Click);
    KonfliktySynchronizacji1->setEnabled(false); // until a sync keeps a conflict copy
    program->addSeparator();
    CofnijImport1 = item(program, "CofnijImport1", QStringLiteral("Cofnij ostatni import"),
                         &TForm1::CofnijImport1Click);
    UsunieteKontakty1 = item(program, "UsunieteKontakty1", QStringLiteral("Usunięte kontakty…"),
                             &TForm1::UsunieteKontakty1Click);
    KopieZapasowe1 = item(program, "KopieZapasowe1", QStringLiteral("Kopie zapasowe…"),
                          &TForm1::KopieZapasowe1Click);
    program->addSeparator();
    Wyjcie1 = item(program, "Wyjcie1", QStringLiteral("Wyjście"), &TForm1::Wyjcie1Click);
    Wyjcie1->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(Wyjcie1);

    QMenu *settings = MainMenu1->addMenu(QStringLiteral("U&stawienia"));
    settings->setObjectName(QStringLiteral("Ustawienia1"));
    Modem1 = item(settings, "Modem1", QStringLiteral("Modem"), &TForm1::Modem1Click, "modem");
    Drukowanie1 = settings->addMenu(icon(QStringLiteral("printer")), QStringLiteral("Drukowanie"));
    Drukowanie1->setObjectName(QStringLiteral("Drukowanie1"));
    Penedane1 =
        item(Drukowanie1, "Penedane1", QStringLiteral("Pełne dane"), &TForm1::Penedane1Click);
    Etykiety1 = item(Drukowanie1, "Etykiety1", QStringLiteral("Etykiety"), &TForm1::Etykiety1Click);
    Podpis1 = item(settings, "Podpis1", QStringLiteral("Podpis"), &TForm1::Podpis1Click);
    SynchronizacjaCardDAV1 =
        item(settings, "SynchronizacjaCardDAV1", QStringLiteral("Synchronizacja CardDAV…"),
             &TForm1::SynchronizacjaCardDAV1Click);

    QMenu *favourites = MainMenu1->addMenu(QStringLiteral("&Ulubione"));
    favourites->setObjectName(QStringLiteral("Ulubione1"));
    StronyWWW1 = item(favourites, "StronyWWW1", QStringLiteral("Strony WWW"),
                      &TForm1::StronyWWW1Click, "web");

    QMenu *help = MainMenu1->addMenu(QStringLiteral("P&omoc"));
    help->setObjectName(QStringLiteral("Pomoc1"));
    Help1 = item(help, "Help1", QStringLiteral("Help"), &TForm1::Help1Click, "help");
    Informacje1 =
        item(help, "Informacje1", QStringLiteral("Informacje"), &TForm1::Informacje1Click, "info");
    About1 = item(help, "About1", QStringLiteral("About"), &TForm1::About1Click);
}

void TForm1::addStatusPanel(QWidget *panel)
{
    StatusBar1->addWidget(panel, 1);
    m_statusPanels << panel;
    panel->installEventFilter(this); // its showing and hiding show and hide the bar
    fitStatusBar();
}

void TForm1::fitStatusBar()
{
    bool shown = false;
    for (const QWidget *panel : std::as_const(m_statusPanels))
        shown = shown || !panel->isHidden();
    StatusBar1->setVisible(shown);
    // The window is as high as the menu, the card and, when shown, the status bar.
    setFixedSize(kClientWidth, kClientHeight + MainMenu1->sizeHint().height() +
                                   (shown ? StatusBar1->sizeHint().height() : 0));
}

void TForm1::FormCreate()
{
    Label16->setText(DateText::longDate(Clock::now().date()));
    // The dialling setting, read once per run; a missing key or value leaves it empty.
    // A value of another type is reported and counts as missing.
    QString setting;
    try {
        SettingsStore settings;
        if (settings.openKey(QStringLiteral("Kax"), false))
            setting = settings.readString(QStringLiteral("tel"));
    } catch (const KaxError &error) {
        reportError(error.message());
    }
    Edit1->setText(setting);
    Label17Click();
}

void TForm1::Label17Click()
{
    Label17->setText(DateText::clock(Clock::now().time()));
}

void TForm1::showWindow(Window window)
{
    if (m_commands.show)
        m_commands.show(window);
}

bool TForm1::postOpenEdit()
{
    return m_commands.postOpenEdit && m_commands.postOpenEdit();
}

TTable *TForm1::contacts() const
{
    return m_commands.contacts ? m_commands.contacts() : nullptr;
}

void TForm1::tel1Click()
{
    run(m_commands.call);
}

void TForm1::SpeedButton2Click()
{
    showWindow(Window::Composer);
}

void TForm1::SpeedButton3Click()
{
    run(m_commands.openWeb);
}

void TForm1::SpeedButton4Click()
{
    showWindow(Window::Favourites);
}

void TForm1::StronyWWW1Click()
{
    showWindow(Window::Favourites);
}

void TForm1::Label4Click()
{
    showWindow(Window::FullRecord);
}

void TForm1::openSearch(SearchKind kind)
{
    m_searchRow.open(kind);
    s->show();
    Label16->hide();
}

void TForm1::nClick()
{
    openSearch(SearchKind::Name);
}

void TForm1::bClick()
{
    openSearch(SearchKind::Branch);
}

void TForm1::pClick()
{
    openSearch(SearchKind::Representative);
}

void TForm1::sClick()
{
    m_searchRow.close();
    s->hide();
    Label16->show();
}

void TForm1::search(SearchKind kind)
{
    if (TTable *table = contacts())
        m_searchRow.search(kind, table);
}

void TForm1::n1KeyUp()
{
    search(SearchKind::Name);
}

void TForm1::b1KeyUp()
{
    search(SearchKind::Branch);
}

void TForm1::p1KeyUp()
{
    search(SearchKind::Representative);
}

bool TForm1::endProgram()
{
    if (m_commands.postOpenEdit && !m_commands.postOpenEdit())
        return false;
    emit endRequested();
    QCoreApplication::exit(0);
    return true;
}

void TForm1::SpeedButton8Click()
{
    endProgram();
}

void TForm1::Wyjcie1Click()
{
    endProgram();
}

void TForm1::Znajdz1Click()
{
    run(m_commands.showFind);
}

void TForm1::Import1Click()
{
    // An edit still open is posted first: the import writes in a transaction of its own.
    if (!postOpenEdit())
        return;
    if (TTable *table = contacts())
        ImportRun::run(this, *table);
}

void TForm1::importFile(const QString &path)
{
    if (!postOpenEdit())
        return;
    if (TTable *table = contacts())
        ImportRun::runFile(this, *table, path);
}

void TForm1::Eksport1Click()
{
    // What is typed in any window belongs in the file, as a move would post it.
    if (!postOpenEdit())
        return;
    if (TTable *table = contacts())
        ExportRun::run(this, *table);
}

void TForm1::Eksport2Click()
{
    // What is typed in any window belongs in the file, as a move would post it.
    if (!postOpenEdit())
        return;
    if (TTable *table = contacts())
        ExportRun::runToFolder(this, *table);
}

void TForm1::Wpiszdane1Click()
{
    showWindow(Window::DataEntry);
}

void TForm1::Dane1Click()
{
    showWindow(Window::FullRecord);
}

void TForm1::Historia1Click()
{
    showWindow(Window::History);
}

void TForm1::Modem1Click()
{
    showWindow(Window::DialSettings);
}

void TForm1::Podpis1Click()
{
    showWindow(Window::Signature);
}

void TForm1::Informacje1Click()
{
    showWindow(Window::Information);
}

void TForm1::About1Click()
{
    showWindow(Window::About);
}

void TForm1::Penedane1Click()
{
    run(m_commands.previewFullData);
}

void TForm1::Etykiety1Click()
{
    run(m_commands.previewLabels);
}

void TForm1::Help1Click()
{
    run(m_commands.showHelp);
}

void TForm1::SynchronizujTerazClick()
{
    run(m_commands.syncNow);
}

void TForm1::SynchronizacjaCardDAV1Click()
{
    run(m_commands.showSyncSettings);
}

void TForm1::KonfliktySynchronizacji1Click()
{
    run(m_commands.showSyncConflicts);
}

void TForm1::CofnijImport1Click()
{
    run(m_commands.undoImport);
}

void TForm1::UsunieteKontakty1Click()
{
    run(m_commands.showDeleted);
}

void TForm1::KopieZapasowe1Click()
{
    run(m_commands.showBackups);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if ((event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) &&
        m_statusPanels.contains(qobject_cast<QWidget *>(watched)))
        fitStatusBar();
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        // Esc that closes a menu, a drop-down list or another pop-up closes only that.
        const auto *widget = qobject_cast<QWidget *>(watched);
        if (QApplication::activePopupWidget() || (widget && widget->window() != this))
            return KaxForm::eventFilter(watched, event);
        endProgram();
        return true;
    }
    if (const std::optional<SearchKind> kind = m_searchRow.typedIn(watched, event))
        search(*kind);
    return KaxForm::eventFilter(watched, event);
}

void TForm1::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        endProgram();
        return;
    }
    KaxForm::keyPressEvent(event);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // Closing the main window ends the program, unless an open edit could not be saved.
    if (endProgram())
        event->accept();
    else
        event->ignore();
}
