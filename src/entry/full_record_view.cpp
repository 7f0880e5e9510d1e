#include "entry/full_record_view.h"

#include "dbcontrols/click_label.h"
#include "dbcontrols/db_memo.h"
#include "dbcontrols/db_navigator.h"
#include "dbcontrols/db_text.h"
#include "dbcontrols/field_data_link.h"
#include "entry/details_window.h"
#include "forms/date_text.h"
#include "forms/form_style.h"
#include "platform/clock.h"
#include "store/table.h"

#include <QAction>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QTimer>
#include <QToolButton>

namespace {

using namespace FormStyle;

constexpr int kCaptionX = 12;
constexpr int kValueX = 112;
constexpr int kFirstRowY = 10;
constexpr int kRowStep = 20;
constexpr int kValueRoom = 340; // from the values to the buttons

} // namespace

TForm13::TForm13(QWidget *parent)
    : KaxForm(QStringLiteral("Form13"), QStringLiteral("Pełne dane"), QSize(586, 381), 5, parent)
{
    bevel(this, QString(), QRect(2, 2, 582, 377));
    buildFields();
    buildNotes();
    buildButtons();

    auto *find = new QAction(this);
    find->setObjectName(QStringLiteral("Znajdz1"));
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(find, &QAction::triggered, this, [this] {
        if (m_commands.showFind)
            m_commands.showFind();
    });
    addAction(find);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm13::Label14Click);
    Timer1->start();
    Label14Click();

    connect(Label9, &ClickLabel::clicked, this, &TForm13::DBText9Click);
    connect(DBText9, &ClickLabel::clicked, this, &TForm13::DBText9Click);
    connect(Label11, &ClickLabel::clicked, this, &TForm13::DBText11Click);
    connect(DBText11, &ClickLabel::clicked, this, &TForm13::DBText11Click);
    connect(Label12, &ClickLabel::clicked, this, &TForm13::DBText12Click);
    connect(DBText12, &ClickLabel::clicked, this, &TForm13::DBText12Click);
    connect(Label14, &ClickLabel::clicked, this, &TForm13::Label14Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TForm13::SpeedButton3Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm13::SpeedButton2Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm13::SpeedButton1Click);
    connect(SpeedButton4, &QToolButton::clicked, this, &TForm13::SpeedButton4Click);
    connect(btnWiecej, &QToolButton::clicked, this, &TForm13::btnWiecejClick);

    DetailsWindow = new TDetailsWindow(TDetailsWindow::Mode::View, this);
    connect(DetailsWindow, &TDetailsWindow::chosen, this, &TForm13::detailChosen);
    m_recordLink = new FieldDataLink(btnWiecej);
    m_recordLink->onShow = [this](const QString &) { updateDetailsButton(); };
    m_recordLink->onStateChanged = [this] { updateDetailsButton(); };
    updateDetailsButton();
}

TForm13::~TForm13() = default;

// The twelve fields: a caption, and beside it the value, with the call, letter
// and web links.
void TForm13::buildFields()
{
    struct Row
    {
        const char *labelName;
        const char *caption;
        const char *valueName;
        const char *field;
    };
    const Row rows[] = {
        {"Label1", "Nazwa", "DBText1", "Nazwa"},
        {"Label2", "Branża", "DBText2", "Branza"},
        {"Label3", "Przedstawiciel", "DBText3", "Filia"},
        {"Label4", "Kraj", "DBText4", "Kraj"},
        {"Label5", "Miasto", "DBText5", "Miasto"},
        {"Label6", "Kod", "DBText6", "Kod"},
        {"Label7", "Ulica", "DBText7", "Ulica"},
        {"Label8", "Region", "DBText8", "Region"},
        {"Label9", "Telefon", "DBText9", "Tel"},
        {"Label10", "Telefax", "DBText10", "Fax"},
        {"Label11", "E-mail", "DBText11", "Email"},
        {"Label12", "Http://", "DBText12", "Http"},
    };
    QLabel *labels[12] = {};
    DBText *values[12] = {};
    for (int i = 0; i < 12; ++i) {
        const int y = kFirstRowY + i * kRowStep;
        QLabel *label = (i == 8 || i == 10 || i == 11)
                            ? new ClickLabel(QString::fromUtf8(rows[i].caption), this)
                            : new QLabel(QString::fromUtf8(rows[i].caption), this);
        label->setObjectName(QLatin1String(rows[i].labelName));
        label->setGeometry(kCaptionX, y, kValueX - kCaptionX - 4, 18);
        auto *value =
            new DBText(QLatin1String(rows[i].valueName), QLatin1String(rows[i].field), this);
        value->setGeometry(kValueX, y, 0, 18);
        // The value is as wide as its text, so only the text is clickable; a text
        // wider than the room left of the buttons is shortened with "…".
        value->setAutoSize(true, kValueRoom);
        label->setBuddy(value); // read as "Nazwa: …"
        labels[i] = label;
        values[i] = value;
    }
    Label1 = labels[0];
    Label2 = labels[1];
    Label3 = labels[2];
    Label4 = labels[3];
    Label5 = labels[4];
    Label6 = labels[5];
    Label7 = labels[6];
    Label8 = labels[7];
    Label9 = static_cast<ClickLabel *>(labels[8]);
    Label10 = labels[9];
    Label11 = static_cast<ClickLabel *>(labels[10]);
    Label12 = static_cast<ClickLabel *>(labels[11]);
    DBText1 = values[0];
    DBText2 = values[1];
    DBText3 = values[2];
    DBText4 = values[3];
    DBText5 = values[4];
    DBText6 = values[5];
    DBText7 = values[6];
    DBText8 = values[7];
    DBText9 = values[8];
    DBText10 = values[9];
    DBText11 = values[10];
    DBText12 = values[11];
    for (QWidget *link : {static_cast<QWidget *>(Label9), static_cast<QWidget *>(DBText9)})
        makeLink(link, kMaroon);
    for (QWidget *link : {static_cast<QWidget *>(Label11), static_cast<QWidget *>(DBText11),
                          static_cast<QWidget *>(Label12), static_cast<QWidget *>(DBText12)})
        makeLink(link, kBlue);
}

