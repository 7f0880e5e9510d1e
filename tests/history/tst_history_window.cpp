#include "history/history_view.h"
#include "history/history_window.h"
#include "platform/data_folder.h"
#include "platform/text_codec.h"
#include "support/scripted_dialogs.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

} // namespace

// The history window: loading Historia.kax, the append rule, saving at exit.
class TestHistoryWindow final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowLayout();
    void withoutFileStartsWithOneEmptyLine();
    void appendRule_data();
    void appendRule();
    void oldFileSavedByteForByte();
    void nulBytesDoNotCutTheText();
    void loneBreaksBecomeCrLf();
    void breaksAcrossReadPieces_data();
    void breaksAcrossReadPieces();
    void utf8FileKeepsItsEncoding();
    void userEditsAreSaved();
    void showingAndClosingNeitherLoadsNorSaves();
    void printButtonRequestsPrintout();
    void unreadableFileIsLeftUntouched();
    void failedWriteKeepsThePreviousFile();
    void fileChangedByAnotherCopyIsKept();
    void largeFileLoadsWhole();
    void manyLinesKeepEveryBreak();

private:
    QString historyPath() const { return m_dir->filePath(QStringLiteral("Historia.kax")); }
    void writeHistory(const QByteArray &bytes);
    QByteArray readHistory() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<InstalledScriptedDialogs> m_dialogs;
};

void TestHistoryWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    DataFolder::setOverride(m_dir->path());
    m_dialogs = std::make_unique<InstalledScriptedDialogs>();
}

void TestHistoryWindow::cleanup()
{
    QCOMPARE((*m_dialogs)->unexpected(), 0);
    m_dialogs.reset();
    DataFolder::setOverride(QString());
}

