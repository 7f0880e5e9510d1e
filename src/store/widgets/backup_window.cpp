#include "store/widgets/backup_window.h"

#include "forms/form_style.h"
#include "platform/errors.h"
#include "platform/widgets/dialogs.h"
#include "platform/widgets/file_dialogs.h"
#include "store/contact_count.h"
#include "store/database_alias.h"
#include "store/table.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QTreeWidget>

namespace {

constexpr int kHelpContext = 28; // its help topic
constexpr int kWidth = 800;
constexpr int kHeight = 520;
constexpr int kListWidth = 262;
// Contacts listed at most after a comparison; the summary counts them all.
constexpr int kShownChanges = 5000;
const QString kCaption = QStringLiteral("Kopie zapasowe");

QString sizeText(qint64 bytes)
{
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(polish.toString(double(bytes) / 1024, 'f', 0));
    return QStringLiteral("%1 MB").arg(polish.toString(double(bytes) / (1024 * 1024), 'f', 1));
}

QString timeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

QString kindText(BookRestore::ContactChange::Kind kind)
{
    switch (kind) {
    case BookRestore::ContactChange::Added:
        return QStringLiteral("dodany");
    case BookRestore::ContactChange::Deleted:
        return QStringLiteral("usunięty");
    case BookRestore::ContactChange::Changed:
        break;
    }
    return QStringLiteral("zmieniony");
}

} // namespace

TBackupWindow::TBackupWindow(std::function<TTable *()> contacts, QWidget *parent)
    : KaxForm(QStringLiteral("BackupWindow"), kCaption, QSize(kWidth, kHeight), kHelpContext,
              parent),
      m_contacts(std::move(contacts))
{
    auto *folderCaption = FormStyle::label(this, QStringLiteral("lblFolder"),
                                           QStringLiteral("&Folder kopii:"), {8, 12});
    edtFolder = new QLineEdit(this);
    edtFolder->setObjectName(QStringLiteral("edtFolder"));
    edtFolder->setReadOnly(true);
    edtFolder->setGeometry(96, 8, kWidth - 96 - 8 - 140 - 6, 24);
    folderCaption->setBuddy(edtFolder);
    btnFolder = new QPushButton(QStringLiteral("&Zmień folder…"), this);
    btnFolder->setObjectName(QStringLiteral("btnFolder"));
    btnFolder->setGeometry(kWidth - 8 - 140, 6, 140, 28);

    auto *listCaption =
        FormStyle::label(this, QStringLiteral("lblKopie"), QStringLiteral("&Kopie:"), {8, 42});
    grdKopie = new QTableWidget(0, 3, this);
    grdKopie->setObjectName(QStringLiteral("grdKopie"));
    grdKopie->setGeometry(8, 62, kListWidth, kHeight - 62 - 48);
    grdKopie->setHorizontalHeaderLabels(
        {QStringLiteral("Z dnia"), QStringLiteral("Kontakty"), QStringLiteral("Rozmiar")});
    grdKopie->verticalHeader()->hide();
    grdKopie->verticalHeader()->setDefaultSectionSize(22);
    grdKopie->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    grdKopie->setColumnWidth(1, 70);
    grdKopie->setColumnWidth(2, 70);
    grdKopie->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdKopie->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdKopie->setSelectionMode(QAbstractItemView::SingleSelection);
    grdKopie->setWordWrap(false);
    listCaption->setBuddy(grdKopie);

    const int right = 8 + kListWidth + 8;
    const int rightWidth = kWidth - right - 8;
    lblWynik = FormStyle::label(this, QStringLiteral("lblWynik"), QString(), {right, 40});
    lblWynik->setFixedSize(rightWidth, 40);
    lblWynik->setWordWrap(true);

    trwRoznice = new QTreeWidget(this);
    trwRoznice->setObjectName(QStringLiteral("trwRoznice"));
    trwRoznice->setAccessibleName(QStringLiteral("Różnice"));
    trwRoznice->setGeometry(right, 84, rightWidth, kHeight - 84 - 78);
    trwRoznice->setColumnCount(3);
    trwRoznice->setHeaderLabels(
        {QStringLiteral("Kontakt, pole"), QStringLiteral("W kopii"), QStringLiteral("Dziś")});
    trwRoznice->setColumnWidth(0, 250);
    trwRoznice->setColumnWidth(1, 120);
    trwRoznice->setUniformRowHeights(true);

    prgPostep = new QProgressBar(this);
    prgPostep->setObjectName(QStringLiteral("prgPostep"));
    prgPostep->setAccessibleName(QStringLiteral("Postęp"));
    prgPostep->setGeometry(right, kHeight - 70, rightWidth, 22);
    prgPostep->setRange(0, 100);
    prgPostep->setValue(0);

    const auto button = [this](const char *name, const QString &text, int x, int width) {
        auto *push = new QPushButton(text, this);
        push->setObjectName(QLatin1String(name));
        push->setGeometry(x, kHeight - 38, width, 28);
        return push;
    };
    btnPorownaj = button("btnPorownaj", QStringLiteral("&Porównaj"), right, 110);
    btnPrzywroc = button("btnPrzywroc", QStringLiteral("P&rzywróć"), right + 116, 110);
    btnZamknij = button("btnZamknij", QStringLiteral("Za&mknij"), kWidth - 8 - 100, 100);

    connect(btnFolder, &QPushButton::clicked, this, &TBackupWindow::btnFolderClick);
    connect(btnPorownaj, &QPushButton::clicked, this, &TBackupWindow::btnPorownajClick);
    connect(btnPrzywroc, &QPushButton::clicked, this, &TBackupWindow::btnPrzywrocClick);
    connect(btnZamknij, &QPushButton::clicked, this, &QWidget::close);
    connect(grdKopie, &QTableWidget::currentCellChanged, this, &TBackupWindow::copyChanged);
}

