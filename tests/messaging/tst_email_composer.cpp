#include "dbcontrols/field_data_link.h"
#include "messaging/email_composer.h"
#include "messaging/signature_window.h"
#include "platform/clock.h"
#include "platform/settings_store.h"
#include "store/data_module.h"
#include "store/table.h"
#include "support/kartax_test_main.h"
#include "support/recording_shell.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

namespace {

const QString address = QStringLiteral("jan@firma.pl");
const QString dateLine = QStringLiteral("wtorek%2005%20marzec%202024%2014:05:09");
const QString separator = QString(51, QLatin1Char('_'));
const QString lineBreak = QStringLiteral("%0D%0A");

// The signature block as the URL carries it, with every field empty.
QString emptySignatureBlock()
{
    return separator + lineBreak + dateLine + lineBreak + QStringLiteral("Adres:") +
           lineBreak.repeated(8);
}

} // namespace

// The e-mail composer: the mailto: URL it hands to the shell, the signature
// block it adds to the memo, and its history line.
class TestEmailComposer final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void urlShapes_data();
    void urlShapes();
    void desktopReceivesTheEncodedUrl();
    void emptyAddress();
    void signatureBlockWithEmptyFields();
    void signatureUsesUnsavedFields();
    void twoSendsWithTheBoxTicked();
    void sendWhileHidden();
    void wrappedParagraphGivesSeveralLines();
    void recipientFollowsTheCurrentRecord();
    void clearAndClose();

private:
    void setBody(const QString &text)
    {
        m_composer->findChild<QTextEdit *>("Memo1")->setPlainText(text);
    }
    void setSubject(const QString &text)
    {
        m_composer->findChild<QLineEdit *>("Edit1")->setText(text);
    }
    void tick() { m_composer->findChild<QCheckBox *>("c1")->setChecked(true); }
    QString url(const QString &subject, const QString &body) const
    {
        return QStringLiteral("mailto:") + address + QStringLiteral("?Subject=") + subject +
               QStringLiteral("&Body=") + body;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TDM9> m_dm;
    std::unique_ptr<TForm17> m_signature;
    std::unique_ptr<TForm16> m_composer;
    std::unique_ptr<RecordingShell> m_shell;
    QStringList m_history;
};

void TestEmailComposer::init()
{
    QSettings(SettingsStore::defaultPath(), QSettings::IniFormat).clear();
    Clock::setSource([] { return QDateTime(QDate(2024, 3, 5), QTime(14, 5, 9)); });
    m_dir = std::make_unique<QTemporaryDir>();
    m_dm = std::make_unique<TDM9>(nullptr, m_dir->filePath(QStringLiteral("Kartax2000.db")));
    for (const QString &email : {address, QStringLiteral("anna@biuro.pl")}) {
        m_dm->t1->insert();
        m_dm->t1->setFieldText(QStringLiteral("Nazwa"), email.section(QLatin1Char('@'), 0, 0));
        m_dm->t1->setFieldText(QStringLiteral("Email"), email);
        m_dm->t1->post();
    }
    m_dm->t1->first(); // "anna" before "jan"
    m_dm->t1->next();
    m_composer = std::make_unique<TForm16>();
    m_signature = std::make_unique<TForm17>();
    m_composer->setSignatureWindow(m_signature.get());
    m_composer->setHistory([this](const QString &line) { m_history << line; });
    FieldDataLink::attachAll(m_composer.get(), m_dm->d1);
    m_shell = std::make_unique<RecordingShell>();
    m_history.clear();
}

void TestEmailComposer::cleanup()
{
    m_shell.reset();
    m_composer.reset();
    m_signature.reset();
    m_dm.reset();
    Clock::setSource({});
}

