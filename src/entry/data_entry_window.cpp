#include "entry/data_entry_window.h"

#include "dbcontrols/click_label.h"
#include "dbcontrols/db_combo_box.h"
#include "dbcontrols/db_edit.h"
#include "dbcontrols/db_memo.h"
#include "dbcontrols/db_navigator.h"
#include "dbcontrols/field_data_link.h"
#include "entry/details_window.h"
#include "exchange/countries.h"
#include "forms/date_text.h"
#include "forms/form_style.h"
#include "platform/clock.h"
#include "store/data_source.h"
#include "store/incremental_search.h"
#include "store/table.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

namespace {

using namespace FormStyle;

constexpr int kCaptionX = 10;
constexpr int kFieldX = 104;
constexpr int kFieldWidth = 176;
constexpr int kNarrowWidth = 110;
constexpr int kFirstRowY = 10;
constexpr int kRowStep = 24;
constexpr int kRowHeight = 21;

} // namespace

TForm10::TForm10(QWidget *parent)
    : KaxForm(QStringLiteral("Form10"),
              QStringLiteral("Wpisywanie danych do bazy programu Kartax2000®"), QSize(583, 380), 2,
              parent)
{
    setWindowFlag(Qt::WindowMinimizeButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);

    bevel(this, QStringLiteral("Bevel1"), QRect(2, 2, 579, 376));
    buildFields();
    buildHeader();
    buildNotes();
    buildBottomStrip();

    auto *find = new QAction(this);
    find->setObjectName(QStringLiteral("Znajdz1"));
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(find, &QAction::triggered, this, [this] {
        if (m_showFind)
            m_showFind();
    });
    addAction(find);
    orderTabs();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm10::Label14Click);
    Timer1->start();

    connect(Label14, &ClickLabel::clicked, this, &TForm10::Label14Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm10::SpeedButton1Click);
    connect(s1, &QToolButton::clicked, this, &TForm10::s1Click);
    connect(s2, &QToolButton::clicked, this, &TForm10::s2Click);
    connect(n, &QToolButton::clicked, this, &TForm10::nClick);
    connect(b, &QToolButton::clicked, this, &TForm10::bClick);
    connect(p, &QToolButton::clicked, this, &TForm10::pClick);
    connect(btnWiecej, &QToolButton::clicked, this, &TForm10::btnWiecejClick);

    DetailsEditor = new TDetailsWindow(TDetailsWindow::Mode::Edit, this);
    m_recordLink = new FieldDataLink(btnWiecej);
    m_recordLink->onShow = [this](const QString &) { updateDetailsButton(); };
    m_recordLink->onStateChanged = [this] { updateDetailsButton(); };

    FormCreate();
}

TForm10::~TForm10() = default;

// Left column: caption, then the edit control bound to its field.
void TForm10::buildFields()
{
    struct Row
    {
        QLabel **label;
        const char *labelName;
        const char *caption;
        const char *controlName;
        const char *field;
        int width;
    };
    int row = 0;
    const auto place = [this, &row](const Row &spec) -> QWidget * {
        const int y = kFirstRowY + row * kRowStep;
        auto *label = new QLabel(QString::fromUtf8(spec.caption), this);
        label->setObjectName(QLatin1String(spec.labelName));
        label->setGeometry(kCaptionX, y + 2, kFieldX - kCaptionX - 4, kRowHeight - 2);
        *spec.label = label;
        QWidget *control = nullptr;
        if (QLatin1String(spec.field) == QLatin1String("Kraj")) {
            DBComboBox1 =
                new DBComboBox(QLatin1String(spec.controlName), QLatin1String("Kraj"), this);
            DBComboBox1->addItems(Countries::entryList());
            control = DBComboBox1;
        } else {
            control = new DBEdit(QLatin1String(spec.controlName), QLatin1String(spec.field), this);
        }
        control->setGeometry(kFieldX, y, spec.width, kRowHeight);
        label->setBuddy(control);
        control->setAccessibleName(QString::fromUtf8(spec.caption));
        ++row;
        return control;
    };
    DBEdit1 =
        static_cast<DBEdit *>(place({&Label1, "Label1", "Nazwa", "DBEdit1", "Nazwa", kFieldWidth}));
    DBEdit2 = static_cast<DBEdit *>(
        place({&Label2, "Label2", "Branża", "DBEdit2", "Branza", kFieldWidth}));
    DBEdit3 = static_cast<DBEdit *>(
        place({&Label3, "Label3", "Przedstawiciel", "DBEdit3", "Filia", kFieldWidth}));
    place({&Label4, "Label4", "Kraj", "DBComboBox1", "Kraj", kFieldWidth});
    DBEdit4 = static_cast<DBEdit *>(
        place({&Label5, "Label5", "Region", "DBEdit4", "Region", kFieldWidth}));
    DBEdit5 = static_cast<DBEdit *>(
        place({&Label6, "Label6", "Miasto", "DBEdit5", "Miasto", kFieldWidth}));
    DBEdit6 = static_cast<DBEdit *>(
        place({&Label7, "Label7", "Ulica numer", "DBEdit6", "Ulica", kFieldWidth}));
    DBEdit7 = static_cast<DBEdit *>(
        place({&Label8, "Label8", "e-mail", "DBEdit7", "Email", kFieldWidth}));
    DBEdit8 = static_cast<DBEdit *>(
        place({&Label9, "Label9", "http://", "DBEdit8", "Http", kFieldWidth}));
    DBEdit9 = static_cast<DBEdit *>(
        place({&Label10, "Label10", "Kod pocztowy", "DBEdit9", "Kod", kNarrowWidth}));
    DBEdit10 = static_cast<DBEdit *>(
        place({&Label11, "Label11", "Telefon", "DBEdit10", "Tel", kNarrowWidth}));
    DBEdit11 = static_cast<DBEdit *>(
        place({&Telefaz, "Telefaz", "Telefax", "DBEdit11", "Fax", kNarrowWidth}));
    // Beside the narrow fields: further telephones, e-mails, addresses and the rest.
    const int faxY = kFirstRowY + 11 * kRowStep;
    btnWiecej = flatButton(this, QStringLiteral("btnWiecej"), QStringLiteral("&Więcej…"),
                           QRect(kFieldX + kNarrowWidth + 6, faxY - 1, 70, kRowHeight + 2));
}

