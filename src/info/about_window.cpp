#include "info/about_window.h"

#include "forms/form_style.h"
#include "info/info_picture.h"
#include "platform/memory_status.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

namespace {

constexpr qint64 oneMegabyte = 1048576;

// The meter's value for a figure that could not be measured.
const QString unknownAmount = QStringLiteral("brak danych");

} // namespace

QString FormatMemSize(qint64 bytes, const QLocale &locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    if (bytes <= oneMegabyte)
        return plain.toString(double(bytes) / 1024.0, 'f', 1) + QStringLiteral(" KB");
    return plain.toString(double(bytes) / double(oneMegabyte), 'f', 1) + QStringLiteral(" MB");
}

TForm3::TForm3(QWidget *parent)
    : KaxForm(QStringLiteral("Form3"), QStringLiteral("About"), QSize(279, 338), 7, parent)
{
    using namespace FormStyle;
    // This window's font is the small one (8 pt); labels with a type of their own set it.
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);

    p1 = statusBar(this, QStringLiteral("p1"));
    p1Panel = statusPanel(p1, QStringLiteral("p1Panel"), 0);
    Bevel1 = bevel(this, QStringLiteral("Bevel1"), QRect(0, 0, width(), p1->y()),
                   QFrame::Panel | QFrame::Sunken);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 8, 137, 81);
    Image1->setPixmap(
        renderPicture(QStringLiteral(":/images/info_logo.svg"), Image1->size(), this));
    Image1->setAccessibleName(QStringLiteral("Logo programu Kartax2000®"));

    Label1 = label(this, QStringLiteral("Label1"), QStringLiteral("Internetowa"), QPoint(160, 16),
                   arial(16, true));
    Label2 = label(this, QStringLiteral("Label2"), QStringLiteral("Baza"), QPoint(160, 40),
                   arial(16, true));
    Label3 = label(this, QStringLiteral("Label3"), QStringLiteral("Adresowa"), QPoint(160, 64),
                   arial(16, true));
    Kartax2000 = label(this, QStringLiteral("Kartax2000"), QStringLiteral("Kartax2000®"),
                       QPoint(40, 104), arial(32, true));
    Label4 = label(this, QStringLiteral("Label4"), QStringLiteral("ver. 5.0"), QPoint(120, 144));
    Label5 = label(this, QStringLiteral("Label5"), QStringLiteral("Wszelkie prawa zastrzeżone"),
                   QPoint(24, 168), arial(13, true));
    Label6 = label(this, QStringLiteral("Label6"),
                   QStringLiteral("Program jest chroniony prawem autorskim."), QPoint(24, 192));
    Label7 = label(this, QStringLiteral("Label7"),
                   QStringLiteral("Kopiowanie i rozpowszechnianie bez zgody"), QPoint(24, 208));
    Label8 = label(this, QStringLiteral("Label8"), QStringLiteral("autora są zabronione."),
                   QPoint(24, 224));
    Bevel2 = bevel(this, QStringLiteral("Bevel2"), QRect(16, 248, 249, 2),
                   QFrame::HLine | QFrame::Sunken);
    Label9 = label(this, QStringLiteral("Label9"), QString(), QPoint(24, 256));
    Label10 = label(this, QStringLiteral("Label10"), QString(), QPoint(24, 272));

    SpeedButton1 = toolButton(
        this, QStringLiteral("SpeedButton1"), QStringLiteral("&Zamknij"), QRect(88, 288, 113, 25),
        {.icon = icon(QStringLiteral("info-close")), .iconSize = QSize(16, 16)});
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm3::SpeedButton1Click);

    for (QWidget *watched : std::initializer_list<QWidget *>{
             Image1, Kartax2000, Label5, Label6, Label7, Label8, Label9, Label10, SpeedButton1}) {
        watchMouse(watched, this);
    }

    FormCreate();
}

void TForm3::FormCreate()
{
    // Measured once: showing the window later shows the memory as it was at start-up.
    const MemoryFigures figures = MemoryStatus::current().query();
    const QString available = figures.ok ? FormatMemSize(figures.availablePhysical) : unknownAmount;
    const QString total = figures.ok ? FormatMemSize(figures.totalPhysical) : unknownAmount;
    Label9->setText(QStringLiteral("Wolna pamięć RAM         %1").arg(available));
    Label9->adjustSize();
    Label10->setText(QStringLiteral("Całkowita pamięć RAM   %1").arg(total));
    Label10->adjustSize();
}

void TForm3::SpeedButton1Click()
{
    close();
}

void TForm3::Image1MouseMove()
{
    setStatus(QStringLiteral("Internetowa Baza Adresowa Kartax2000®"));
}

void TForm3::Kartax2000MouseMove()
{
    setStatus(QStringLiteral("Kartax2000®"));
}

void TForm3::Label8MouseMove()
{
    setStatus(QStringLiteral("Kartax2000®"));
}

void TForm3::Label9MouseMove()
{
    setStatus(QStringLiteral("Miernik pamięci RAM"));
}

void TForm3::Label10MouseMove()
{
    setStatus(QStringLiteral("Miernik pamięci RAM"));
}

void TForm3::SpeedButton1MouseMove()
{
    setStatus(QStringLiteral("Zamyka informacje"));
}

void TForm3::setStatus(const QString &text)
{
    p1Panel->setText(text);
}

bool TForm3::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove) {
        if (watched == Image1)
            Image1MouseMove();
        else if (watched == Kartax2000)
            Kartax2000MouseMove();
        else if (watched == Label5 || watched == Label6 || watched == Label7 || watched == Label8)
            Label8MouseMove();
        else if (watched == Label9)
            Label9MouseMove();
        else if (watched == Label10)
            Label10MouseMove();
        else if (watched == SpeedButton1)
            SpeedButton1MouseMove();
    }
    return KaxForm::eventFilter(watched, event);
}
