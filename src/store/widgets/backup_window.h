#pragma once

#include "forms/form.h"
#include "store/book_backup.h"
#include "store/book_restore.h"

#include <QList>
#include <atomic>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QThread;
class QTreeWidget;
class TTable;

// `TBackupWindow`, "Kopie zapasowe": the automatic copies of the book with their time,
// number of contacts and size, the folder they lie in, the comparison of a copy with
// today's book (added, deleted and changed contacts, field by field) and the restore of
// chosen contacts or of the whole book, after a copy of today's book is kept.
class TBackupWindow final : public KaxForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TBackupWindow)

public:
    // `contacts` gives the windows' table (t1), nullptr before it is open.
    explicit TBackupWindow(std::function<TTable *()> contacts, QWidget *parent = nullptr);
    ~TBackupWindow() override;

    // Lists the copies in the folder anew; their contacts are counted in the background
    // and fill their column as they come.
    void reload();
    // Whether every copy listed has its number of contacts.
    bool countsDone() const { return m_countsPending == 0; }
    // The ids of the contacts whose boxes are ticked, in id order.
    QList<qint64> chosenIds() const;

    QLineEdit *edtFolder;
    QPushButton *btnFolder;
    QTableWidget *grdKopie;
    QLabel *lblWynik;
    QTreeWidget *trwRoznice;
    QProgressBar *prgPostep;
    QPushButton *btnPorownaj;
    QPushButton *btnPrzywroc;
    QPushButton *btnZamknij;

    // Handlers
    void btnFolderClick();
    void btnPorownajClick();
    void btnPrzywrocClick();

signals:
    // A restore changed the book.
    void restored();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    TTable *contacts() const { return m_contacts ? m_contacts() : nullptr; }
    const BookBackup::Copy *currentCopy() const;
    void copyChanged();
    void stopCounting();
    void showCount(int generation, int row, qint64 count);
    void showComparison(const BookRestore::Comparison &comparison);
    // Shows per cent done and keeps the windows answering; true goes on.
    bool showProgress(int percent);
    void setBusy(bool busy);

    std::function<TTable *()> m_contacts;
    QString m_folder;
    QList<BookBackup::Copy> m_copies;
    QThread *m_counter = nullptr;
    std::shared_ptr<std::atomic<bool>> m_stopCounting;
    int m_generation = 0;
    int m_countsPending = 0;
};
