#pragma once

#include "forms/form.h"
#include "history/history_appender.h"

#include <QPointer>
#include <QStringList>

class DBEdit;
class DBText;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QTextEdit;
class QToolButton;
class TForm17;

// The e-mail composer `Form16` "Napisz list E-mail": subject and body of a letter
// to the current contact, handed to the mail client as one mailto: URL.
class TForm16 final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm16)

public:
    explicit TForm16(QWidget *parent = nullptr);
    ~TForm16() override;

    // The signature window whose fields the signature block copies; the
    // application sets it once both windows exist.
    void setSignatureWindow(TForm17 *signature);
    // Where the send command appends its history line.
    void setHistory(HistoryAppender history);

    // The body's lines as the memo displays them: a paragraph wrapped at the
    // memo's width gives one line per wrapped piece; a final line break starts
    // no further line, and an empty memo has no lines.
    QStringList memoLines() const;

    // The letter's URL: "mailto:" + address + "?Subject=" + subject + "&Body="
    // + the lines joined by "%0D%0A". Subject, lines and address are
    // percent-encoded where a character would change the URL's meaning, where
    // it is a blank or control character, and outside ASCII (as UTF-8).
    static QString mailtoUrl(const QString &address, const QString &subject,
                             const QStringList &bodyLines);

    void pocztaClick();
    // The send command to another address of the contact: the letter the composer
    // holds, handed to the mail client and logged as pocztaClick() does.
    void sendTo(const QString &address);
    void SpeedButton3Click();
    void SpeedButton1Click();
    void FormClose();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void appendSignatureBlock();
    void appendMemoLine(const QString &line);
    void updateWrapWidth();

    QFrame *Bevel1 = nullptr;
    QLabel *Label2 = nullptr;
    DBText *DBText2 = nullptr;
    QLabel *Label4 = nullptr;
    DBText *DBText1 = nullptr;
    DBEdit *DBEdit1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLabel *Label3 = nullptr;
    QToolButton *SpeedButton3 = nullptr;
    QTextEdit *Memo1 = nullptr;
    QCheckBox *c1 = nullptr;
    QToolButton *poczta = nullptr;
    QToolButton *SpeedButton1 = nullptr;

    QPointer<TForm17> m_signature;
    HistoryAppender m_history;
};