void TestHistoryWindow::writeHistory(const QByteArray &bytes)
{
    QFile file(historyPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray TestHistoryWindow::readHistory() const
{
    QFile file(historyPath());
    if (!file.open(QIODevice::ReadOnly))
        return "(unreadable)";
    return file.readAll();
}

void TestHistoryWindow::windowLayout()
{
    TForm11 form;
    QCOMPARE(form.objectName(), QStringLiteral("Form11"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Historia"));
    QCOMPARE(form.size(), QSize(536, 348));
    QCOMPARE(form.helpContext(), 3);
    auto *m1 = form.findChild<HistoryView *>(QStringLiteral("m1"));
    QVERIFY(m1);
    QCOMPARE(m1->geometry(), QRect(16, 8, 489, 265));
    QCOMPARE(m1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    auto *print = form.findChild<QToolButton *>(QStringLiteral("SpeedButton2"));
    auto *close = form.findChild<QToolButton *>(QStringLiteral("SpeedButton1"));
    QVERIFY(print && close);
    QCOMPARE(print->text(), QStringLiteral("Drukuj"));
    QCOMPARE(print->geometry(), QRect(424, 280, 97, 25));
    QCOMPARE(close->text(), QStringLiteral("&Zamknij"));
    QCOMPARE(close->geometry(), QRect(424, 312, 97, 25));
    QVERIFY(!print->icon().isNull() && !close->icon().isNull());
}

void TestHistoryWindow::withoutFileStartsWithOneEmptyLine()
{
    {
        TForm11 form;
        QCOMPARE(form.lines(), QStringList({QString()}));
        form.appendLine(QStringLiteral("Połączenie telefoniczne z numerem :  123"));
        QVERIFY(form.saveAtExit());
    }
    QCOMPARE(readHistory(), QByteArray("\r\nPo\xb3\xb9"
                                       "czenie telefoniczne z numerem :  123\r\n"));
}

void TestHistoryWindow::appendRule_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("appended");
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("empty file") << QByteArray("") << QStringList{"X"} << QByteArray("X\r\n")
                                << QStringList{"X"};
    QTest::newRow("final break") << QByteArray("a\r\n") << QStringList{"X", "Y"}
                                 << QByteArray("a\r\nX\r\nY\r\n") << QStringList{"a", "X", "Y"};
    QTest::newRow("no final break") << QByteArray("a") << QStringList{"X", "Y"}
                                    << QByteArray("a\r\nX\r\nY") << QStringList{"a", "X", "Y"};
    QTest::newRow("empty last line") << QByteArray("a\r\n\r\n") << QStringList{"X"}
                                     << QByteArray("a\r\n\r\nX\r\n") << QStringList{"a", "", "X"};
    QTest::newRow("empty entry") << QByteArray("a") << QStringList{""} << QByteArray("a\r\n")
                                 << QStringList{"a"};
    // A value holding a line break cannot forge a second line.
    QTest::newRow("breaks inside") << QByteArray("") << QStringList{"w\r\nx\u2028y\u2029z\x01"}
                                   << QByteArray("w  x y z \r\n") << QStringList{"w  x y z "};
}

void TestHistoryWindow::appendRule()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, appended);
    QFETCH(QByteArray, saved);
    QFETCH(QStringList, lines);
    writeHistory(file);
    TForm11 form;
    for (const QString &line : appended)
        form.appendLine(line);
    QCOMPARE(form.lines(), lines);
    QVERIFY(form.saveAtExit());
    QCOMPARE(readHistory(), saved);
}

void TestHistoryWindow::oldFileSavedByteForByte()
{
    // Every byte value but the line breaks, those that Windows-1250 leaves
    // undefined (0x81, 0x83, 0x88, 0x90, 0x98) and the no-break space included.
    QByteArray bytes("Po\xb3\xb9"
                     "czenie telefoniczne z numerem :  123 dnia 07 wtorek "
                     "stycze\xf1 2025 godzina 14:05:09\r\n");
    for (int line = 0; line < 4; ++line) {
        for (int value = 0; value < 256; ++value) {
            if (value != '\r' && value != '\n' && value % 4 == line)
                bytes.append(char(value));
        }
        bytes.append("\r\n");
    }
    bytes.append("last line without a break");
    writeHistory(bytes);
    {
        TForm11 form;
        QString expected = TextCodec::decode(bytes);
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(form.lines().join(QLatin1Char('\n')), expected);
        QCOMPARE(form.lines().size(), 6);
        form.appendLine(QStringLiteral("X"));
        QVERIFY(form.saveAtExit());
    }
    QCOMPARE(readHistory(), bytes + "\r\nX");
}

void TestHistoryWindow::nulBytesDoNotCutTheText()
{
    const QByteArray bytes("first\0line\r\n\0\r\nthird", 20);
    writeHistory(bytes);
    TForm11 form;
    QCOMPARE(form.lines(), QStringList({QStringLiteral("first") + QChar(0) + "line",
                                        QString(QChar(0)), QStringLiteral("third")}));
    form.appendLine(QStringLiteral("X"));
    QVERIFY(form.saveAtExit());
    QCOMPARE(readHistory(), bytes + "\r\nX");
}

void TestHistoryWindow::loneBreaksBecomeCrLf()
{
    writeHistory("a\rb\nc\r\n\rd");
    TForm11 form;
    QCOMPARE(form.lines(), QStringList({"a", "b", "c", "", "d"}));
    form.appendLine(QStringLiteral("e"));
    QVERIFY(form.saveAtExit());
    QCOMPARE(readHistory(), QByteArray("a\r\nb\r\nc\r\n\r\nd\r\ne"));
}

void TestHistoryWindow::breaksAcrossReadPieces_data()
{
    // The file is read in pieces of 1 MiB after its first three bytes: put a break
    // on both sides of that boundary.
    const qsizetype boundary = 3 + 1024 * 1024;
    QTest::addColumn<qsizetype>("crAt");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("CR LF split") << boundary - 1 << QByteArray("\nb") << QByteArray("\r\nb");
    QTest::newRow("lone CR at the end") << boundary - 1 << QByteArray("b") << QByteArray("\r\nb");
    QTest::newRow("CR LF at the start") << boundary << QByteArray("\nb") << QByteArray("\r\nb");
    QTest::newRow("LF LF split") << boundary - 1 << QByteArray("\n\nb") << QByteArray("\r\n\r\nb");
}

void TestHistoryWindow::breaksAcrossReadPieces()
{
    QFETCH(qsizetype, crAt);
    QFETCH(QByteArray, after);
    QFETCH(QByteArray, saved);
    const QByteArray head(crAt, 'a');
    writeHistory(head + '\r' + after);
    TForm11 form;
    QCOMPARE(form.lines().size(), int(saved.count('\n')) + 1);
    QCOMPARE(form.lines().constLast(), QStringLiteral("b"));
    form.appendLine(QStringLiteral("c"));
    QVERIFY(form.saveAtExit());
    QCOMPARE(readHistory(), head + saved + "\r\nc");
}

void TestHistoryWindow::utf8FileKeepsItsEncoding()
{
    // Text that Windows-1250 cannot hold stays UTF-8 with its byte-order mark.
    const QByteArray utf8 = kBom + QStringLiteral("Zażółć жёлтый\r\n").toUtf8();
    writeHistory(utf8);
    {
        TForm11 form;
        QCOMPARE(form.lines(), QStringList({QStringLiteral("Zażółć жёлтый")}));
        form.appendLine(QStringLiteral("ą"));
        QVERIFY(form.saveAtExit());
    }
    QCOMPARE(readHistory(), utf8 + QStringLiteral("ą\r\n").toUtf8());

    // Text that it can hold is written in Windows-1250.
    writeHistory(kBom + QStringLiteral("Zażółć\r\n").toUtf8());
    {
        TForm11 form;
        form.appendLine(QStringLiteral("ą"));
        QVERIFY(form.saveAtExit());
    }
    QCOMPARE(readHistory(), QByteArray("Za\xbf\xf3\xb3\xe6\r\n\xb9\r\n"));
}

void TestHistoryWindow::userEditsAreSaved()
{
    writeHistory("one\r\ntwo\r\n");
    TForm11 form;
    auto *m1 = form.findChild<HistoryView *>(QStringLiteral("m1"));
    form.show();
    m1->setFocus();
    QTest::keyClick(m1, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(m1, Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(m1, Qt::Key_Delete);
    QTest::keyClicks(m1, QStringLiteral("zero "));
    for (const QString &letter : {QStringLiteral("ą"), QStringLiteral("ę")})
        QTest::sendKeyEvent(QTest::Click, m1, Qt::Key_unknown, letter, Qt::NoModifier);
    QVERIFY(form.saveAtExit());
    QCOMPARE(readHistory(), QByteArray("zero \xb9\xea\r\ntwo\r\n"));

    // Typed after the file's text while another copy wrote: only what was typed is
    // added to the file as it is now.
    writeHistory("Za\xbf\xf3\xb3\xe6\r\n");
    TForm11 second;
    auto *m2 = second.findChild<HistoryView *>(QStringLiteral("m1"));
    m2->setCaretPosition(m2->size());
    m2->insert(u"łyk");
    writeHistory("theirs\r\n");
    QVERIFY(second.saveAtExit());
    QCOMPARE(readHistory(), QByteArray("theirs\r\n\xb3yk"));
}

void TestHistoryWindow::showingAndClosingNeitherLoadsNorSaves()
{
    writeHistory("one\r\n");
    TForm11 form;
    form.appendLine(QStringLiteral("two"));
    writeHistory("changed on disk\r\n");
    for (int i = 0; i < 2; ++i) {
        form.showForm();
        QVERIFY(form.isVisible());
        QTest::mouseClick(form.findChild<QToolButton *>(QStringLiteral("SpeedButton1")),
                          Qt::LeftButton);
        QVERIFY(!form.isVisible());
    }
    QCOMPARE(form.lines(), QStringList({"one", "two"}));
    QCOMPARE(readHistory(), QByteArray("changed on disk\r\n"));
}

void TestHistoryWindow::printButtonRequestsPrintout()
{
    TForm11 form;
    QSignalSpy spy(&form, &TForm11::printRequested);
    form.show();
    QTest::mouseClick(form.findChild<QToolButton *>(QStringLiteral("SpeedButton2")),
                      Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
}

void TestHistoryWindow::unreadableFileIsLeftUntouched()
{
    // A folder in the file's place cannot be read, whoever runs the test.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Historia.kax")));
    (*m_dialogs)->queue(DialogButton::Ok);
    TForm11 form;
    QCOMPARE((*m_dialogs)->requests().size(), 1);
    QCOMPARE((*m_dialogs)->requests().at(0).kind, DialogKind::Error);
    QVERIFY((*m_dialogs)->requests().at(0).text.contains(historyPath()));
    QVERIFY(!form.loadError().isEmpty());
    QCOMPARE(form.lines(), QStringList({QString()}));

    form.appendLine(QStringLiteral("new"));
    (*m_dialogs)->queue(DialogButton::Ok);
    QVERIFY(!form.saveAtExit());
    QCOMPARE((*m_dialogs)->requests().size(), 2);
    QVERIFY((*m_dialogs)->requests().at(1).text.contains(QStringLiteral("bez zmian")));
    QVERIFY(QFileInfo(historyPath()).isDir());
}

void TestHistoryWindow::fileChangedByAnotherCopyIsKept()
{
    // Two copies start without a history; the second only opens and closes.
    {
        TForm11 first;
        TForm11 second;
        first.appendLine(QStringLiteral("mine"));
        QVERIFY(second.saveAtExit());
        QVERIFY(!QFile::exists(historyPath()));
        QVERIFY(first.saveAtExit());
        QCOMPARE(readHistory(), QByteArray("\r\nmine\r\n"));
    }
    // Both add lines: each appends its own to the file as it is on disk, at the
    // session's end and again at exit, and then shows the file.
    {
        TForm11 first;
        TForm11 second;
        first.appendLine(QStringLiteral("a1"));
        second.appendLine(QStringLiteral("b1"));
        QVERIFY(first.saveAtExit());
        QVERIFY(second.saveAtExit());
        first.appendLine(QStringLiteral("a2"));
        QVERIFY(first.saveAtExit());
        QCOMPARE(readHistory(), QByteArray("\r\nmine\r\na1\r\nb1\r\na2\r\n"));
        QCOMPARE(first.lines(), QStringList({"", "mine", "a1", "b1", "a2"}));
    }
    // Lines deleted here while another copy rewrote the file: the added line is
    // appended to its text, the deletion is dropped, and the user is told.
    writeHistory("old\r\n");
    TForm11 form;
    auto *m1 = form.findChild<HistoryView *>(QStringLiteral("m1"));
    m1->setCaretPosition(3, true);
    m1->removeSelectedText();
    form.appendLine(QStringLiteral("mine"));
    writeHistory("theirs");
    (*m_dialogs)->queue(DialogButton::Ok);
    QVERIFY(form.saveAtExit());
    QCOMPARE(readHistory(), QByteArray("theirs\r\nmine\r\n"));
    QCOMPARE((*m_dialogs)->requests().size(), 1);
    QCOMPARE((*m_dialogs)->requests().at(0).kind, DialogKind::Information);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"Historia.kax"}));

    // A pipe in the file's place would block reading: refused with a message.
    QVERIFY(QFile::remove(historyPath()));
    QCOMPARE(::mkfifo(QFile::encodeName(historyPath()).constData(), 0600), 0);
    (*m_dialogs)->queue(DialogButton::Ok);
    TForm11 second;
    QVERIFY(!second.loadError().isEmpty());
}

void TestHistoryWindow::failedWriteKeepsThePreviousFile()
{
    writeHistory("old\r\n");
    TForm11 form;
    form.appendLine(QString(4096, QLatin1Char('x')));

    // Files may grow to 1 KiB only: the write fails part-way, as on a full disk.
    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    (*m_dialogs)->queue(DialogButton::Ok);
    const bool written = form.saveAtExit();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!written);
    QCOMPARE((*m_dialogs)->requests().size(), 1);
    QVERIFY((*m_dialogs)->requests().at(0).text.contains(historyPath()));
    QCOMPARE(readHistory(), QByteArray("old\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"Historia.kax"}));

    // A data folder that is gone: reported, nothing written.
    QVERIFY(QDir(m_dir->path()).removeRecursively());
    (*m_dialogs)->queue(DialogButton::Ok);
    QVERIFY(!form.saveAtExit());
    QCOMPARE((*m_dialogs)->requests().size(), 2);
}

void TestHistoryWindow::largeFileLoadsWhole()
{
    // About 50 MB, with a NUL byte near the start.
    QByteArray bytes;
    const QByteArray line("Po\xb3\xb9"
                          "czenie telefoniczne z numerem :  022 555 01 02 dnia 07 "
                          "wtorek stycze\xf1 2025 godzina 14:05:09\r\n");
    bytes.reserve(50 * 1024 * 1024 + line.size());
    bytes.append("start\0", 6);
    bytes.append("\r\n");
    while (bytes.size() < 50 * 1024 * 1024)
        bytes.append(line);
    bytes.append("end");
    writeHistory(bytes);
    const int lineCount = int(bytes.count('\n')) + 1;
    bytes.clear();

    TForm11 form;
    const QStringList lines = form.lines();
    QCOMPARE(lines.size(), lineCount);
    QCOMPARE(lines.first(), QStringLiteral("start") + QChar(0));
    QCOMPARE(lines.last(), QStringLiteral("end"));
    form.appendLine(QStringLiteral("after"));
    QCOMPARE(form.lines().constLast(), QStringLiteral("after"));
}

void TestHistoryWindow::manyLinesKeepEveryBreak()
{
    // More lines than the window groups into one block, empty ones among them.
    QByteArray bytes;
    QStringList expected;
    for (int i = 0; i < 150; ++i) {
        const QByteArray line = i % 7 == 0 ? QByteArray() : "line " + QByteArray::number(i);
        bytes += line + "\r\n";
        expected << QString::fromLatin1(line);
    }
    writeHistory(bytes);
    TForm11 form;
    QCOMPARE(form.lines(), expected);
    // A triple click on the second line selects that line with its break.
    auto *m1 = form.findChild<HistoryView *>(QStringLiteral("m1"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QPoint at = m1->caretRect(2).center();
    QTest::mouseDClick(m1->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseClick(m1->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(m1->selectedText(), QStringLiteral("line 1\n"));
    QTest::keyClick(m1, Qt::Key_Delete);
    form.appendLine(QStringLiteral("X"));
    QVERIFY(form.saveAtExit());
    QCOMPARE(readHistory(), bytes.replace("line 1\r\n", "") + "X\r\n");
}

QTEST_MAIN(TestHistoryWindow)
#include "tst_history_window.moc"
