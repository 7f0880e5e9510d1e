#pragma once

#include "forms/form.h"
#include "forms/search_row.h"

#include <functional>

class ClickLabel;
class DBComboBox;
class DBEdit;
class DBMemo;
class DBNavigator;
class FieldDataLink;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;
class TDetailsWindow;
class TTable;
enum class SearchKind;

// The data entry window `Form10`: every field of the current record in an edit
// control, its further values in an editor of their own, the ten-button navigator,
// the clock and date, and the search row.
class TForm10 final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm10)

public:
    explicit TForm10(QWidget *parent = nullptr);
    ~TForm10() override;

    // Where the search row searches: the contact table, once it is open.
    void setContacts(std::function<TTable *()> contacts) { m_contacts = std::move(contacts); }
    // What Ctrl+F does: shows the window "Znajdź".
    void setShowFind(std::function<void()> showFind) { m_showFind = std::move(showFind); }

    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLabel *Label6;
    QLabel *Label7;
    QLabel *Label8;
    QLabel *Label9;
    QLabel *Label10;
    QLabel *Label11;
    QLabel *Telefaz;
    QLabel *Label12;
    QLabel *Label13;
    ClickLabel *Label14;
    QLabel *Label15;
    QLabel *Label16;
    DBEdit *DBEdit1;
    DBEdit *DBEdit2;
    DBEdit *DBEdit3;
    DBComboBox *DBComboBox1;
    DBEdit *DBEdit4;
    DBEdit *DBEdit5;
    DBEdit *DBEdit6;
    DBEdit *DBEdit7;
    DBEdit *DBEdit8;
    DBEdit *DBEdit9;
    DBEdit *DBEdit10;
    DBEdit *DBEdit11;
    DBMemo *DBMemo1;
    DBNavigator *DBNavigator1;
    QToolButton *s1;
    QToolButton *s2;
    QToolButton *n;
    QToolButton *b;
    QToolButton *p;
    QLineEdit *n1;
    QLineEdit *b1;
    QLineEdit *p1;
    QToolButton *SpeedButton1;
    QToolButton *btnWiecej; // the further values
    TDetailsWindow *DetailsEditor;
    QTimer *Timer1;

    void FormCreate();
    void Label14Click();
    void SpeedButton1Click();
    void s1Click();
    void s2Click();
    void nClick();
    void bClick();
    void pClick();
    void n1Click();
    void b1Click();
    void p1Click();
    void n1KeyUp();
    void b1KeyUp();
    void p1KeyUp();
    void btnWiecejClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildFields();
    void buildHeader();
    void buildNotes();
    void buildBottomStrip();
    void orderTabs();
    void search(SearchKind kind);
    void updateDetailsButton();

    SearchRow m_searchRow; // the boxes n1, b1 and p1
    std::function<void()> m_showFind;
    std::function<TTable *()> m_contacts;
    FieldDataLink *m_recordLink; // tells when the record or its state changes
};