TBackupWindow::~TBackupWindow()
{
    stopCounting();
}

// Esc closes the window from any of its controls, as "Zamknij" does.
void TBackupWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    KaxForm::keyPressEvent(event);
}

void TBackupWindow::stopCounting()
{
    if (!m_counter)
        return;
    m_stopCounting->store(true);
    m_counter->wait();
    delete m_counter;
    m_counter = nullptr;
}

void TBackupWindow::reload()
{
    stopCounting();
    ++m_generation;
    m_copies.clear();
    m_folder.clear();
    TTable *table = contacts();
    if (table && table->active()) {
        try {
            m_folder = BookBackup::folder(BookBackup::bookOf(*table));
            m_copies = BookBackup::list(m_folder);
        } catch (const KaxError &error) {
            reportError(error.message());
        }
    }
    edtFolder->setText(m_folder);
    const QSignalBlocker quiet(grdKopie);
    grdKopie->setRowCount(int(m_copies.size()));
    for (int row = 0; row < m_copies.size(); ++row) {
        const BookBackup::Copy &copy = m_copies[row];
        grdKopie->setItem(row, 0, new QTableWidgetItem(timeText(copy.time)));
        auto *count = new QTableWidgetItem(QStringLiteral("…"));
        count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grdKopie->setItem(row, 1, count);
        auto *size = new QTableWidgetItem(sizeText(copy.size));
        size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grdKopie->setItem(row, 2, size);
    }
    grdKopie->setCurrentCell(m_copies.isEmpty() ? -1 : 0, 0);
    copyChanged();
    m_countsPending = int(m_copies.size());
    if (m_copies.isEmpty() || !table)
        return;
    // Counting reads every copy: a thread of its own does it, so the list shows at once.
    QStringList paths;
    for (const BookBackup::Copy &copy : std::as_const(m_copies))
        paths << copy.path;
    const QString tableName = table->tableName();
    const int generation = m_generation;
    m_stopCounting = std::make_shared<std::atomic<bool>>(false);
    m_counter = QThread::create([this, paths, tableName, generation, stop = m_stopCounting] {
        for (int row = 0; row < paths.size() && !stop->load(); ++row) {
            qint64 count = -1;
            try {
                count = BookBackup::contactCount(paths[row], tableName);
            } catch (const KaxError &) {
                count = -1; // shown as unreadable in the list
            }
            QMetaObject::invokeMethod(
                this, [this, generation, row, count] { showCount(generation, row, count); },
                Qt::QueuedConnection);
        }
    });
    m_counter->start();
}