void TestEmailComposer::urlShapes_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one line") << "Oferta"
                              << "Tekst" << url("Oferta", "Tekst");
    QTest::newRow("empty") << ""
                           << "" << url("", "");
    QTest::newRow("two lines") << "S"
                               << "L1\nL2" << url("S", "L1%0D%0AL2");
    QTest::newRow("final break") << "S"
                                 << "L1\n"
                                 << url("S", "L1");
    QTest::newRow("empty line inside") << "S"
                                       << "L1\n\nL2" << url("S", "L1%0D%0A%0D%0AL2");
    QTest::newRow("reserved") << "a&b?c#d%e=f+g h/i"
                              << "x&Body=y"
                              << url("a%26b%3Fc%23d%25e%3Df%2Bg%20h%2Fi", "x%26Body%3Dy");
    QTest::newRow("Polish letters")
        << "Zażółć gęślą"
        << "Łódź"
        << url("Za%C5%BC%C3%B3%C5%82%C4%87%20g%C4%99%C5%9Bl%C4%85", "%C5%81%C3%B3d%C5%BA");
    QTest::newRow("harmless marks kept")
        << "Re: (1), pkt. 2!"
        << "ok@x-y_z~" << url("Re:%20(1),%20pkt.%202!", "ok@x-y_z~");
}

void TestEmailComposer::urlShapes()
{
    QFETCH(QString, subject);
    QFETCH(QString, body);
    QFETCH(QString, expected);
    setSubject(subject);
    setBody(body);
    m_composer->findChild<QToolButton *>("poczta")->click();
    QCOMPARE(m_shell->urls, QStringList{expected});
    QCOMPARE(m_history,
             QStringList{"poczta e-mail : jan@firma.pl dnia 05 wtorek marzec 2024 godzina "
                         "14:05:09"});
}

void TestEmailComposer::desktopReceivesTheEncodedUrl()
{
    const QString letter =
        url("a%26b%3Fc%23d%25e%3Df%2Bg%20h%2F%C5%BC", "L1%0D%0A%0D%0AL2%20x:(1)");
    QCOMPARE(ShellOpen::desktopUrl(letter).toEncoded(), letter.toLatin1());
    QVERIFY(!ShellOpen::openLetter(QStringLiteral("http://www.onet.pl")));
    QVERIFY(m_shell->urls.isEmpty());
}

void TestEmailComposer::emptyAddress()
{
    m_dm->t1->edit();
    m_dm->t1->setFieldText(QStringLiteral("Email"), QString());
    m_dm->t1->post();
    m_composer->pocztaClick();
    QCOMPARE(m_shell->last(), QStringLiteral("mailto:?Subject=&Body="));
    QCOMPARE(m_history.value(0).left(21), QStringLiteral("poczta e-mail :  dnia"));
}

void TestEmailComposer::signatureBlockWithEmptyFields()
{
    tick();
    setSubject(QStringLiteral("S"));
    setBody(QStringLiteral("Treść"));
    m_composer->pocztaClick();
    QCOMPARE(m_shell->last(), url("S", "Tre%C5%9B%C4%87" + lineBreak + emptySignatureBlock()));
    const QStringList lines = m_composer->memoLines();
    QCOMPARE(lines.size(), 12);
    QCOMPARE(lines.mid(1, 3), (QStringList{separator, "wtorek 05 marzec 2024 14:05:09", "Adres:"}));
    QCOMPARE(lines.mid(4), QStringList(8, QString()));
}

void TestEmailComposer::signatureUsesUnsavedFields()
{
    m_signature->findChild<QLineEdit *>("Edit1")->setText(QStringLiteral("Jan Kowalski"));
    m_signature->findChild<QLineEdit *>("Edit7")->setText(QStringLiteral("www.firma.pl"));
    tick();
    m_composer->pocztaClick();
    QCOMPARE(m_composer->memoLines().mid(3),
             (QStringList{"Jan Kowalski", "", "", "", "", "", "www.firma.pl", ""}));
}

void TestEmailComposer::twoSendsWithTheBoxTicked()
{
    tick();
    m_composer->pocztaClick();
    m_composer->pocztaClick();
    QCOMPARE(m_shell->urls,
             (QStringList{url("", emptySignatureBlock()),
                          url("", emptySignatureBlock() + lineBreak + emptySignatureBlock())}));
    QCOMPARE(m_composer->memoLines().size(), 22);
    QCOMPARE(m_history.size(), 2);
}

