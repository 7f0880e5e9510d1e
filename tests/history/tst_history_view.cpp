#include "history/history_text.h"
#include "history/history_view.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

// The history's text box: its text and lines, editing by keys, mouse and input method,
// undo, wrapping, scrolling and its menu.
class TestHistoryView final : public QObject
{
    Q_OBJECT

private slots:
    void textKeepsItsLines_data();
    void textKeepsItsLines();
    void keys_data();
    void keys();
    void wrappedRowsAndScrolling();
    void mouseAndInputMethod();
    void contextMenu();
};

namespace {

// Keys as a compact script: "<name>" for a key (optionally "S-" for Shift, "C-" for
// Ctrl), any other character typed.
void play(QWidget *view, const QString &script)
{
    static const QHash<QString, Qt::Key> kKeys = {
        {"Left", Qt::Key_Left},    {"Right", Qt::Key_Right}, {"Up", Qt::Key_Up},
        {"Down", Qt::Key_Down},    {"Home", Qt::Key_Home},   {"End", Qt::Key_End},
        {"BS", Qt::Key_Backspace}, {"Del", Qt::Key_Delete},  {"Enter", Qt::Key_Return},
        {"A", Qt::Key_A},          {"Z", Qt::Key_Z},         {"Y", Qt::Key_Y},
        {"X", Qt::Key_X},          {"V", Qt::Key_V}};
    for (qsizetype i = 0; i < script.size(); ++i) {
        if (script[i] != QLatin1Char('<')) {
            QTest::sendKeyEvent(QTest::Click, view, Qt::Key_unknown, script[i], Qt::NoModifier);
            continue;
        }
        const qsizetype end = script.indexOf(QLatin1Char('>'), i);
        QString name = script.mid(i + 1, end - i - 1);
        Qt::KeyboardModifiers modifiers;
        for (; name.size() > 2 && name[1] == QLatin1Char('-'); name = name.mid(2))
            modifiers |= name[0] == QLatin1Char('S') ? Qt::ShiftModifier : Qt::ControlModifier;
        QTest::keyClick(view, kKeys.value(name), modifiers);
        i = end;
    }
}

} // namespace

void TestHistoryView::textKeepsItsLines_data()
{
    // "+P text" inserts at P, "-P Q" removes from P to Q.
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<qint64>>("starts");
    const QString long_ = QString(QLatin1Char('w')).repeated(9000);
    QTest::newRow("empty") << QStringList{} << QByteArray() << QList<qint64>{0};
    QTest::newRow("final break") << QStringList{"+0 a\nb\n"} << QByteArray("a\nb\n")
                                 << QList<qint64>{0, 2, 4};
    QTest::newRow("break within a line")
        << QStringList{"+0 ab\ncd", "+1 \n"} << QByteArray("a\nb\ncd") << QList<qint64>{0, 2, 4};
    QTest::newRow("before, then after") << QStringList{"+0 x\ny", "+0 ł\n", "+6 \nz"}
                                        << QByteArray("ł\nx\ny\nz") << QList<qint64>{0, 3, 5, 7};
    QTest::newRow("breaks removed")
        << QStringList{"+0 a\nb\nc\n", "-1 4"} << QByteArray("ac\n") << QList<qint64>{0, 3};
    QTest::newRow("up to a line's start")
        << QStringList{"+0 ab\ncd\n", "-2 3"} << QByteArray("abcd\n") << QList<qint64>{0, 5};
    QTest::newRow("grown past its room") << QStringList{"+0 a\n", "+2 " + long_, "+0 \n"}
                                         << "\na\n" + long_.toLatin1() << QList<qint64>{0, 1, 3};
}

void TestHistoryView::textKeepsItsLines()
{
    QFETCH(QStringList, edits);
    QFETCH(QList<qint64>, starts);
    HistoryText text;
    for (const QString &edit : std::as_const(edits)) {
        const qsizetype space = edit.indexOf(QLatin1Char(' '));
        const qint64 at = edit.mid(1, space - 1).toLongLong();
        if (edit.startsWith(QLatin1Char('+')))
            text.insert(at, edit.mid(space + 1).toUtf8());
        else
            text.remove(at, edit.mid(space + 1).toLongLong());
    }
    QTEST(text.bytes(0, text.size()), "text");
    QList<qint64> lineStarts;
    for (qint64 line = 0; line < text.lineCount(); ++line) {
        lineStarts << text.lineStart(line);
        QCOMPARE(text.lineOf(text.lineEnd(line)), line); // a break belongs to its line
    }
    QCOMPARE(lineStarts, starts);
}

