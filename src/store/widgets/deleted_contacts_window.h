#pragma once

#include "forms/modal_window.h"
#include "store/deleted_contacts.h"

#include <QList>
#include <functional>

class QLabel;
class QPushButton;
class QTableWidget;
class TTable;

// `TDeletedContactsWindow`, "Usunięte kontakty": the contacts deleted in the last 30
// days and more, newest first, with their name, town, telephone and when they were
// deleted. "Przywróć" brings the chosen ones back with their ids and moves the table
// to the first of them, so that every window shows it.
class TDeletedContactsWindow final : public KaxModalWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDeletedContactsWindow)

public:
    // `contacts` gives the windows' table (t1), nullptr before it is open.
    explicit TDeletedContactsWindow(std::function<TTable *()> contacts, QWidget *parent = nullptr);
    ~TDeletedContactsWindow() override;

    // Reads the deleted contacts anew.
    void reload();
    // Brings back the contacts of these rows of the list; false (shown) when that failed.
    bool bringBack(const QList<int> &rows);

    QLabel *lblOpis;
    QTableWidget *grdUsuniete;
    QPushButton *btnPrzywroc;
    QPushButton *btnZamknij;

    // Handlers
    void btnPrzywrocClick();

private:
    TTable *contacts() const { return m_contacts ? m_contacts() : nullptr; }
    void selectionChanged();

    std::function<TTable *()> m_contacts;
    QList<DeletedContact> m_deleted;
};
