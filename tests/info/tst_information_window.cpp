#include "info/help_system.h"
#include "info/help_viewer.h"
#include "info/information_window.h"
#include "info_fakes.h"
#include "platform/data_folder.h"
#include "support/scripted_dialogs.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

// The Information window: its help button, the system's information program and
// the texts of its status bar.
class TestInformationWindow final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showsTheWindowAsLaidOut();
    void statusTextsFollowTheMouse();
    void infoSysStartsTheFirstProgramOnThePath();
    void infoSysDoesNothingWithoutAProgram();
    void theRealStarterStartsTheProgramDetached();
    void helpButtonOpensTheInformationTopic();

private:
    QTemporaryDir m_data;
};

namespace {

QString text(QWidget &window, const char *name)
{
    auto *label = window.findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1StringView(name));
}

QToolButton *button(QWidget &window, const char *name)
{
    return window.findChild<QToolButton *>(QString::fromLatin1(name));
}

} // namespace

void TestInformationWindow::initTestCase()
{
    QVERIFY(m_data.isValid());
    DataFolder::setOverride(m_data.path());
}

void TestInformationWindow::showsTheWindowAsLaidOut()
{
    TForm5 form;
    QCOMPARE(form.objectName(), QStringLiteral("Form5"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Informacje"));
    QCOMPARE(form.size(), QSize(587, 227));
    QCOMPARE(form.helpContext(), 9);
    QCOMPARE(button(form, "SpeedButton1")->text(), QStringLiteral("Pomoc"));
    QCOMPARE(button(form, "SpeedButton4")->text(), QStringLiteral("Info.sys"));
    QCOMPARE(button(form, "SpeedButton3")->text(), QStringLiteral("Zamknij"));
    QCOMPARE(button(form, "SpeedButton4")->geometry(), QRect(256, 176, 113, 25));
    auto *memo = form.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"));
    QCOMPARE(memo->geometry(), QRect(248, 8, 329, 161));
    QCOMPARE(memo->toPlainText(), TForm5::informationText());
    QCOMPARE(text(form, "p1Panel1"), QString());
    QCOMPARE(text(form, "p1Panel2"), QStringLiteral("Panel informacyjny"));

    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!form.findChild<QLineEdit *>(QStringLiteral("Edit1"))->isVisible());
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("p1Panel1"))->width(), 450);
    saveScreenshot(&form, QStringLiteral("Form5"));
}

void TestInformationWindow::statusTextsFollowTheMouse()
{
    TForm5 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const auto moveOver = [&form](QWidget *control) {
        QTest::mouseMove(control, control->rect().center());
    };

    moveOver(button(form, "SpeedButton1"));
    QTRY_COMPARE(text(form, "p1Panel1"), QStringLiteral("Aktualna pomoc tematu"));
    moveOver(button(form, "SpeedButton4"));
    QTRY_COMPARE(text(form, "p1Panel1"), QStringLiteral("Informacja systemu"));
    moveOver(button(form, "SpeedButton3"));
    QTRY_COMPARE(text(form, "p1Panel1"), QStringLiteral("Zamyka panel info"));
    moveOver(form.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"))->viewport());
    QTRY_COMPARE(text(form, "p1Panel1"), QStringLiteral("Informacje o programie Kartax2000®"));
    moveOver(form.findChild<QLabel *>(QStringLiteral("Image1")));
    QTRY_COMPARE(text(form, "p1Panel1"), QStringLiteral("Kartax2000® – Internetowa Baza Adresowa"));
    saveScreenshot(&form, QStringLiteral("Form5-status"));

    // Over either panel of the status bar panel 1 is cleared; panel 2 stays.
    moveOver(form.findChild<QLabel *>(QStringLiteral("p1Panel2")));
    QTRY_COMPARE(text(form, "p1Panel1"), QString());
    moveOver(button(form, "SpeedButton4"));
    QTRY_COMPARE(text(form, "p1Panel1"), QStringLiteral("Informacja systemu"));
    moveOver(form.findChild<QLabel *>(QStringLiteral("p1Panel1")));
    QTRY_COMPARE(text(form, "p1Panel1"), QString());
    QCOMPARE(text(form, "p1Panel2"), QStringLiteral("Panel informacyjny"));
}

void TestInformationWindow::infoSysStartsTheFirstProgramOnThePath()
{
    QTemporaryDir first;
    QTemporaryDir second;
    // A program of lower preference earlier on the PATH loses to a preferred one.
    writeScript(first.path(), QStringLiteral("kinfocenter"), "exit 0");
    const QString preferred = writeScript(second.path(), QStringLiteral("hardinfo"), "exit 0");
    const ScopedPath path(first.path() + u':' + second.path());
    RecordingStarter starter;
    TForm5 form;
    form.showForm();

    QTest::mouseClick(button(form, "SpeedButton4"), Qt::LeftButton);
    QCOMPARE(starter.started, QStringList{preferred});
    QCOMPARE(form.findChild<QLineEdit *>(QStringLiteral("Edit1"))->text(), preferred);
    QVERIFY(form.isVisible());

    // Without it the next one on the list is found.
    QFile::remove(preferred);
    QTest::mouseClick(button(form, "SpeedButton4"), Qt::LeftButton);
    QCOMPARE(starter.started.last(), QDir(first.path()).filePath(QStringLiteral("kinfocenter")));
}

void TestInformationWindow::infoSysDoesNothingWithoutAProgram()
{
    QTemporaryDir empty;
    // A file of the right name that cannot be run is no program.
    QFile notExecutable(QDir(empty.path()).filePath(QStringLiteral("hardinfo")));
    QVERIFY(notExecutable.open(QIODevice::WriteOnly));
    notExecutable.close();
    const ScopedPath path(empty.path());
    RecordingStarter starter;
    InstalledScriptedDialogs dialogs;
    TForm5 form;

    QTest::mouseClick(button(form, "SpeedButton4"), Qt::LeftButton);
    QVERIFY(starter.started.isEmpty());
    QCOMPARE(form.findChild<QLineEdit *>(QStringLiteral("Edit1"))->text(), QString());
    QVERIFY(dialogs->requests().isEmpty());
}

void TestInformationWindow::theRealStarterStartsTheProgramDetached()
{
    QTemporaryDir folder;
    const QString marker = QDir(folder.path()).filePath(QStringLiteral("started"));
    writeScript(folder.path(), QStringLiteral("hardinfo"),
                "echo started > '" + marker.toLocal8Bit() + "'");
    const ScopedPath path(folder.path() + u':' + qEnvironmentVariable("PATH"));
    TForm5 form;

    QTest::mouseClick(button(form, "SpeedButton4"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
}

void TestInformationWindow::helpButtonOpensTheInformationTopic()
{
    InstalledScriptedDialogs dialogs;
    HelpSystem::setHelpFile(QStringLiteral("Kartax.hlp"));
    TForm5 form;
    form.showForm();

    QTest::mouseClick(button(form, "SpeedButton1"), Qt::LeftButton);
    QCOMPARE(HelpSystem::helpFile(), QStringLiteral("Kartax.HLP"));
    HelpViewer *viewer = HelpSystem::viewer();
    QVERIFY(viewer);
    QVERIFY(viewer->isVisible());
    QCOMPARE(viewer->currentContext(), 9);
    QCOMPARE(viewer->currentTitle(), QStringLiteral("Informacje"));
    QVERIFY(form.isVisible());
    QVERIFY(dialogs->requests().isEmpty());
}

QTEST_MAIN(TestInformationWindow)
#include "tst_information_window.moc"