// Upper right, inside a frame: product name, navigator, clock and date.
void TForm10::buildHeader()
{
    bevel(this, QStringLiteral("Bevel2"), QRect(292, 8, 282, 118));
    Label12 = new QLabel(QStringLiteral("Kartax2000®"), this);
    Label12->setObjectName(QStringLiteral("Label12"));
    Label12->setFont(arial(24, true, true));
    setTextColour(Label12, kNavy);
    Label12->setGeometry(292, 12, 282, 30);
    Label12->setAlignment(Qt::AlignCenter);
    DBNavigator1 = new DBNavigator(QStringLiteral("DBNavigator1"),
                                   {DBNavigator::First, DBNavigator::Prior, DBNavigator::Next,
                                    DBNavigator::Last, DBNavigator::Insert, DBNavigator::Delete,
                                    DBNavigator::Edit, DBNavigator::Post, DBNavigator::Cancel,
                                    DBNavigator::Refresh},
                                   this);
    DBNavigator1->setGeometry(300, 46, 266, 26);
    Label14 = new ClickLabel(QString(), this);
    Label14->setObjectName(QStringLiteral("Label14"));
    Label14->setFont(arial(24, true));
    setTextColour(Label14, kMaroon);
    Label14->setAlignment(Qt::AlignCenter);
    Label14->setGeometry(298, 78, 124, 32);
    Label15 = new QLabel(this);
    Label15->setObjectName(QStringLiteral("Label15"));
    Label15->setAlignment(Qt::AlignCenter);
    Label15->setWordWrap(true);
    Label15->setGeometry(424, 76, 146, 36);
}

// The notes memo under the frame, with its caption.
void TForm10::buildNotes()
{
    Label13 = new QLabel(QStringLiteral("Uwagi"), this);
    Label13->setObjectName(QStringLiteral("Label13"));
    Label13->setGeometry(294, 130, 100, 18);
    DBMemo1 = new DBMemo(QStringLiteral("DBMemo1"), QStringLiteral("Uwagi"), this);
    DBMemo1->setGeometry(292, 148, 282, 148);
    DBMemo1->setAccessibleName(QStringLiteral("Uwagi"));
    Label13->setBuddy(DBMemo1);
}

// Bottom strip: the search row, a short vertical frame and "Zamknij".
void TForm10::buildBottomStrip()
{
    bevel(this, QString(), QRect(6, 304, 571, 4), QFrame::HLine | QFrame::Sunken);
    s1 = flatButton(this, QStringLiteral("s1"), QStringLiteral("Szukaj"), QRect(8, 312, 96, 24),
                    QStringLiteral("search"));
    s2 = flatButton(this, QStringLiteral("s2"), QStringLiteral("Zamknij szuk."),
                    QRect(8, 312, 96, 24));
    n = flatButton(this, QStringLiteral("n"), QStringLiteral("Nazwą"), QRect(110, 312, 76, 24));
    b = flatButton(this, QStringLiteral("b"), QStringLiteral("Branżą"), QRect(190, 312, 76, 24));
    p = flatButton(this, QStringLiteral("p"), QStringLiteral("Przedst"), QRect(270, 312, 76, 24));
    for (QToolButton *button : {s1, s2, n, b, p})
        setTextColour(button, kMaroon);
    Label16 =
        new QLabel(QStringLiteral("Kliknij szukaj i wybierz opcje wyszukiwania danych"), this);
    Label16->setObjectName(QStringLiteral("Label16"));
    Label16->setGeometry(10, 346, 470, 20);
    m_searchRow.create(this, QRect(8, 344, 338, 24), this);
    n1 = m_searchRow.box(SearchKind::Name);
    b1 = m_searchRow.box(SearchKind::Branch);
    p1 = m_searchRow.box(SearchKind::Representative);
    for (QWidget *hidden : {static_cast<QWidget *>(s2), static_cast<QWidget *>(n),
                            static_cast<QWidget *>(b), static_cast<QWidget *>(p)})
        hidden->hide();
    bevel(this, QString(), QRect(484, 310, 4, 62), QFrame::VLine | QFrame::Sunken);
    SpeedButton1 = flatButton(this, QStringLiteral("SpeedButton1"), QStringLiteral("&Zamknij"),
                              QRect(492, 328, 84, 28), QStringLiteral("close"));
    setBold(SpeedButton1);
}

