#include "entry/details_window.h"

#include "entry/details_list.h"
#include "forms/form_style.h"
#include "platform/errors.h"
#include "store/table.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <algorithm>

namespace {

// The seven parts of an address value, as ContactDetail::joinAddress() takes them.
enum AddressPart { PostBox, Extended, Street, Town, Region, Code, Country };

QPushButton *pushButton(QWidget *parent, const char *name, const QString &text, const QRect &where)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(where);
    return button;
}

// A one-line edit with its caption to the left, the caption naming it.
QLineEdit *captionedEdit(QWidget *parent, const char *name, const QString &caption,
                         QPoint captionAt, const QRect &where)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(where);
    edit->setAccessibleName(QString(caption).remove(u'&'));
    QLabel *label = FormStyle::label(parent, QLatin1String(name) + QStringLiteral("Caption"),
                                     caption, captionAt);
    label->setBuddy(edit);
    return edit;
}

} // namespace

TDetailsWindow::TDetailsWindow(Mode mode, QWidget *parent)
    : KaxModalWindow(QLatin1String(mode == Mode::View ? "DetailsWindow" : "DetailsEditor"),
                     mode == Mode::View ? QStringLiteral("Dalsze dane kontaktu")
                                        : QStringLiteral("Dalsze dane kontaktu – edycja"),
                     mode == Mode::View ? QSize(640, 330) : QSize(640, 458), Closed, parent),
      m_mode(mode)
{
    Heading = new QLabel(this);
    Heading->setObjectName(QStringLiteral("Heading"));
    Heading->setFont(FormStyle::arial(15, true));
    FormStyle::setTextColour(Heading, FormStyle::kNavy);
    Heading->setTextFormat(Qt::PlainText);
    List = new DetailsList(QStringLiteral("List"), this);
    if (mode == Mode::View)
        buildView();
    else
        buildEditor();
}

void TDetailsWindow::buildView()
{
    Heading->setGeometry(8, 8, 624, 22);
    List->setGeometry(8, 34, 624, 226);
    List->setChoosing(true);
    connect(List, &DetailsList::chosen, this, &TDetailsWindow::chosen);
    Hint = new QLabel(QStringLiteral("Kliknij numer telefonu, adres e-mail lub stronę WWW (albo "
                                     "wybierz wiersz i naciśnij Enter), aby zadzwonić, napisać "
                                     "list lub otworzyć stronę."),
                      this);
    Hint->setObjectName(QStringLiteral("Hint"));
    Hint->setWordWrap(true);
    Hint->setGeometry(8, 264, 624, 34);
    CloseButton =
        pushButton(this, "CloseButton", QStringLiteral("&Zamknij"), QRect(532, 296, 100, 28));
    connect(CloseButton, &QPushButton::clicked, this, [this] { answer(Closed); });
}

