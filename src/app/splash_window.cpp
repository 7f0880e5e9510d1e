#include "app/splash_window.h"

#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>

namespace {

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, int pixelSize, bool bold,
                  QPoint at, const QColor &colour = Qt::black)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAttribute(Qt::WA_TranslucentBackground);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->move(at);
    label->adjustSize();
    return label;
}

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
    setObjectName(QStringLiteral("SplashFrm"));
    setFixedSize(390, 165);
    setAutoFillBackground(true);

    Image1 = makePicture(this, "Image1", QStringLiteral(":/images/splash-background.svg"),
                         QRect(0, 0, 390, 149));
    Image2 =
        makePicture(this, "Image2", QStringLiteral(":/images/logo.svg"), QRect(10, 68, 137, 73));
    Label1 = makeLabel(this, "Label1", QStringLiteral("Internetowa Baza Adresowa "), 16, true,
                       {12, 8}, QColor(0, 0, 128));
    Label2 = makeLabel(this, "Label2", QStringLiteral("Kartax2000®"), 32, true, {12, 26},
                       QColor(0, 0, 128));
    Label3 = makeLabel(this, "Label3", QStringLiteral("ver.5.1"), 11, true, {300, 44},
                       QColor(128, 0, 0));
    Label4 = makeLabel(this, "Label4", QStringLiteral("© Kartax2000. Wszelkie prawa zastrzeżone."),
                       11, false, {160, 76});
    Label5 = makeLabel(this, "Label5", QStringLiteral("Program chroniony prawem autorskim."), 11,
                       false, {160, 92});
    Label6 = makeLabel(this, "Label6", QStringLiteral("Pomoc techniczna: biuro@kartax2000.pl"), 11,
                       false, {160, 108});
    Label7 = makeLabel(this, "Label7", QStringLiteral("Aktualizacje: www.kartax2000.pl"), 11, false,
                       {160, 124});

    auto *bevel = new QFrame(this);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Raised);
    bevel->setGeometry(0, 0, 390, 165);
    bevel->setAttribute(Qt::WA_TransparentForMouseEvents);

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
