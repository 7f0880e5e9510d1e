#include "exchange/widgets/duplicate_window.h"

#include "forms/form_style.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

using ContactImport::Choice;

TDuplicateQuestion::TDuplicateQuestion(QWidget *parent)
    : KaxModalWindow(QStringLiteral("DuplicateQuestion"),
                     QStringLiteral("Import kontaktów – kontakt już istnieje"), QSize(600, 458),
                     int(Choice::Skip), parent)
{
    Reason = FormStyle::label(this, QStringLiteral("Reason"), QString(), {8, 10});
    Reason->setFixedWidth(584);
    Reason->setWordWrap(true);
    Reason->setFixedHeight(50); // three lines: the reason may name a street and a telephone

    Compare = new QTableWidget(ContactRecord::kFieldCount, 2, this);
    Compare->setObjectName(QStringLiteral("Compare"));
    Compare->setGeometry(8, 64, 584, 312);
    Compare->setHorizontalHeaderLabels(
        {QStringLiteral("Kontakt z pliku"), QStringLiteral("Kontakt w książce adresowej")});
    QStringList captions;
    for (int field = 0; field < ContactRecord::kFieldCount; ++field)
        captions << ContactRecord::fieldCaption(field);
    Compare->setVerticalHeaderLabels(captions);
    Compare->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Compare->verticalHeader()->setDefaultSectionSize(22);
    Compare->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Compare->setWordWrap(false);

    ForAllBox = new QCheckBox(QStringLiteral("&Tak samo dla wszystkich pozostałych"), this);
    ForAllBox->setObjectName(QStringLiteral("ForAllBox"));
    ForAllBox->setGeometry(8, 386, 584, 22);

    const auto button = [this](const char *name, const QString &text, int x, int width,
                               Choice choice) {
        auto *push = new QPushButton(text, this);
        push->setObjectName(QString::fromLatin1(name));
        push->setGeometry(x, 420, width, 28);
        connect(push, &QPushButton::clicked, this, [this, choice] { answer(int(choice)); });
        return push;
    };
    SkipButton = button("SkipButton", QStringLiteral("&Pomiń"), 8, 120, Choice::Skip);
    UpdateButton = button("UpdateButton", QStringLiteral("&Uzupełnij puste pola"), 136, 190,
                          Choice::UpdateEmpty);
    AddButton = button("AddButton", QStringLiteral("&Dodaj mimo to"), 334, 150, Choice::Add);
    SkipButton->setDefault(true);
}

void TDuplicateQuestion::show(const ContactImport::Duplicate &duplicate)
{
    // A long name is shown whole in the table; the sentence keeps to its lines.
    const auto elided = [this](const QString &name) {
        return Reason->fontMetrics().elidedText(name.simplified(), Qt::ElideRight, 200);
    };
    Reason->setText(QStringLiteral("Kontakt „%1” z pliku odpowiada kontaktowi „%2” z książki "
                                   "adresowej: %3. Co z nim zrobić?")
                        .arg(elided(duplicate.incoming[ContactRecord::Nazwa]),
                             elided(duplicate.stored[ContactRecord::Nazwa]), duplicate.reason));
    for (int field = 0; field < ContactRecord::kFieldCount; ++field) {
        const QString incoming = duplicate.incoming.values[std::size_t(field)];
        const QString stored = duplicate.stored.values[std::size_t(field)];
        auto *left = new QTableWidgetItem(incoming);
        auto *right = new QTableWidgetItem(stored);
        // What "fill the empty fields" would write shows in bold.
        if (stored.trimmed().isEmpty() && !incoming.trimmed().isEmpty()) {
            QFont bold = font();
            bold.setBold(true);
            left->setFont(bold);
        }
        left->setToolTip(incoming);
        right->setToolTip(stored);
        Compare->setItem(field, 0, left);
        Compare->setItem(field, 1, right);
    }
    ForAllBox->setChecked(false);
    SkipButton->setFocus();
}

ContactImport::Decision TDuplicateQuestion::ask(const ContactImport::Duplicate &duplicate)
{
    show(duplicate);
    runModal();
    return decision();
}

ContactImport::Decision TDuplicateQuestion::decision() const
{
    return {Choice(lastAnswer()), ForAllBox->isChecked()};
}