void TDetailsWindow::buildEditor()
{
    Heading->setGeometry(8, 8, 624, 22);
    List->setGeometry(8, 34, 520, 222);
    AddButton = pushButton(this, "AddButton", QStringLiteral("&Dodaj"), QRect(536, 34, 96, 28));
    RemoveButton =
        pushButton(this, "RemoveButton", QStringLiteral("&Usuń"), QRect(536, 66, 96, 28));
    UpButton = pushButton(this, "UpButton", QStringLiteral("W górę"), QRect(536, 110, 96, 28));
    DownButton = pushButton(this, "DownButton", QStringLiteral("W dół"), QRect(536, 142, 96, 28));
    UpButton->setToolTip(QStringLiteral("Przesuwa wybraną wartość wyżej (Ctrl+↑)"));
    DownButton->setToolTip(QStringLiteral("Przesuwa wybraną wartość niżej (Ctrl+↓)"));
    auto *up = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up), this);
    auto *down = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down), this);
    connect(up, &QShortcut::activated, UpButton, &QPushButton::click);
    connect(down, &QShortcut::activated, DownButton, &QPushButton::click);

    FormStyle::bevel(this, QString(), QRect(8, 262, 624, 4), QFrame::HLine | QFrame::Sunken);
    KindBox = new QComboBox(this);
    KindBox->setObjectName(QStringLiteral("KindBox"));
    for (int kind = 0; kind < ContactDetail::kKindCount; ++kind)
        KindBox->addItem(ContactDetail::kindCaption(ContactDetail::Kind(kind)));
    KindBox->setGeometry(80, 272, 160, 24);
    KindBox->setAccessibleName(QStringLiteral("Rodzaj"));
    FormStyle::label(this, QStringLiteral("KindCaption"), QStringLiteral("&Rodzaj"), {8, 276})
        ->setBuddy(KindBox);
    TypeBox = new QComboBox(this);
    TypeBox->setObjectName(QStringLiteral("TypeBox"));
    TypeBox->setEditable(true);
    TypeBox->setInsertPolicy(QComboBox::NoInsert);
    TypeBox->addItems(typeChoices());
    TypeBox->setGeometry(310, 272, 160, 24);
    TypeBox->setAccessibleName(QStringLiteral("Typ"));
    FormStyle::label(this, QStringLiteral("TypeCaption"), QStringLiteral("&Typ"), {266, 276})
        ->setBuddy(TypeBox);
    LabelEdit = captionedEdit(this, "LabelEdit", QStringLiteral("&Opis"), {8, 306},
                              QRect(80, 302, 390, 24));
    LabelEdit->setPlaceholderText(QStringLiteral("np. „sekretariat”, „Stanowisko”"));
    buildValueEditor(332);

    OkButton = pushButton(this, "OkButton", QStringLiteral("OK"), QRect(428, 424, 100, 28));
    OkButton->setDefault(true);
    CancelButton =
        pushButton(this, "CancelButton", QStringLiteral("&Anuluj"), QRect(532, 424, 100, 28));
    connect(OkButton, &QPushButton::clicked, this, [this] { answer(Accepted); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { answer(Closed); });
    connect(AddButton, &QPushButton::clicked, this, &TDetailsWindow::AddButtonClick);
    connect(RemoveButton, &QPushButton::clicked, this, &TDetailsWindow::RemoveButtonClick);
    connect(UpButton, &QPushButton::clicked, this, [this] { moveCurrent(-1); });
    connect(DownButton, &QPushButton::clicked, this, [this] { moveCurrent(1); });
    connect(List, &QTableWidget::currentCellChanged, this, &TDetailsWindow::showCurrent);
    connect(KindBox, &QComboBox::currentIndexChanged, this, &TDetailsWindow::kindChanged);
    connect(TypeBox, &QComboBox::currentTextChanged, this, &TDetailsWindow::editorChanged);
    for (QLineEdit *edit :
         {LabelEdit, ValueEdit, StreetEdit, CodeEdit, TownEdit, RegionEdit, CountryEdit})
        connect(edit, &QLineEdit::textEdited, this, &TDetailsWindow::editorChanged);

    QList<QWidget *> order{List,       AddButton,   RemoveButton, UpButton,    DownButton, KindBox,
                           TypeBox,    LabelEdit,   ValueEdit,    StreetEdit,  CodeEdit,   TownEdit,
                           RegionEdit, CountryEdit, OkButton,     CancelButton};
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    showCurrent();
}