// The notes memo with its caption, and the navigator under it.
void TForm13::buildNotes()
{
    Label13 = new QLabel(QStringLiteral("Uwagi"), this);
    Label13->setObjectName(QStringLiteral("Label13"));
    Label13->setGeometry(kCaptionX, 254, 100, 18);
    m1 = new DBMemo(QStringLiteral("m1"), QStringLiteral("Uwagi"), this);
    m1->setReadOnly(true);
    m1->setGeometry(10, 272, 446, 70);
    m1->setAccessibleName(QStringLiteral("Uwagi"));
    Label13->setBuddy(m1);

    DBNavigator1 = new DBNavigator(
        QStringLiteral("DBNavigator1"),
        {DBNavigator::First, DBNavigator::Prior, DBNavigator::Next, DBNavigator::Last}, this);
    DBNavigator1->setGeometry(10, 348, 128, 26);
}

// The right column: the print buttons, the clock, the map and "Zamknij".
void TForm13::buildButtons()
{
    SpeedButton3 = flatButton(this, QStringLiteral("SpeedButton3"), QStringLiteral("Drukuj"),
                              QRect(470, 12, 106, 28), QStringLiteral("printer"));
    SpeedButton2 = flatButton(this, QStringLiteral("SpeedButton2"), QStringLiteral("Etykieta"),
                              QRect(470, 46, 106, 28), QStringLiteral("label"));
    Label14 = new ClickLabel(QString(), this);
    Label14->setObjectName(QStringLiteral("Label14"));
    Label14->setFont(arial(21, true));
    setTextColour(Label14, kNavy);
    Label14->setAlignment(Qt::AlignCenter);
    Label14->setGeometry(466, 100, 112, 30);
    SpeedButton4 =
        flatButton(this, QStringLiteral("SpeedButton4"), QStringLiteral("Pokaż na mapie"),
                   QRect(458, 144, 124, 28), QStringLiteral("map"));
    btnWiecej = flatButton(this, QStringLiteral("btnWiecej"), QStringLiteral("&Więcej…"),
                           QRect(470, 178, 106, 28), QStringLiteral("info"));
    SpeedButton1 = flatButton(this, QStringLiteral("SpeedButton1"), QStringLiteral("&Zamknij"),
                              QRect(470, 344, 106, 28), QStringLiteral("close"));
    setBold(SpeedButton1);
}

void TForm13::DBText9Click()
{
    if (m_commands.call)
        m_commands.call();
}

void TForm13::DBText11Click()
{
    if (m_commands.sendLetter)
        m_commands.sendLetter();
}

void TForm13::DBText12Click()
{
    if (m_commands.openWeb)
        m_commands.openWeb();
}

void TForm13::SpeedButton3Click()
{
    if (m_commands.printRecord)
        m_commands.printRecord(notesLines());
}

void TForm13::SpeedButton2Click()
{
    if (m_commands.printLabel)
        m_commands.printLabel();
}

void TForm13::SpeedButton4Click()
{
    if (m_commands.showMap)
        m_commands.showMap(DBText7->text(), DBText6->text(), DBText5->text(), DBText4->text());
}

void TForm13::btnWiecejClick()
{
    TTable *table = m_recordLink->table();
    if (!table || !table->active() || !table->hasDetails())
        return;
    DetailsWindow->run(table->fieldText(QStringLiteral("Nazwa")), table->details());
}

// A chosen telephone, e-mail or web address goes where the card's own would.
void TForm13::detailChosen(const ContactDetail &detail)
{
    const auto run = [&detail](const std::function<void(const QString &)> &command) {
        if (command)
            command(detail.value);
    };
    switch (detail.kind) {
    case ContactDetail::Phone:
        run(m_commands.callNumber);
        break;
    case ContactDetail::Email:
        run(m_commands.sendLetterTo);
        break;
    case ContactDetail::Web:
        run(m_commands.openWebAddress);
        break;
    default:
        break;
    }
}

void TForm13::showEvent(QShowEvent *event)
{
    updateDetailsButton(); // a hidden view reads no further values
    KaxForm::showEvent(event);
}

// "Więcej…" is usable when the record has further values; its tooltip counts them.
void TForm13::updateDetailsButton()
{
    // Values changed in the data entry window show before they are posted.
    if (TTable *table = m_recordLink->table(); table && table != m_watched) {
        m_watched = table;
        connect(table, &TTable::detailsChanged, this, &TForm13::updateDetailsButton);
    }
    const TDetailsWindow::Summary summary = isVisible()
                                                ? TDetailsWindow::summarize(m_recordLink->table())
                                                : TDetailsWindow::Summary{false, QString()};
    btnWiecej->setEnabled(summary.any);
    btnWiecej->setToolTip(summary.text);
}

void TForm13::SpeedButton1Click()
{
    close();
}

void TForm13::Label14Click()
{
    Label14->setText(DateText::clock(Clock::now().time()));
}

QStringList TForm13::notesLines() const
{
    const QString text = m1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}