void TBackupWindow::showCount(int generation, int row, qint64 count)
{
    if (generation != m_generation || row >= grdKopie->rowCount())
        return;
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    QTableWidgetItem *item = grdKopie->item(row, 1);
    item->setText(count < 0 ? QStringLiteral("błąd") : polish.toString(count));
    if (count < 0)
        item->setToolTip(QStringLiteral("Nie można odczytać tej kopii."));
    --m_countsPending;
}

const BookBackup::Copy *TBackupWindow::currentCopy() const
{
    const int row = grdKopie->currentRow();
    return row >= 0 && row < m_copies.size() ? &m_copies[row] : nullptr;
}

void TBackupWindow::copyChanged()
{
    trwRoznice->clear();
    prgPostep->setValue(0);
    const BookBackup::Copy *copy = currentCopy();
    btnPorownaj->setEnabled(copy != nullptr);
    btnPrzywroc->setEnabled(copy != nullptr);
    if (!copy)
        lblWynik->setText(m_folder.isEmpty() ? QString()
                                             : QStringLiteral("W tym folderze nie ma kopii."));
    else
        lblWynik->setText(QStringLiteral("Kopia z %1. „Porównaj” pokaże, co zmieniło się "
                                         "od tego czasu.")
                              .arg(timeText(copy->time)));
}

void TBackupWindow::btnFolderClick()
{
    const QString chosen = FileDialogs::current().existingFolder(
        this, FileDialogRequest{QStringLiteral("Folder kopii zapasowych"), {}, {}});
    if (chosen.isEmpty())
        return;
    try {
        BookBackup::setFolder(chosen);
    } catch (const KaxError &error) {
        reportError(error.message());
        return;
    }
    reload();
}

bool TBackupWindow::showProgress(int percent)
{
    prgPostep->setValue(percent);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return true;
}