// The value: one line, or for an address its street, code, town, region and country.
void TDetailsWindow::buildValueEditor(int top)
{
    ValuePages = new QStackedWidget(this);
    ValuePages->setObjectName(QStringLiteral("ValuePages"));
    ValuePages->setGeometry(8, top, 624, 84);
    auto *line = new QWidget(ValuePages);
    line->setObjectName(QStringLiteral("ValuePage"));
    ValueEdit =
        captionedEdit(line, "ValueEdit", QStringLiteral("&Wartość"), {0, 4}, QRect(72, 0, 390, 24));
    auto *address = new QWidget(ValuePages);
    address->setObjectName(QStringLiteral("AddressPage"));
    StreetEdit = captionedEdit(address, "StreetEdit", QStringLiteral("U&lica"), {0, 4},
                               QRect(72, 0, 390, 24));
    CodeEdit =
        captionedEdit(address, "CodeEdit", QStringLiteral("&Kod"), {0, 34}, QRect(72, 30, 90, 24));
    TownEdit = captionedEdit(address, "TownEdit", QStringLiteral("&Miasto"), {176, 34},
                             QRect(232, 30, 230, 24));
    RegionEdit = captionedEdit(address, "RegionEdit", QStringLiteral("R&egion"), {0, 64},
                               QRect(72, 60, 150, 24));
    CountryEdit = captionedEdit(address, "CountryEdit", QStringLiteral("Kra&j"), {236, 64},
                                QRect(280, 60, 182, 24));
    ValuePages->addWidget(line);
    ValuePages->addWidget(address);
}

QStringList TDetailsWindow::typeChoices()
{
    return {QString(), QStringLiteral("służbowy"), QStringLiteral("komórkowy"),
            QStringLiteral("domowy"), QStringLiteral("prywatny")};
}

TDetailsWindow::Summary TDetailsWindow::summarize(TTable *table)
{
    if (!table || !table->active())
        return {};
    if (!table->hasDetails())
        return {false, QStringLiteral("Ta baza danych nie przechowuje dalszych danych kontaktów: "
                                      "powstała w starszej wersji programu i jest otwarta tylko "
                                      "do odczytu.")};
    QList<ContactDetail> details;
    try {
        details = table->details();
    } catch (const DatabaseError &error) {
        // The button stays usable: a click reads them again and reports the failure.
        return {true, QStringLiteral("Nie udało się odczytać dalszych danych: ") + error.message()};
    }
    if (details.isEmpty())
        return {false, QStringLiteral("Ten kontakt nie ma dalszych danych.")};
    QStringList counts;
    for (int kind = 0; kind < ContactDetail::kKindCount; ++kind) {
        const auto count = std::count_if(details.begin(), details.end(), [kind](const auto &d) {
            return d.kind == ContactDetail::Kind(kind);
        });
        if (count > 0)
            counts << QStringLiteral("%1 × %2").arg(count).arg(
                ContactDetail::kindCaption(ContactDetail::Kind(kind)));
    }
    return {true, QStringLiteral("Dalsze dane kontaktu: ") + counts.join(QStringLiteral(", "))};
}

void TDetailsWindow::setContact(const QString &name, const QList<ContactDetail> &details)
{
    Heading->setText(name.isEmpty() ? QStringLiteral("(kontakt bez nazwy)") : name);
    List->setDetails(details);
    if (m_mode == Mode::Edit)
        showCurrent();
    List->setFocus();
}

QList<ContactDetail> TDetailsWindow::details() const
{
    QList<ContactDetail> kept;
    for (const ContactDetail &detail : List->details()) {
        if (!detail.displayValue().trimmed().isEmpty())
            kept << detail;
    }
    return kept;
}

TDetailsWindow::Answer TDetailsWindow::run(const QString &name, const QList<ContactDetail> &details)
{
    setContact(name, details);
    return Answer(runModal());
}

void TDetailsWindow::keyPressEvent(QKeyEvent *event)
{
    // Enter in the editor presses the focused button, or else confirms, as in a dialog.
    if (m_mode == Mode::Edit && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        if (auto *button = qobject_cast<QPushButton *>(focusWidget()))
            button->click();
        else
            answer(Accepted);
        return;
    }
    KaxModalWindow::keyPressEvent(event);
}

void TDetailsWindow::AddButtonClick()
{
    // A new value of the chosen row's kind, or a telephone, ready to be typed.
    ContactDetail detail;
    detail.kind = List->currentRow() >= 0 ? ContactDetail::Kind(KindBox->currentIndex())
                                          : ContactDetail::Phone;
    if (detail.kind == ContactDetail::Address)
        detail.value = ContactDetail::joinAddress({});
    QList<ContactDetail> all = List->details();
    all << detail;
    List->setDetails(all);
    List->setCurrentCell(int(all.size()) - 1, 0);
    (detail.kind == ContactDetail::Address ? StreetEdit : ValueEdit)->setFocus();
}