// Tab order: the memo first, then the fields, the search boxes and the navigator;
// the memo has the focus.
void TForm10::orderTabs()
{
    QList<QWidget *> order{DBMemo1,  DBEdit1, DBEdit2, DBEdit3, DBComboBox1, DBEdit4,
                           DBEdit5,  DBEdit6, DBEdit7, DBEdit8, DBEdit9,     DBEdit10,
                           DBEdit11, n1,      b1,      p1};
    for (QToolButton *button : DBNavigator1->findChildren<QToolButton *>())
        order << button;
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    DBMemo1->setFocus();
}

void TForm10::FormCreate()
{
    Label15->setText(DateText::longDate(Clock::now().date()));
    Label14Click();
}

void TForm10::Label14Click()
{
    Label14->setText(DateText::clock(Clock::now().time()));
}

void TForm10::SpeedButton1Click()
{
    close(); // hides the window; an edit in progress stays pending
}

void TForm10::s1Click()
{
    n->show();
    p->show();
    b->show();
    s1->hide();
    s2->show();
    Label16->setText(QStringLiteral("Wybierz jedną z trzech opcji autowyszukiwania"));
}

void TForm10::s2Click()
{
    n->hide();
    p->hide();
    b->hide();
    m_searchRow.close();
    s2->hide();
    s1->show();
    Label16->setText(QStringLiteral("Kliknij i wybierz opcję do autowyszukiwania"));
}

void TForm10::nClick()
{
    m_searchRow.open(SearchKind::Name);
}

void TForm10::bClick()
{
    m_searchRow.open(SearchKind::Branch);
}

void TForm10::pClick()
{
    m_searchRow.open(SearchKind::Representative);
}

void TForm10::n1Click()
{
    m_searchRow.clear();
}

void TForm10::b1Click()
{
    m_searchRow.clear();
}

void TForm10::p1Click()
{
    m_searchRow.clear();
}

void TForm10::search(SearchKind kind)
{
    m_searchRow.search(kind, m_contacts ? m_contacts() : nullptr);
}

void TForm10::n1KeyUp()
{
    search(SearchKind::Name);
}

void TForm10::b1KeyUp()
{
    search(SearchKind::Branch);
}

void TForm10::p1KeyUp()
{
    search(SearchKind::Representative);
}

void TForm10::btnWiecejClick()
{
    TTable *table = m_recordLink->table();
    if (!table || !table->active() || !table->hasDetails())
        return;
    // The values belong to the record as its fields do: the edit starts as typing
    // starts it, their post saves them and its cancel drops them.
    if (!m_recordLink->dataSource()->edit())
        return;
    if (DetailsEditor->run(table->fieldText(QStringLiteral("Nazwa")), table->details()) ==
        TDetailsWindow::Accepted)
        table->setDetails(DetailsEditor->details());
    updateDetailsButton();
}

void TForm10::showEvent(QShowEvent *event)
{
    updateDetailsButton(); // a hidden window reads no further values
    KaxForm::showEvent(event);
}

// "Więcej…" is usable while the table keeps further values and may be written; its
// tooltip counts those of the record.
void TForm10::updateDetailsButton()
{
    const TTable *table = m_recordLink->table();
    const bool usable = table && table->active() && table->hasDetails() && !table->readOnly();
    btnWiecej->setEnabled(usable);
    if (table && table->active() && table->readOnly() && table->hasDetails())
        btnWiecej->setToolTip(QStringLiteral("Baza danych jest otwarta tylko do odczytu."));
    else if (isVisible())
        btnWiecej->setToolTip(TDetailsWindow::summarize(m_recordLink->table()).text);
}

bool TForm10::eventFilter(QObject *watched, QEvent *event)
{
    // A click in a search box empties the boxes; a key released in one searches.
    if (event->type() == QEvent::MouseButtonPress && m_searchRow.kindOf(watched))
        m_searchRow.clear();
    else if (const std::optional<SearchKind> kind = m_searchRow.typedIn(watched, event))
        search(*kind);
    return KaxForm::eventFilter(watched, event);
}