void TestHistoryView::keys_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("selected");
    QTest::newRow("Polish letters") << ""
                                    << "żółw<Left><BS>ą"
                                    << "żóąw"
                                    << "";
    QTest::newRow("line break joined") << "ab\ncd\n"
                                       << "<Down><Home><BS>"
                                       << "abcd\n"
                                       << "";
    QTest::newRow("column kept") << "abcd\nx\nefgh"
                                 << "<End><Down><Down>|"
                                 << "abcd\nx\nefgh|"
                                 << "";
    QTest::newRow("typing undone whole") << "a"
                                         << "<End>bcd<C-Z>"
                                         << "a"
                                         << "";
    QTest::newRow("undo, redo") << "a"
                                << "<End>bc<Enter>d<C-Z><C-Z><C-Y>"
                                << "abc\n"
                                << "";
    QTest::newRow("select, type over") << "jeden dwa"
                                       << "<S-End>x"
                                       << "x"
                                       << "";
    QTest::newRow("shift select") << "ab\ncd"
                                  << "<Right><S-Down>"
                                  << "ab\ncd"
                                  << "b\nc";
    QTest::newRow("select all, delete") << "a\nb\n"
                                        << "<C-A><Del>"
                                        << ""
                                        << "";
    QTest::newRow("cut, paste") << "ab"
                                << "<S-Right><C-X><End><C-V><C-V>"
                                << "baa"
                                << "";
}

void TestHistoryView::keys()
{
    QFETCH(QString, text);
    QFETCH(QString, script);
    HistoryView view;
    view.resize(300, 200);
    view.setText(text);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    play(&view, script);
    QTEST(view.text(), "expected");
    QTEST(view.selectedText(), "selected");
}

void TestHistoryView::wrappedRowsAndScrolling()
{
    HistoryView view;
    view.resize(200, 120);
    QString text = QString(QStringLiteral("słowo ")).repeated(40) + QLatin1Char('\n');
    for (int i = 0; i < 1000; ++i)
        text += QStringLiteral("wiersz %1\n").arg(i);
    view.setText(text);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(view.lineCount(), 1002);
    QCOMPARE(view.lines().size(), 1001);
    // End on a wrapped row stops before the break; Down goes to the next row, not line.
    QTest::keyClick(&view, Qt::Key_End);
    const qint64 rowEnd = view.caretPosition();
    QVERIFY(rowEnd > 0 && rowEnd < view.lineStart(1) - 20);
    QTest::keyClick(&view, Qt::Key_Down);
    QVERIFY(view.caretPosition() < view.lineStart(1));
    // The caret at the end is scrolled into view; the scroll bar counts lines.
    QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(view.caretPosition(), view.size());
    QVERIFY(view.viewport()->rect().contains(view.caretRect(view.size())));
    QVERIFY(view.verticalScrollBar()->value() > 990);
    // Paging up moves the caret by about a screenful.
    QTest::keyClick(&view, Qt::Key_PageUp);
    const QString line = view.text(view.caretPosition()).section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(line.startsWith(QStringLiteral("wiersz 99")), qPrintable(line));
}

void TestHistoryView::mouseAndInputMethod()
{
    HistoryView view;
    view.resize(300, 120);
    view.setText(u"zażółć gęślą\njaźń\n");
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QWidget *viewport = view.viewport();
    const auto at = [&view](qint64 position) { return view.caretRect(position).center(); };
    // A double click selects the word; a click places the caret, Shift with it selects.
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at(2));
    QCOMPARE(view.selectedText(), QStringLiteral("zażółć"));
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at(view.lineStart(1)));
    QCOMPARE(view.caretPosition(), view.lineStart(1));
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, at(view.lineStart(2) - 1));
    QCOMPARE(view.selectedText(), QStringLiteral("jaźń"));
    // What an input method commits replaces the selection.
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("ź"));
    QApplication::sendEvent(&view, &commit);
    QCOMPARE(view.text(), QStringLiteral("zażółć gęślą\nź\n"));
}

void TestHistoryView::contextMenu()
{
    QApplication::clipboard()->clear();
    HistoryView view;
    view.setText(u"ąb");
    const auto enabled = [&view] {
        const std::unique_ptr<QMenu> menu(view.createContextMenu(nullptr));
        QStringList texts;
        for (const QAction *action : menu->actions()) {
            if (!action->isSeparator())
                texts << (action->isEnabled() ? action->text() : QStringLiteral("-"));
        }
        return texts.join(QLatin1Char(' '));
    };
    QCOMPARE(enabled(), QStringLiteral("- - - - - - Zaznacz &wszystko"));
    view.setCaretPosition(2, true);
    QCOMPARE(view.selectedText(), QStringLiteral("ą"));
    view.copy();
    view.removeSelectedText();
    QCOMPARE(enabled(), QStringLiteral("&Cofnij - - - &Wklej - Zaznacz &wszystko"));
    view.undo();
    QCOMPARE(view.text(), QStringLiteral("ąb"));
    QCOMPARE(enabled(), QStringLiteral("- &Ponów - - &Wklej - Zaznacz &wszystko"));
}

QTEST_MAIN(TestHistoryView)
#include "tst_history_view.moc"
