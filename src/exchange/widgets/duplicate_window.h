#pragma once

#include "exchange/contact_import.h"
#include "forms/modal_window.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

// `TDuplicateQuestion`: asks what to do with an incoming contact that matches one in
// the address book, showing the two side by side: skip it, fill the stored one's
// empty fields from it, or add it anyway, for this one or for all the rest.
class TDuplicateQuestion final : public KaxModalWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDuplicateQuestion)

public:
    explicit TDuplicateQuestion(QWidget *parent = nullptr);

    // Shows the pair and waits for the choice; Escape skips.
    ContactImport::Decision ask(const ContactImport::Duplicate &duplicate);
    // Fills the window without waiting.
    void show(const ContactImport::Duplicate &duplicate);
    ContactImport::Decision decision() const;

    QLabel *Reason = nullptr;
    QTableWidget *Compare = nullptr;
    QCheckBox *ForAllBox = nullptr;
    QPushButton *SkipButton = nullptr;
    QPushButton *UpdateButton = nullptr;
    QPushButton *AddButton = nullptr;
};
