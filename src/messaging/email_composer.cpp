#include "messaging/email_composer.h"

#include "dbcontrols/db_edit.h"
#include "dbcontrols/db_text.h"
#include "forms/form_style.h"
#include "history/history_line.h"
#include "messaging/signature_window.h"
#include "platform/clock.h"
#include "platform/shell_open.h"

#include <QAbstractTextDocumentLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextLayout>
#include <QToolButton>
#include <QUrl>

namespace {

const QString lineBreak = QStringLiteral("%0D%0A");

// Percent-encodes a header value of a mailto: URL. Letters, digits and the
// characters that mean nothing there stay as typed; "%", "&", "?", "#", "=", "+",
// "/", blanks, control characters and everything outside ASCII are encoded.
QString encodeValue(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text, "!$'()*,;:@"));
}

// The address keeps "+" too, which is part of many mailbox names.
QString encodeAddress(const QString &address)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(address, "!$'()*,;:@+"));
}

// "dddd dd mmmm yyyy hh:nn:ss" in the system's regional settings, with the day
// and month names and time separator that history lines use.
QString signatureDateLine(const QDateTime &moment)
{
    const QLocale locale = QLocale::system();
    const QDate date = moment.date();
    return locale.standaloneDayName(date.dayOfWeek(), QLocale::LongFormat) + QLatin1Char(' ') +
           QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0')) + QLatin1Char(' ') +
           locale.standaloneMonthName(date.month(), QLocale::LongFormat) + QLatin1Char(' ') +
           QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0')) + QLatin1Char(' ') +
           historyTimeText(moment.time(), locale);
}

} // namespace

TForm16::TForm16(QWidget *parent)
    : KaxForm(QStringLiteral("Form16"), QStringLiteral("Napisz list E-mail"), QSize(581, 378), 16,
              parent)
{
    using namespace FormStyle;
    Bevel1 = bevel(this, QStringLiteral("Bevel1"), rect());

    Label2 = label(this, QStringLiteral("Label2"), QStringLiteral("Adresat"), QPoint(16, 16));
    DBText2 = new DBText(QStringLiteral("DBText2"), QStringLiteral("Nazwa"), this);
    DBText2->setGeometry(88, 14, 481, 18);
    setBold(DBText2);
    DBText2->setStyleSheet(QStringLiteral("color: navy;"));
    Label2->setBuddy(DBText2); // read as "Adresat: …"

    Label4 = label(this, QStringLiteral("Label4"), QStringLiteral("e-mail"), QPoint(16, 40));
    DBText1 = new DBText(QStringLiteral("DBText1"), QStringLiteral("Email"), this);
    DBText1->setGeometry(88, 38, 481, 18);
    QFont underlined = DBText1->font();
    underlined.setUnderline(true);
    DBText1->setFont(underlined);
    DBText1->setStyleSheet(QStringLiteral("color: blue;"));
    Label4->setBuddy(DBText1);
    DBEdit1 = new DBEdit(QStringLiteral("DBEdit1"), QStringLiteral("Email"), this);
    DBEdit1->setGeometry(88, 38, 121, 21);
    DBEdit1->setVisible(false);

    Label1 = label(this, QStringLiteral("Label1"), QStringLiteral("Temat listu"), QPoint(16, 71));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(88, 68, 481, 22);
    Label1->setBuddy(Edit1);
    Edit1->setAccessibleName(Label1->text());

    Label3 = label(this, QStringLiteral("Label3"), QStringLiteral("Treść"), QPoint(16, 100));
    SpeedButton3 = toolButton(this, QStringLiteral("SpeedButton3"), QStringLiteral("Wyczyść"),
                              QRect(8, 120, 74, 24), glyphLook(QString(), true));
    Memo1 = new QTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(88, 98, 481, 201);
    Memo1->setAcceptRichText(false);
    Memo1->setTabChangesFocus(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Memo1->setLineWrapMode(QTextEdit::FixedPixelWidth);
    Memo1->setAccessibleName(Label3->text());
    Label3->setBuddy(Memo1);

    c1 = new QCheckBox(QStringLiteral("Wstaw podpis do listu"), this);
    c1->setObjectName(QStringLiteral("c1"));
    c1->setGeometry(88, 306, 250, 20);

    poczta = toolButton(this, QStringLiteral("poczta"), QStringLiteral("Wyśli list"),
                        QRect(16, 336, 130, 30), glyphLook(QStringLiteral("mail-send"), true));
    SpeedButton1 =
        toolButton(this, QStringLiteral("SpeedButton1"), QStringLiteral("&Zamknij"),
                   QRect(451, 336, 118, 30), glyphLook(QStringLiteral("messaging-close"), true));

    setTabOrder(Edit1, Memo1);
    setTabOrder(Memo1, c1);

    connect(poczta, &QToolButton::clicked, this, &TForm16::pocztaClick);
    connect(SpeedButton3, &QToolButton::clicked, this, &TForm16::SpeedButton3Click);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm16::SpeedButton1Click);

    updateWrapWidth();
}