void TBackupWindow::setBusy(bool busy)
{
    for (QWidget *control :
         {static_cast<QWidget *>(btnFolder), static_cast<QWidget *>(grdKopie),
          static_cast<QWidget *>(btnPorownaj), static_cast<QWidget *>(btnPrzywroc)})
        control->setEnabled(!busy);
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TBackupWindow::btnPorownajClick()
{
    const BookBackup::Copy *copy = currentCopy();
    TTable *table = contacts();
    if (!copy || !table || !table->active())
        return;
    const QString path = copy->path;
    setBusy(true);
    trwRoznice->clear();
    lblWynik->setText(QStringLiteral("Porównywanie…"));
    try {
        const BookRestore::Comparison comparison = BookRestore::compare(
            *table, path, [this](int percent) { return showProgress(percent); });
        setBusy(false);
        showComparison(comparison);
    } catch (const KaxError &error) {
        setBusy(false);
        lblWynik->setText(QString());
        reportError(error.message());
    }
}

void TBackupWindow::showComparison(const BookRestore::Comparison &comparison)
{
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    int added = 0;
    int deleted = 0;
    int changed = 0;
    QList<QTreeWidgetItem *> items;
    for (const BookRestore::ContactChange &change : comparison.changes) {
        (change.kind == BookRestore::ContactChange::Added     ? added
         : change.kind == BookRestore::ContactChange::Deleted ? deleted
                                                              : changed)++;
        if (items.size() >= kShownChanges)
            continue;
        auto *item = new QTreeWidgetItem;
        const QString name = change.name.isEmpty() ? QStringLiteral("(bez nazwy)") : change.name;
        item->setText(0, QStringLiteral("%1 (%2)").arg(name, kindText(change.kind)));
        item->setData(0, Qt::UserRole, change.id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        item->setToolTip(0, QStringLiteral("%1, kontakt nr %2").arg(item->text(0)).arg(change.id));
        for (const BookRestore::FieldChange &field : change.fields) {
            auto *line = new QTreeWidgetItem(item);
            line->setText(0, field.field);
            line->setText(1, field.then.simplified());
            line->setText(2, field.now.simplified());
            line->setToolTip(1, field.then);
            line->setToolTip(2, field.now);
        }
        items << item;
    }
    trwRoznice->addTopLevelItems(items);
    trwRoznice->expandAll();
    QString summary = QStringLiteral("W kopii: %1, dziś: %2. Od tego czasu dodano %3, usunięto %4, "
                                     "zmieniono %5.")
                          .arg(contactCount(int(comparison.copyContacts)),
                               contactCount(int(comparison.todayContacts)), polish.toString(added),
                               polish.toString(deleted), polish.toString(changed));
    if (comparison.changes.size() > kShownChanges)
        summary += QStringLiteral(" Lista pokazuje pierwsze %1.").arg(kShownChanges);
    else if (comparison.changes.isEmpty())
        summary = QStringLiteral("Książka jest taka sama jak w kopii (%1).")
                      .arg(contactCount(int(comparison.todayContacts)));
    lblWynik->setText(summary);
}

QList<qint64> TBackupWindow::chosenIds() const
{
    QList<qint64> ids;
    for (int i = 0; i < trwRoznice->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = trwRoznice->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            ids << item->data(0, Qt::UserRole).toLongLong();
    }
    return ids;
}

void TBackupWindow::btnPrzywrocClick()
{
    const BookBackup::Copy *copy = currentCopy();
    TTable *table = contacts();
    if (!copy || !table || !table->active())
        return;
    const QString path = copy->path;
    const QDateTime copyTime = copy->time;
    const QList<qint64> ids = chosenIds();
    DialogRequest question;
    question.kind = DialogKind::Confirmation;
    question.caption = kCaption;
    question.text =
        ids.isEmpty()
            ? QStringLiteral("Przywrócić całą książkę adresową z kopii z %1? Kontakty dodane "
                             "od tego czasu zostaną usunięte, a usunięte i zmienione wrócą "
                             "takie, jak były. Najpierw zostanie zapisana kopia dzisiejszej "
                             "książki, więc i to można będzie cofnąć.")
                  .arg(timeText(copyTime))
            : QStringLiteral("Przywrócić z kopii z %1 wybrane kontakty (%2)? Najpierw zostanie "
                             "zapisana kopia dzisiejszej książki, więc i to można będzie "
                             "cofnąć.")
                  .arg(timeText(copyTime))
                  .arg(ids.size());
    question.buttons = {DialogButton::Yes, DialogButton::No};
    question.defaultButton = DialogButton::No;
    question.escapeButton = DialogButton::No;
    if (Dialogs::current().ask(question) != DialogButton::Yes)
        return;
    setBusy(true);
    try {
        lblWynik->setText(QStringLiteral("Zapisywanie kopii dzisiejszej książki…"));
        const auto progress = [this](int percent) { return showProgress(percent); };
        const BookBackup::Copy today = BookBackup::makeBeforeChange(*table, progress);
        lblWynik->setText(QStringLiteral("Przywracanie…"));
        if (ids.isEmpty())
            BookRestore::restoreAll(*table, path, progress);
        else
            BookRestore::restoreContacts(*table, path, ids);
        setBusy(false);
        emit restored();
        reload();
        lblWynik->setText((ids.isEmpty()
                               ? QStringLiteral("Przywrócono książkę z kopii z %1.")
                               : QStringLiteral("Przywrócono wybrane kontakty z kopii z %1."))
                              .arg(timeText(copyTime)) +
                          QStringLiteral(" Książkę sprzed przywrócenia zapisano w kopii z %1.")
                              .arg(timeText(today.time)));
    } catch (const KaxError &error) {
        setBusy(false);
        reportError(error.message());
    }
}
