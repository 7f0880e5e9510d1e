#include "app/splash_window.h"

#include "forms/form_style.h"

#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>

namespace {

QLabel *makePicture(QWidget *parent, const char *name, const QString &resource, QRect where)
{
    auto *picture = new QLabel(parent);
    picture->setObjectName(QLatin1String(name));
    picture->setGeometry(where);
    picture->setPixmap(QIcon(resource).pixmap(where.size()));
    picture->setScaledContents(true);
    return picture;
}

} // namespace

TSplashFrm::TSplashFrm(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    using namespace FormStyle;
    setObjectName(QStringLiteral("SplashFrm"));
    setFixedSize(390, 165);
    setAutoFillBackground(true);

    Image1 = makePicture(this, "Image1", QStringLiteral(":/images/splash-background.svg"),
                         QRect(0, 0, 390, 149));
    Image2 =
        makePicture(this, "Image2", QStringLiteral(":/images/logo.svg"), QRect(10, 68, 137, 73));
    Label1 = label(this, QStringLiteral("Label1"), QStringLiteral("Internetowa Baza Adresowa "),
                   {12, 8}, arial(16, true));
    Label2 = label(this, QStringLiteral("Label2"), QStringLiteral("Kartax2000®"), {12, 26},
                   arial(32, true));
    Label3 = label(this, QStringLiteral("Label3"), QStringLiteral("ver.5.1"), {300, 44},
                   arial(11, true));
    const QFont small = arial(11);
    Label4 = label(this, QStringLiteral("Label4"),
                   QStringLiteral("© Kartax2000. Wszelkie prawa zastrzeżone."), {160, 76}, small);
    Label5 = label(this, QStringLiteral("Label5"),
                   QStringLiteral("Program chroniony prawem autorskim."), {160, 92}, small);
    Label6 = label(this, QStringLiteral("Label6"),
                   QStringLiteral("Pomoc techniczna: biuro@kartax2000.pl"), {160, 108}, small);
    Label7 = label(this, QStringLiteral("Label7"),
                   QStringLiteral("Aktualizacje: www.kartax2000.pl"), {160, 124}, small);
    // The texts stand on the background picture: no background of their own, and
    // black where not coloured, whatever the desktop's colours.
    setTextColour(Label1, kNavy);
    setTextColour(Label2, kNavy);
    setTextColour(Label3, kMaroon);
    for (QLabel *text : {Label4, Label5, Label6, Label7})
        setTextColour(text, Qt::black);
    for (QLabel *text : {Label1, Label2, Label3, Label4, Label5, Label6, Label7})
        text->setAttribute(Qt::WA_TranslucentBackground);

    QFrame *frame =
        bevel(this, QStringLiteral("Bevel1"), QRect(0, 0, 390, 165), QFrame::Box | QFrame::Raised);
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(0, 149, 390, 16);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    time = new QTimer(this);
    time->setObjectName(QStringLiteral("time"));
    time->setTimerType(Qt::PreciseTimer); // the splash stays at least one full interval
    time->setInterval(1000);
    connect(time, &QTimer::timeout, this, &TSplashFrm::timeTimer);
    time->start();

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TSplashFrm::timeTimer()
{
    time->stop();
}