TForm16::~TForm16() = default;

void TForm16::setSignatureWindow(TForm17 *signature)
{
    m_signature = signature;
}

void TForm16::setHistory(HistoryAppender history)
{
    m_history = std::move(history);
}

void TForm16::updateWrapWidth()
{
    // The memo wraps at a fixed width equal to its viewport, so that its lines
    // are the same whether or not the window has been shown yet.
    Memo1->ensurePolished();
    Memo1->setLineWrapColumnOrWidth(Memo1->maximumViewportSize().width());
}

void TForm16::showEvent(QShowEvent *event)
{
    updateWrapWidth();
    KaxForm::showEvent(event);
}

QStringList TForm16::memoLines() const
{
    QStringList lines;
    QTextDocument *document = Memo1->document();
    QAbstractTextDocumentLayout *layout = document->documentLayout();
    layout->blockBoundingRect(document->lastBlock()); // lays out every block
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        const QTextLayout *blockLayout = block.layout();
        if (!blockLayout || blockLayout->lineCount() == 0) {
            lines << text;
            continue;
        }
        for (int i = 0; i < blockLayout->lineCount(); ++i) {
            const QTextLine line = blockLayout->lineAt(i);
            lines << text.mid(line.textStart(), line.textLength());
        }
    }
    if (document->lastBlock().text().isEmpty())
        lines.removeLast();
    return lines;
}

QString TForm16::mailtoUrl(const QString &address, const QString &subject,
                           const QStringList &bodyLines)
{
    QStringList body;
    body.reserve(bodyLines.size());
    for (const QString &line : bodyLines)
        body << encodeValue(line);
    return QStringLiteral("mailto:") + encodeAddress(address) + QStringLiteral("?Subject=") +
           encodeValue(subject) + QStringLiteral("&Body=") + body.join(lineBreak);
}

void TForm16::appendMemoLine(const QString &line)
{
    // A line added to the memo always ends with a line break, so an empty line
    // added last still counts as a line.
    QTextCursor cursor(Memo1->document());
    cursor.movePosition(QTextCursor::End);
    QString text = line + QLatin1Char('\n');
    if (!Memo1->document()->lastBlock().text().isEmpty())
        text.prepend(QLatin1Char('\n'));
    cursor.insertText(text);
}

void TForm16::appendSignatureBlock()
{
    QStringList block{QString(51, QLatin1Char('_')), signatureDateLine(Clock::now()),
                      QStringLiteral("Adres:")};
    if (m_signature)
        block += m_signature->signatureLines();
    else
        block += QStringList(TForm17::lineCount, QString());
    for (const QString &line : std::as_const(block))
        appendMemoLine(line);
}

void TForm16::pocztaClick()
{
    sendTo(DBEdit1->text());
}

void TForm16::sendTo(const QString &address)
{
    const QString subject = Edit1->text();
    if (c1->isChecked())
        appendSignatureBlock();
    ShellOpen::openLetter(mailtoUrl(address, subject, memoLines()));
    if (m_history)
        m_history(QStringLiteral("poczta e-mail : ") + address + historyDateTimeSuffix());
}

void TForm16::SpeedButton3Click()
{
    Edit1->clear();
    Memo1->clear();
}

void TForm16::SpeedButton1Click()
{
    Memo1->clear();
    Edit1->clear();
    close();
}

void TForm16::FormClose()
{
    Memo1->clear();
    Edit1->clear();
}

void TForm16::closeEvent(QCloseEvent *event)
{
    FormClose();
    KaxForm::closeEvent(event);
}
