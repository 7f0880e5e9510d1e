#pragma once

#include "forms/form.h"

#include <QPointer>
#include <functional>

class ClickLabel;
class DBMemo;
class DBNavigator;
class DBText;
class FieldDataLink;
class QLabel;
class QTimer;
class QToolButton;
class TDetailsWindow;
class TTable;
struct ContactDetail;

// The full record view `Form13`: every field of the current record read-only,
// the notes included, with the call, letter and web links, printing, the address
// on a map, the contact's further values, a navigator and a clock.
class TForm13 final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm13)

public:
    explicit TForm13(QWidget *parent = nullptr);
    ~TForm13() override;

    // What the view's links and print buttons do; the application wires them.
    struct Commands
    {
        std::function<void()> call;       // the main window's call command
        std::function<void()> sendLetter; // the composer's send, without showing it
        std::function<void()> openWeb;    // the main window's web command
        // The same three for a further value of the contact.
        std::function<void(const QString &number)> callNumber;
        std::function<void(const QString &address)> sendLetterTo;
        std::function<void(const QString &address)> openWebAddress;
        std::function<void(const QStringList &notes)> printRecord;
        std::function<void()> printLabel;
        std::function<void()> showFind; // Ctrl+F: the window "Znajdź"
        // Opens the address on show on a map in the browser.
        std::function<void(const QString &street, const QString &postCode, const QString &town,
                           const QString &country)>
            showMap;
    };
    void setCommands(Commands commands) { m_commands = std::move(commands); }

    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLabel *Label6;
    QLabel *Label7;
    QLabel *Label8;
    ClickLabel *Label9;
    QLabel *Label10;
    ClickLabel *Label11;
    ClickLabel *Label12;
    QLabel *Label13;
    ClickLabel *Label14;
    DBText *DBText1;
    DBText *DBText2;
    DBText *DBText3;
    DBText *DBText4;
    DBText *DBText5;
    DBText *DBText6;
    DBText *DBText7;
    DBText *DBText8;
    DBText *DBText9;
    DBText *DBText10;
    DBText *DBText11;
    DBText *DBText12;
    DBMemo *m1;
    QToolButton *SpeedButton3;
    QToolButton *SpeedButton2;
    QToolButton *SpeedButton1;
    QToolButton *SpeedButton4;
    QToolButton *btnWiecej; // the further values
    TDetailsWindow *DetailsWindow;
    DBNavigator *DBNavigator1;
    QTimer *Timer1;

    void DBText9Click();
    void DBText11Click();
    void DBText12Click();
    void SpeedButton3Click();
    void SpeedButton2Click();
    void SpeedButton1Click();
    void SpeedButton4Click();
    void btnWiecejClick();
    void Label14Click();

    // The notes memo's lines as it displays them.
    QStringList notesLines() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildFields();
    void buildNotes();
    void buildButtons();
    void updateDetailsButton();
    void detailChosen(const ContactDetail &detail);

    Commands m_commands;
    FieldDataLink *m_recordLink; // tells when the record on the card changes
    QPointer<TTable> m_watched;  // whose further values the button follows
};
