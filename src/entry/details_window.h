#pragma once

#include "forms/modal_window.h"
#include "store/contact_details.h"

class DetailsList;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class TTable;

// `TDetailsWindow` "Dalsze dane kontaktu": the further values of the contact on the
// card. The view lists them and a telephone, e-mail or web address chosen in it is
// called, written to or opened; the editor adds, changes, removes and orders them.
class TDetailsWindow final : public KaxModalWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDetailsWindow)

public:
    enum class Mode { View, Edit };
    enum Answer { Closed, Accepted };

    explicit TDetailsWindow(Mode mode, QWidget *parent = nullptr);

    // Shows the contact's name and values without waiting.
    void setContact(const QString &name, const QList<ContactDetail> &details);
    // The values as edited: the list's order, rows without a value left out.
    QList<ContactDetail> details() const;
    // Shows the values and waits; the view answers Closed.
    Answer run(const QString &name, const QList<ContactDetail> &details);

    // The types offered for a value; any other may be typed.
    static QStringList typeChoices();

    // What a "Więcej…" button says of the record on the card: whether it has further
    // values, and a tooltip that counts them by kind or says why there are none.
    struct Summary
    {
        bool any = false;
        QString text;
    };
    static Summary summarize(TTable *table);

    QLabel *Heading = nullptr;
    DetailsList *List = nullptr;
    QLabel *Hint = nullptr;             // the view
    QPushButton *CloseButton = nullptr; // the view
    // The editor.
    QPushButton *AddButton = nullptr;
    QPushButton *RemoveButton = nullptr;
    QPushButton *UpButton = nullptr;
    QPushButton *DownButton = nullptr;
    QComboBox *KindBox = nullptr;
    QComboBox *TypeBox = nullptr;
    QLineEdit *LabelEdit = nullptr;
    QStackedWidget *ValuePages = nullptr;
    QLineEdit *ValueEdit = nullptr;
    QLineEdit *StreetEdit = nullptr;
    QLineEdit *CodeEdit = nullptr;
    QLineEdit *TownEdit = nullptr;
    QLineEdit *RegionEdit = nullptr;
    QLineEdit *CountryEdit = nullptr;
    QPushButton *OkButton = nullptr;
    QPushButton *CancelButton = nullptr;

signals:
    // The view: a telephone, e-mail or web address was chosen.
    void chosen(const ContactDetail &detail);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildView();
    void buildEditor();
    void buildValueEditor(int top);
    void AddButtonClick();
    void RemoveButtonClick();
    void moveCurrent(int by);
    void showCurrent();   // the chosen row in the editor
    void kindChanged();   // a value changes kind
    void editorChanged(); // a typed type, label or value goes into its row
    void updateButtons();

    Mode m_mode;
    bool m_showing = false; // the editor is being filled, not typed in
};
