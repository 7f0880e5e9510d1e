#include "dial/dial_settings_window.h"

#include "dial/dial_setting.h"
#include "forms/form_style.h"
#include "platform/errors.h"
#include "platform/restart.h"
#include "platform/settings_store.h"
#include "platform/widgets/dialogs.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QToolButton>

namespace {

constexpr int kHelpContext = 8;
constexpr int kStatusTop = 218;

QLabel *makePanel(QWidget *parent, const QString &name, const QString &text)
{
    auto *panel = new QLabel(text, parent);
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setContentsMargins(2, 0, 2, 0);
    return panel;
}

} // namespace

TForm4::TForm4(QWidget *parent)
    : KaxForm(QStringLiteral("Form4"), QStringLiteral("Ustawienia telefoniczne modemu"),
              QSize(369, 237), kHelpContext, parent)
{
    using namespace FormStyle;
    setWindowIcon(icon(QStringLiteral("dial-settings")));

    Bevel1 = bevel(this, QStringLiteral("Bevel1"), QRect(0, 0, 369, kStatusTop));

    const ButtonLook port{.icon = icon(QStringLiteral("dial-com"))};
    QToolButton **const pulse[] = {&SpeedButton1, &SpeedButton2, &SpeedButton3, &SpeedButton4};
    QToolButton **const tone[] = {&SpeedButton5, &SpeedButton6, &SpeedButton7, &SpeedButton8};
    for (int row = 0; row < 4; ++row) {
        const int top = 32 + row * 32;
        *pulse[row] =
            toolButton(this, QStringLiteral("SpeedButton%1").arg(row + 1),
                       QStringLiteral("COM %1  PULSE").arg(row + 1), QRect(24, top, 121, 25), port);
        // The pulse column shows its image to the right of the caption.
        (*pulse[row])->setLayoutDirection(Qt::RightToLeft);
        *tone[row] =
            toolButton(this, QStringLiteral("SpeedButton%1").arg(row + 5),
                       QStringLiteral("COM %1  TONE").arg(row + 1), QRect(224, top, 121, 25), port);
    }
    // Below the modems, across both columns: the desktop's telephone.
    SpeedButton10 = toolButton(this, QStringLiteral("SpeedButton10"),
                               QStringLiteral("Telefon systemowy (tel:)"), QRect(24, 160, 321, 25),
                               {.icon = icon(QStringLiteral("phone"))});
    SpeedButton9 =
        toolButton(this, QStringLiteral("SpeedButton9"), QStringLiteral("   &Restart"),
                   QRect(136, 192, 97, 22), {.icon = icon(QStringLiteral("dial-restart"))});

    // The button of the setting in force stays checked.
    for (QToolButton *choice :
         {SpeedButton1, SpeedButton2, SpeedButton3, SpeedButton4, SpeedButton5, SpeedButton6,
          SpeedButton7, SpeedButton8, SpeedButton10})
        choice->setCheckable(true);

    connect(SpeedButton1, &QToolButton::clicked, this, &TForm4::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm4::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TForm4::SpeedButton3Click);
    connect(SpeedButton4, &QToolButton::clicked, this, &TForm4::SpeedButton4Click);
    connect(SpeedButton5, &QToolButton::clicked, this, &TForm4::SpeedButton5Click);
    connect(SpeedButton6, &QToolButton::clicked, this, &TForm4::SpeedButton6Click);
    connect(SpeedButton7, &QToolButton::clicked, this, &TForm4::SpeedButton7Click);
    connect(SpeedButton8, &QToolButton::clicked, this, &TForm4::SpeedButton8Click);
    connect(SpeedButton9, &QToolButton::clicked, this, &TForm4::SpeedButton9Click);
    connect(SpeedButton10, &QToolButton::clicked, this, &TForm4::SpeedButton10Click);

    p1 = statusBar(this, QStringLiteral("p1"), height() - kStatusTop);
    m_panel0 = makePanel(p1, QStringLiteral("p1Panel0"), QString());
    m_panel0->setFixedWidth(250);
    m_panel1 = makePanel(p1, QStringLiteral("p1Panel1"), QStringLiteral("Ustawienie portu"));
    p1->addWidget(m_panel0);
    p1->addWidget(m_panel1, 1); // the last panel reaches the right edge

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->hide();

    FormCreate();
}

QString TForm4::statusText(const QString &setting)
{
    static const QString texts[] = {
        QStringLiteral("Ustawienie COM 1 / PULSE "), QStringLiteral("Ustawienie COM 2 / PULSE"),
        QStringLiteral("Ustawienie COM 3 / PULSE"),  QStringLiteral("Ustawienie COM 4 / PULSE"),
        QStringLiteral("Ustawienie COM 1 / TONE"),   QStringLiteral("Ustawienie COM 2 / TONE"),
        QStringLiteral("Ustawienie COM 3 / TONE"),   QStringLiteral("Ustawienie COM 4 / TONE"),
        QStringLiteral("Telefon systemowy (tel:)"),
    };
    for (int digit = 0; digit < 9; ++digit) {
        if (setting == QString::number(digit))
            return texts[digit];
    }
    return {};
}

void TForm4::FormCreate()
{
    try {
        Edit1->setText(DialSetting::read(QStringLiteral("Tel")));
    } catch (const KaxError &) {
        // A value of another type counts as no setting. The main window, created
        // first, reads the same value and has shown why; once is enough.
    }
    showSetting();
}

QString TForm4::setting() const
{
    return Edit1->text();
}

void TForm4::showSetting()
{
    const QString current = Edit1->text();
    m_panel0->setText(statusText(current));
    QToolButton *const choices[] = {SpeedButton1, SpeedButton2, SpeedButton3,
                                    SpeedButton4, SpeedButton5, SpeedButton6,
                                    SpeedButton7, SpeedButton8, SpeedButton10};
    for (int digit = 0; digit < 9; ++digit) {
        // Checked and in bold: the choice in force stands out among the flat buttons.
        const bool chosen = current == QString::number(digit);
        choices[digit]->setChecked(chosen);
        QFont font = choices[digit]->font();
        font.setBold(chosen);
        choices[digit]->setFont(font);
    }
}

void TForm4::choose(const QString &setting)
{
    bool stored = false;
    try {
        stored = DialSetting::store(setting);
    } catch (...) {
        showSetting(); // the click's check goes back to the setting in force
        throw;
    }
    if (!stored) {
        showSetting();
        showMessage(DialogKind::Error, QStringLiteral("Kartax2000®"),
                    QStringLiteral("Nie udało się zapisać ustawienia telefonicznego w pliku %1.")
                        .arg(SettingsStore::defaultPath()));
        return;
    }
    Edit1->setText(setting);
    showSetting();
    emit settingStored(setting);
}

void TForm4::SpeedButton1Click()
{
    choose(QStringLiteral("0"));
}

void TForm4::SpeedButton2Click()
{
    choose(QStringLiteral("1"));
}

void TForm4::SpeedButton3Click()
{
    choose(QStringLiteral("2"));
}

void TForm4::SpeedButton4Click()
{
    choose(QStringLiteral("3"));
}

void TForm4::SpeedButton5Click()
{
    choose(QStringLiteral("4"));
}

void TForm4::SpeedButton6Click()
{
    choose(QStringLiteral("5"));
}

void TForm4::SpeedButton7Click()
{
    choose(QStringLiteral("6"));
}

void TForm4::SpeedButton8Click()
{
    choose(QStringLiteral("7"));
}

void TForm4::SpeedButton10Click()
{
    choose(DialSetting::kDesktopTelephone);
}

void TForm4::SpeedButton9Click()
{
    Restart::current().reboot();
}