void TDetailsWindow::RemoveButtonClick()
{
    const int row = List->currentRow();
    QList<ContactDetail> all = List->details();
    if (row < 0 || row >= all.size())
        return;
    all.removeAt(row);
    List->setDetails(all);
    if (!all.isEmpty())
        List->setCurrentCell(std::min(row, int(all.size()) - 1), 0);
    showCurrent();
}

void TDetailsWindow::moveCurrent(int by)
{
    const int row = List->currentRow();
    QList<ContactDetail> all = List->details();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= all.size())
        return;
    all.move(row, to);
    List->setDetails(all);
    List->setCurrentCell(to, 0);
}

void TDetailsWindow::showCurrent()
{
    const int row = List->currentRow();
    const bool has = row >= 0 && row < List->details().size();
    const ContactDetail detail = has ? List->details().at(row) : ContactDetail();
    m_showing = true;
    KindBox->setCurrentIndex(has ? int(detail.kind) : int(ContactDetail::Phone));
    TypeBox->setCurrentText(detail.type);
    LabelEdit->setText(detail.label);
    const bool address = has && detail.kind == ContactDetail::Address;
    ValuePages->setCurrentIndex(address ? 1 : 0);
    ValueEdit->setText(address ? QString() : detail.value);
    const QStringList parts = address ? ContactDetail::splitAddress(detail.value) : QStringList();
    StreetEdit->setText(parts.value(Street));
    CodeEdit->setText(parts.value(Code));
    TownEdit->setText(parts.value(Town));
    RegionEdit->setText(parts.value(Region));
    CountryEdit->setText(parts.value(Country));
    for (QWidget *editor : {static_cast<QWidget *>(KindBox), static_cast<QWidget *>(TypeBox),
                            static_cast<QWidget *>(LabelEdit), static_cast<QWidget *>(ValuePages)})
        editor->setEnabled(has);
    m_showing = false;
    updateButtons();
}

void TDetailsWindow::kindChanged()
{
    const int row = List->currentRow();
    if (m_showing || row < 0 || row >= List->details().size())
        return;
    ContactDetail detail = List->details().at(row);
    const auto kind = ContactDetail::Kind(KindBox->currentIndex());
    // The value typed so far stays: as the street of an address, or as one line.
    if (kind == ContactDetail::Address && detail.kind != ContactDetail::Address) {
        QStringList parts(7);
        parts[Street] = detail.value;
        detail.value = ContactDetail::joinAddress(parts);
    } else if (kind != ContactDetail::Address && detail.kind == ContactDetail::Address) {
        detail.value = detail.displayValue();
    }
    detail.kind = kind;
    List->setDetail(row, detail);
    showCurrent();
}

void TDetailsWindow::editorChanged()
{
    const int row = List->currentRow();
    if (m_showing || row < 0 || row >= List->details().size())
        return;
    ContactDetail detail = List->details().at(row);
    detail.type = TypeBox->currentText().trimmed();
    detail.label = LabelEdit->text();
    if (detail.kind == ContactDetail::Address) {
        // The post box and extended parts that came with the address stay.
        QStringList parts = ContactDetail::splitAddress(detail.value);
        parts[Street] = StreetEdit->text();
        parts[Code] = CodeEdit->text();
        parts[Town] = TownEdit->text();
        parts[Region] = RegionEdit->text();
        parts[Country] = CountryEdit->text();
        detail.value = ContactDetail::joinAddress(parts);
    } else {
        detail.value = ValueEdit->text();
    }
    List->setDetail(row, detail);
}

void TDetailsWindow::updateButtons()
{
    const int row = List->currentRow();
    const int count = int(List->details().size());
    RemoveButton->setEnabled(row >= 0 && row < count);
    UpButton->setEnabled(row > 0 && row < count);
    DownButton->setEnabled(row >= 0 && row + 1 < count);
}
