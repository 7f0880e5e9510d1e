#include "messaging/signature_window.h"

#include "exchange/countries.h"
#include "forms/form_style.h"
#include "platform/errors.h"
#include "platform/settings_store.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace {

constexpr int labelX = 32;
constexpr int fieldX = 120;
constexpr int firstRowY = 24;
constexpr int rowStep = 32;
constexpr int fieldHeight = 22;

QString valueName(int line)
{
    return QStringLiteral("Nazwa%1").arg(line);
}

} // namespace

TForm17::TForm17(QWidget *parent)
    : KaxForm(QStringLiteral("Form17"), QStringLiteral("Podpis"), QSize(583, 374), 17, parent)
{
    using namespace FormStyle;
    Bevel1 = bevel(this, QStringLiteral("Bevel1"), rect());

    const QStringList captions{QStringLiteral("Nazwa"),          QStringLiteral("Branża"),
                               QStringLiteral("Przedstawiciel"), QStringLiteral("Miasto"),
                               QStringLiteral("Adres"),          QStringLiteral("Adres E-mail"),
                               QStringLiteral("Adres Http://"),  QStringLiteral("Kraj")};
    QLabel **labels[] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6, &Label7, &Label8};
    QLineEdit **edits[] = {&Edit1, &Edit2, &Edit3, &Edit4, &Edit5, &Edit6, &Edit7};
    for (int i = 0; i < lineCount; ++i) {
        const int y = firstRowY + i * rowStep;
        QWidget *field = nullptr;
        if (i < lineCount - 1) {
            auto *edit = new QLineEdit(this);
            edit->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
            edit->setGeometry(fieldX, y, 441, fieldHeight);
            *edits[i] = edit;
            field = edit;
        } else {
            Edit8 = new QComboBox(this);
            Edit8->setObjectName(QStringLiteral("Edit8"));
            Edit8->setEditable(true);
            Edit8->setInsertPolicy(QComboBox::NoInsert);
            Edit8->setMaxVisibleItems(8);
            Edit8->addItems(Countries::signatureList());
            Edit8->setCurrentIndex(-1);
            Edit8->setGeometry(fieldX, y, 249, fieldHeight);
            field = Edit8;
        }
        QLabel *caption =
            label(this, QStringLiteral("Label%1").arg(i + 1), captions[i], QPoint(labelX, y + 3));
        caption->setBuddy(field);
        field->setAccessibleName(captions[i]);
        *labels[i] = caption;
    }
    for (int i = 0; i + 1 < lineCount; ++i)
        setTabOrder(*edits[i], i + 2 < lineCount ? static_cast<QWidget *>(*edits[i + 1]) : Edit8);

    const QStringList notes{
        QStringLiteral("Podpis używany do listów może się składać maksymalnie"),
        QStringLiteral("z 8 linijek (wierszy). Sposób użycia jest dowolny i zależy "),
        QStringLiteral("od użytkownika. W ósmej linijce wprowadzono nazwy państw."),
        QStringLiteral("W miejsce NAZWY można wpisać własne Imię i Nazwisko"),
        QStringLiteral("w miejsce BRANŻY nazwę miasta i kod pocztowy itp.....")};
    QLabel **noteLabels[] = {&Label9, &Label10, &Label11, &Label12, &Label13};
    for (int i = 0; i < notes.size(); ++i)
        *noteLabels[i] = label(this, QStringLiteral("Label%1").arg(9 + i), notes[i],
                               QPoint(labelX, 282 + i * 16));

    SpeedButton2 =
        toolButton(this, QStringLiteral("SpeedButton2"), QStringLiteral("Zapisz"),
                   QRect(456, 292, 105, 30), glyphLook(QStringLiteral("signature-save"), false));
    SpeedButton1 =
        toolButton(this, QStringLiteral("SpeedButton1"), QStringLiteral("Zamknij"),
                   QRect(456, 328, 105, 30), glyphLook(QStringLiteral("messaging-close"), false));
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm17::SpeedButton2Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm17::SpeedButton1Click);

    FormCreate();
}

TForm17::~TForm17() = default;

QStringList TForm17::signatureLines() const
{
    return {Edit1->text(), Edit2->text(), Edit3->text(), Edit4->text(),
            Edit5->text(), Edit6->text(), Edit7->text(), Edit8->currentText()};
}

void TForm17::FormCreate()
{
    // A missing key or value reads as empty. A value of another type than text
    // cannot be a signature line written by this window: the line stays empty,
    // the reason is kept and logged, and the other lines load as usual.
    m_loadProblems.clear();
    SettingsStore store;
    store.openKey(QStringLiteral("Kax\\Podpis"), false);
    QLineEdit *edits[] = {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7};
    for (int line = 1; line <= lineCount; ++line) {
        QString text;
        if (store.hasCurrentKey()) {
            try {
                text = store.readString(valueName(line));
            } catch (const SettingsError &error) {
                m_loadProblems << error.message();
                qWarning("Kax\\Podpis: %s", qUtf8Printable(error.message()));
            }
        }
        if (line < lineCount)
            edits[line - 1]->setText(text);
        else
            Edit8->setEditText(text);
    }
}

void TForm17::SpeedButton2Click()
{
    SettingsStore store;
    if (!store.openKey(QStringLiteral("\\Kax\\Podpis"), true))
        return;
    const QStringList lines = signatureLines();
    for (int line = 1; line <= lineCount; ++line)
        store.writeString(valueName(line).toLower(), lines[line - 1]);
    store.closeKey();
}

void TForm17::SpeedButton1Click()
{
    close();
}
