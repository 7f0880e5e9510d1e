#include "info/about_window.h"
#include "info_fakes.h"
#include "support/fake_memory_status.h"

#include <QLabel>
#include <QStatusBar>
#include <QTest>

#include <QToolButton>
#include <tuple>

// The About window: its meter, measured once, and the texts of its status bar.
class TestAboutWindow final : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { QLocale::setDefault(QLocale::system()); }

    void showsTheWindowAsLaidOut();
    void fillsTheMeterOnceAtCreation();
    void formatsTheMeterWithTheLocalesSeparator();
    void showsAFailedMeasurementAsUnknown();
    void statusTextsFollowTheMouse();
};

namespace {

QString text(QWidget &window, const char *name)
{
    auto *label = window.findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1StringView(name));
}

} // namespace

void TestAboutWindow::showsTheWindowAsLaidOut()
{
    FakeMemoryStatus memory(qint64(3) << 30, qint64(8) << 30);
    TForm3 form;
    QCOMPARE(form.objectName(), QStringLiteral("Form3"));
    QCOMPARE(form.windowTitle(), QStringLiteral("About"));
    QCOMPARE(form.size(), QSize(279, 338));
    QCOMPARE(form.helpContext(), 7);
    QCOMPARE(text(form, "Kartax2000"), QStringLiteral("Kartax2000®"));
    QCOMPARE(text(form, "Label4"), QStringLiteral("ver. 5.0"));
    auto *close = form.findChild<QToolButton *>(QStringLiteral("SpeedButton1"));
    QVERIFY(close);
    QCOMPARE(close->text(), QStringLiteral("&Zamknij"));
    QCOMPARE(close->geometry(), QRect(88, 288, 113, 25));
    QVERIFY(!close->icon().isNull());
    QVERIFY(!form.findChild<QLabel *>(QStringLiteral("Image1"))->pixmap().isNull());

    // Type: 12, 24 and 10 pt bold where given, the window's 8 pt elsewhere.
    for (const auto &[name, pixels, bold] : {std::tuple{"Label1", 16, true},
                                             {"Kartax2000", 32, true},
                                             {"Label5", 13, true},
                                             {"Label4", 11, false},
                                             {"Label8", 11, false},
                                             {"Label10", 11, false}}) {
        const QFont font = form.findChild<QLabel *>(QLatin1String(name))->font();
        QVERIFY2(font.pixelSize() == pixels && font.bold() == bold, name);
    }
    // Every text fits inside the window, clear of the status bar.
    const int statusTop = form.findChild<QStatusBar *>(QStringLiteral("p1"))->y();
    for (QLabel *label : form.findChildren<QLabel *>()) {
        if (label->parentWidget() != &form)
            continue;
        const QRect shown(label->pos(), label->sizeHint());
        QVERIFY2(shown.right() < form.width() && shown.bottom() < statusTop,
                 qPrintable(label->objectName()));
    }

    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    saveScreenshot(&form, QStringLiteral("Form3"));
}

void TestAboutWindow::fillsTheMeterOnceAtCreation()
{
    // More than a signed 32-bit count can hold, both figures.
    FakeMemoryStatus memory(qint64(6) << 30, qint64(16) << 30);
    TForm3 form;
    const QString free = QStringLiteral("Wolna pamięć RAM         6144.0 MB");
    const QString total = QStringLiteral("Całkowita pamięć RAM   16384.0 MB");
    QCOMPARE(text(form, "Label9"), free);
    QCOMPARE(text(form, "Label10"), total);
    QCOMPARE(memory.queries, 1);

    // Memory changes; showing the window again, and again later, measures nothing.
    memory.figures.availablePhysical = qint64(1) << 30;
    form.showForm();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.hide();
    form.showForm();
    QCOMPARE(text(form, "Label9"), free);
    QCOMPARE(text(form, "Label10"), total);
    QCOMPARE(memory.queries, 1);
}

void TestAboutWindow::formatsTheMeterWithTheLocalesSeparator()
{
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    FakeMemoryStatus memory(1572864, 524288);
    TForm3 form;
    QCOMPARE(text(form, "Label9"), QStringLiteral("Wolna pamięć RAM         1,5 MB"));
    QCOMPARE(text(form, "Label10"), QStringLiteral("Całkowita pamięć RAM   512,0 KB"));
}

void TestAboutWindow::showsAFailedMeasurementAsUnknown()
{
    FakeMemoryStatus memory(0, 0);
    memory.figures.ok = false;
    memory.figures.error = QStringLiteral("unreadable");
    TForm3 form;
    QCOMPARE(text(form, "Label9"), QStringLiteral("Wolna pamięć RAM         brak danych"));
    QCOMPARE(text(form, "Label10"), QStringLiteral("Całkowita pamięć RAM   brak danych"));
}

void TestAboutWindow::statusTextsFollowTheMouse()
{
    FakeMemoryStatus memory(1 << 20, 1 << 30);
    TForm3 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(text(form, "p1Panel"), QString());

    const auto moveOver = [&form](const char *name) {
        auto *control = form.findChild<QWidget *>(QString::fromLatin1(name));
        QVERIFY2(control, name);
        QTest::mouseMove(control, control->rect().center());
    };
    const QString meter = QStringLiteral("Miernik pamięci RAM");
    const QString product = QStringLiteral("Kartax2000®");

    moveOver("Label9");
    QTRY_COMPARE(text(form, "p1Panel"), meter);
    moveOver("SpeedButton1");
    QTRY_COMPARE(text(form, "p1Panel"), QStringLiteral("Zamyka informacje"));
    moveOver("Label10");
    QTRY_COMPARE(text(form, "p1Panel"), meter);
    moveOver("Kartax2000");
    QTRY_COMPARE(text(form, "p1Panel"), product);
    moveOver("Image1");
    QTRY_COMPARE(text(form, "p1Panel"), QStringLiteral("Internetowa Baza Adresowa Kartax2000®"));
    for (const char *notice : {"Label5", "Label6", "Label7", "Label8"}) {
        moveOver("Image1");
        moveOver(notice);
        QTRY_COMPARE(text(form, "p1Panel"), product);
    }

    // Controls without a handler, and leaving the window, keep the last text.
    moveOver("Label9");
    moveOver("Label1");
    moveOver("Label4");
    QTest::mouseMove(&form, QPoint(270, 5));
    QTest::mouseMove(&form, QPoint(-20, -20));
    QCOMPARE(text(form, "p1Panel"), meter);
    saveScreenshot(&form, QStringLiteral("Form3-status"));
}

QTEST_MAIN(TestAboutWindow)
#include "tst_about_window.moc"
