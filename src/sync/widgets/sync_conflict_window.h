#pragma once

#include "forms/form.h"
#include "sync/sync_conflicts.h"

#include <QList>
#include <functional>

class QButtonGroup;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class TTable;

// `TSyncConflictWindow`, "Konflikt synchronizacji": the conflict copies a sync kept, and
// for the chosen one each field and further value that differs, the server's value
// (now on the card) beside the user's own, with a choice per row of which to keep. The
// chosen values are written to the contact through the windows' table, from where the
// next sync sends them; a copy is dropped only once they are stored.
class TSyncConflictWindow final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSyncConflictWindow)

public:
    // `contacts` gives the windows' table (t1), nullptr before it is open.
    explicit TSyncConflictWindow(std::function<TTable *()> contacts, QWidget *parent = nullptr);
    ~TSyncConflictWindow() override;

    // Reads the conflict copies anew and shows the first (or the one shown before).
    void reload();
    // Sets the choice of a row of the grid: the user's own value or the server's.
    void choose(int row, bool mine);

    QListWidget *lstKopie;
    QLabel *lblKopia;
    QTableWidget *grdPola;
    QPushButton *btnZachowaj;
    QPushButton *btnSerwer;
    QPushButton *btnMoja;
    QPushButton *btnZamknij;

    // Handlers
    void btnZachowajClick();
    void btnSerwerClick();
    void btnMojaClick();

signals:
    // A copy was resolved: fewer remain.
    void resolved();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // One row of the grid: a field, or the n-th further value of a kind.
    struct Row
    {
        int field = -1; // ContactRecord::Field, or -1 for a further value
        int kind = -1;  // ContactDetail::Kind of a further value
        int ordinal = 0;
    };

    TTable *contacts() const { return m_contacts ? m_contacts() : nullptr; }
    const SyncConflict *current() const;
    void showCurrent();
    void addRow(const Row &row, const QString &caption, const QString &server, const QString &mine);
    bool mineChosen(int row) const;
    // The contact's values with the chosen rows taken from the user's version.
    ContactRecord chosen(const ContactRecord &base, QList<ContactDetail> details) const;
    // Writes the chosen values and drops the copy; false (shown) when that failed.
    bool keepChosen();
    void resolveCurrent();

    std::function<TTable *()> m_contacts;
    QList<SyncConflict> m_conflicts;
    QList<Row> m_rows;
    QList<QButtonGroup *> m_choices; // per row: id 0 the server's, 1 the user's
};