void TestEmailComposer::sendWhileHidden()
{
    // A letter written, then the window closed: the full record view's send
    // works on the emptied, hidden composer.
    m_composer->show();
    setSubject(QStringLiteral("S"));
    setBody(QStringLiteral("B"));
    m_composer->close();
    QVERIFY(!m_composer->isVisible());
    m_composer->findChild<QToolButton *>("poczta")->click();
    QCOMPARE(m_shell->last(), url("", ""));
    tick();
    m_composer->pocztaClick();
    QCOMPARE(m_shell->last(), url("", emptySignatureBlock()));
    QCOMPARE(m_history.size(), 2);
    m_composer->show();
    QCOMPARE(m_composer->memoLines().size(), 11);
}

void TestEmailComposer::wrappedParagraphGivesSeveralLines()
{
    const QString paragraph =
        QStringLiteral("Uprzejmie informujemy, że zamówiony towar zostanie wysłany w przyszłym "
                       "tygodniu, a faktura dotrze do Państwa pocztą w ciągu kilku dni roboczych.");
    setBody(paragraph + QStringLiteral("\nKoniec"));
    const QStringList hidden = m_composer->memoLines();
    QVERIFY(hidden.size() >= 3);
    QCOMPARE(hidden.mid(0, hidden.size() - 1).join(QString()), paragraph);
    QCOMPARE(hidden.last(), QStringLiteral("Koniec"));
    // The wrap points do not depend on whether the window was ever shown.
    m_composer->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_composer.get()));
    QCOMPARE(m_composer->memoLines(), hidden);

    m_composer->pocztaClick();
    const QString body = m_shell->last().section(QStringLiteral("&Body="), 1);
    const QStringList sent = body.split(lineBreak);
    QCOMPARE(sent.size(), hidden.size());
    QCOMPARE(QUrl::fromPercentEncoding(sent.first().toLatin1()), hidden.first());
}

void TestEmailComposer::recipientFollowsTheCurrentRecord()
{
    QCOMPARE(m_composer->findChild<QLabel *>("DBText1")->text(), address);
    m_dm->t1->first();
    QCOMPARE(m_composer->findChild<QLabel *>("DBText2")->text(), QStringLiteral("anna"));
    m_composer->pocztaClick();
    QVERIFY(m_shell->last().startsWith(QStringLiteral("mailto:anna@biuro.pl?Subject=")));
    QVERIFY(m_history.value(0).startsWith(QStringLiteral("poczta e-mail : anna@biuro.pl dnia ")));
}

void TestEmailComposer::clearAndClose()
{
    QCOMPARE(m_composer->windowTitle(), QStringLiteral("Napisz list E-mail"));
    const QList<std::pair<const char *, const char *>> captions{
        {"Label2", "Adresat"},    {"Label4", "e-mail"},        {"Label1", "Temat listu"},
        {"Label3", "Treść"},      {"SpeedButton3", "Wyczyść"}, {"c1", "Wstaw podpis do listu"},
        {"poczta", "Wyśli list"}, {"SpeedButton1", "&Zamknij"}};
    for (const auto &[name, caption] : captions) {
        const QObject *control = m_composer->findChild<QObject *>(QLatin1String(name));
        QCOMPARE(control->property("text").toString(), QString::fromUtf8(caption));
    }
    for (const char *name : {"poczta", "SpeedButton1"}) { // flat picture buttons
        const auto *button = m_composer->findChild<QToolButton *>(name);
        QVERIFY(button->autoRaise() && button->focusPolicy() == Qt::NoFocus);
    }
    m_composer->show();
    tick();
    setSubject(QStringLiteral("S"));
    setBody(QStringLiteral("B"));
    QTest::mouseClick(m_composer->findChild<QToolButton *>("SpeedButton3"), Qt::LeftButton);
    QVERIFY(m_composer->memoLines().isEmpty() && m_composer->isVisible());

    setSubject(QStringLiteral("S"));
    setBody(QStringLiteral("B"));
    QTest::mouseClick(m_composer->findChild<QToolButton *>("SpeedButton1"), Qt::LeftButton);
    QVERIFY(!m_composer->isVisible());
    QVERIFY(m_composer->memoLines().isEmpty());
    QVERIFY(m_composer->findChild<QLineEdit *>("Edit1")->text().isEmpty());
    QVERIFY(m_composer->findChild<QCheckBox *>("c1")->isChecked());
    QVERIFY(m_shell->urls.isEmpty());
}

KARTAX_POLISH_TEST_MAIN(TestEmailComposer)

#include "tst_email_composer.moc"
