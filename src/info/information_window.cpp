#include "info/information_window.h"

#include "forms/form_style.h"
#include "info/help_system.h"
#include "info/info_picture.h"
#include "platform/system_info_tool.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolButton>

namespace {
constexpr int informationTopic = 9;
}

QString TForm5::informationText()
{
    return QStringLiteral(
        "Kartax2000® – Internetowa Baza Adresowa\n"
        "\n"
        "Kartax2000® to książka adresowa firm i kontaktów handlowych. Dla każdego kontaktu "
        "program przechowuje nazwę, branżę, przedstawiciela, kraj, miejscowość, kod pocztowy, "
        "ulicę, region, numery telefonu i telefaksu, adres e-mail, adres strony WWW oraz "
        "dowolne uwagi.\n"
        "\n"
        "Z karty kontaktu w oknie głównym można:\n"
        "• znaleźć kontakt, wpisując początek nazwy, branży lub nazwiska przedstawiciela,\n"
        "• wybrać numer telefonu przez modem,\n"
        "• napisać list e-mail w domyślnym programie pocztowym,\n"
        "• otworzyć stronę WWW kontaktu lub stronę z listy ulubionych,\n"
        "• przejrzeć i wydrukować historię rozmów, listów i odwiedzonych stron,\n"
        "• wydrukować pełne dane i etykiety adresowe kontaktów.\n"
        "\n"
        "Kontakty dopisuje się, poprawia i usuwa w oknie „Wpisz dane” (menu Program). "
        "Port modemu i sposób wybierania numeru oraz podpis listów ustawia się w menu "
        "Ustawienia.\n"
        "\n"
        "Przycisk „Pomoc” otwiera opis tego okna w pomocy programu, a klawisz F1 – opis "
        "okna, w którym właśnie pracujesz. Przycisk „Info.sys” uruchamia systemowy program "
        "informacji o komputerze, jeżeli jest zainstalowany (na przykład hardinfo, "
        "gnome-system-monitor lub kinfocenter).");
}

TForm5::TForm5(QWidget *parent)
    : KaxForm(QStringLiteral("Form5"), QStringLiteral("Informacje"), QSize(587, 227), 9, parent)
{
    using namespace FormStyle;

    p1 = statusBar(this, QStringLiteral("p1"));
    p1Panel1 = statusPanel(p1, QStringLiteral("p1Panel1"), 450);
    p1Panel2 = statusPanel(p1, QStringLiteral("p1Panel2"), 0);
    p1Panel2->setText(QStringLiteral("Panel informacyjny"));
    Bevel1 = bevel(this, QStringLiteral("Bevel1"), QRect(0, 0, width(), p1->y()),
                   QFrame::Panel | QFrame::Sunken);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 8, 233, 153);
    Image1->setPixmap(
        renderPicture(QStringLiteral(":/images/info_logo.svg"), Image1->size(), this));
    Image1->setAccessibleName(QStringLiteral("Logo programu Kartax2000®"));

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(248, 8, 329, 161);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setReadOnly(true);
    Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Memo1->setPlainText(informationText());
    Memo1->setAccessibleName(QStringLiteral("Informacje o programie"));
    QPalette memoPalette = Memo1->palette();
    memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::Window));
    Memo1->setPalette(memoPalette);

    SpeedButton1 = toolButton(
        this, QStringLiteral("SpeedButton1"), QStringLiteral("Pomoc"), QRect(8, 176, 113, 25),
        {.icon = icon(QStringLiteral("info-help")), .iconSize = QSize(16, 16)});
    SpeedButton4 = toolButton(
        this, QStringLiteral("SpeedButton4"), QStringLiteral("Info.sys"), QRect(256, 176, 113, 25),
        {.icon = icon(QStringLiteral("info-system")), .iconSize = QSize(16, 16)});
    SpeedButton3 = toolButton(
        this, QStringLiteral("SpeedButton3"), QStringLiteral("Zamknij"), QRect(464, 176, 113, 25),
        {.icon = icon(QStringLiteral("info-close")), .iconSize = QSize(16, 16)});
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm5::SpeedButton1Click);
    connect(SpeedButton4, &QToolButton::clicked, this, &TForm5::SpeedButton4Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TForm5::SpeedButton3Click);

    // Holds the path of the system's information program while it is started.
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->move(40, 8);
    Edit1->setVisible(false);

    for (QWidget *watched : std::initializer_list<QWidget *>{
             Image1, Memo1->viewport(), SpeedButton1, SpeedButton4, SpeedButton3, p1}) {
        watchMouse(watched, this);
    }
}

void TForm5::SpeedButton1Click()
{
    HelpSystem::setHelpFile(QStringLiteral("Kartax.HLP"));
    HelpSystem::showContext(informationTopic);
}

void TForm5::SpeedButton4Click()
{
    // With no information program installed there is nothing to start.
    Edit1->setText(SystemInfoTool::locate());
    if (!Edit1->text().isEmpty())
        ProgramStarter::current().startDetached(Edit1->text());
}

void TForm5::SpeedButton3Click()
{
    close();
}

void TForm5::Image1MouseMove()
{
    p1Panel1->setText(QStringLiteral("Kartax2000® – Internetowa Baza Adresowa"));
}

void TForm5::Memo1MouseMove()
{
    p1Panel1->setText(QStringLiteral("Informacje o programie Kartax2000®"));
}

void TForm5::SpeedButton1MouseMove()
{
    p1Panel1->setText(QStringLiteral("Aktualna pomoc tematu"));
}

void TForm5::SpeedButton4MouseMove()
{
    p1Panel1->setText(QStringLiteral("Informacja systemu"));
}

void TForm5::SpeedButton3MouseMove()
{
    p1Panel1->setText(QStringLiteral("Zamyka panel info"));
}

void TForm5::p1MouseMove()
{
    p1Panel1->clear();
}

bool TForm5::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove) {
        if (watched == Image1)
            Image1MouseMove();
        else if (watched == Memo1->viewport())
            Memo1MouseMove();
        else if (watched == SpeedButton1)
            SpeedButton1MouseMove();
        else if (watched == SpeedButton4)
            SpeedButton4MouseMove();
        else if (watched == SpeedButton3)
            SpeedButton3MouseMove();
        else if (watched == p1)
            p1MouseMove();
    }
    return KaxForm::eventFilter(watched, event);
}
