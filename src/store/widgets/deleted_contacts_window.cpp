#include "store/widgets/deleted_contacts_window.h"

#include "forms/form_style.h"
#include "platform/errors.h"
#include "platform/widgets/dialogs.h"
#include "store/table.h"
#include "store/table_batch.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>

namespace {

constexpr int kHelpContext = 29; // its help topic
constexpr int kWidth = 640;
constexpr int kHeight = 400;

const char *const kCaption = "Usunięte kontakty";

QString nameOf(const DeletedContact &contact, const QStringList &fields)
{
    const QString name = contact.values.value(fields.indexOf(QStringLiteral("Nazwa"))).simplified();
    return name.isEmpty() ? QStringLiteral("(bez nazwy)") : name;
}

} // namespace

TDeletedContactsWindow::TDeletedContactsWindow(std::function<TTable *()> contacts, QWidget *parent)
    : KaxModalWindow(QStringLiteral("DeletedContactsWindow"), QString::fromUtf8(kCaption),
                     QSize(kWidth, kHeight), 0, parent, kHelpContext),
      m_contacts(std::move(contacts))
{
    lblOpis = FormStyle::label(this, QStringLiteral("lblOpis"), QString(), {8, 8});
    lblOpis->setFixedSize(kWidth - 16, 36);
    lblOpis->setWordWrap(true);

    grdUsuniete = new QTableWidget(0, 4, this);
    grdUsuniete->setObjectName(QStringLiteral("grdUsuniete"));
    grdUsuniete->setAccessibleName(QString::fromUtf8(kCaption));
    grdUsuniete->setGeometry(8, 48, kWidth - 16, kHeight - 48 - 48);
    grdUsuniete->setHorizontalHeaderLabels({QStringLiteral("Nazwa"), QStringLiteral("Miejscowość"),
                                            QStringLiteral("Telefon"), QStringLiteral("Usunięto")});
    grdUsuniete->verticalHeader()->hide();
    grdUsuniete->verticalHeader()->setDefaultSectionSize(22);
    grdUsuniete->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    grdUsuniete->setColumnWidth(1, 140);
    grdUsuniete->setColumnWidth(2, 130);
    grdUsuniete->setColumnWidth(3, 120);
    grdUsuniete->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdUsuniete->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdUsuniete->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grdUsuniete->setWordWrap(false);

    btnPrzywroc = new QPushButton(QStringLiteral("&Przywróć"), this);
    btnPrzywroc->setObjectName(QStringLiteral("btnPrzywroc"));
    btnPrzywroc->setGeometry(8, kHeight - 38, 120, 28);
    btnZamknij = new QPushButton(QStringLiteral("&Zamknij"), this);
    btnZamknij->setObjectName(QStringLiteral("btnZamknij"));
    btnZamknij->setGeometry(kWidth - 8 - 100, kHeight - 38, 100, 28);

    connect(grdUsuniete, &QTableWidget::itemSelectionChanged, this,
            &TDeletedContactsWindow::selectionChanged);
    connect(btnPrzywroc, &QPushButton::clicked, this, &TDeletedContactsWindow::btnPrzywrocClick);
    connect(btnZamknij, &QPushButton::clicked, this, [this] { answer(0); });
}

TDeletedContactsWindow::~TDeletedContactsWindow() = default;

void TDeletedContactsWindow::reload()
{
    m_deleted.clear();
    TTable *table = contacts();
    if (table && table->active()) {
        try {
            m_deleted =
                DeletedContacts(table->database(), table->tableName(), table->fieldNames()).list();
        } catch (const KaxError &error) {
            reportError(error.message());
        }
    }
    const QStringList fields = table ? table->fieldNames() : QStringList();
    const QSignalBlocker quiet(grdUsuniete);
    grdUsuniete->clearSelection();
    grdUsuniete->setRowCount(int(m_deleted.size()));
    for (int row = 0; row < m_deleted.size(); ++row) {
        const DeletedContact &contact = m_deleted[row];
        const QStringList texts{
            nameOf(contact, fields),
            contact.values.value(fields.indexOf(QStringLiteral("Miasto"))).simplified(),
            contact.values.value(fields.indexOf(QStringLiteral("Tel"))).simplified(),
            contact.deletedAt.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"))};
        for (int column = 0; column < texts.size(); ++column)
            grdUsuniete->setItem(row, column, new QTableWidgetItem(texts[column]));
    }
    lblOpis->setText(m_deleted.isEmpty()
                         ? QStringLiteral("Nie ma usuniętych kontaktów.")
                         : QStringLiteral("Usunięte kontakty są przechowywane co najmniej %1 dni. "
                                          "Wybierz te, które chcesz przywrócić.")
                               .arg(DeletedContacts::kKeptDays));
    if (!m_deleted.isEmpty())
        grdUsuniete->setCurrentCell(0, 0);
    selectionChanged();
}

void TDeletedContactsWindow::selectionChanged()
{
    btnPrzywroc->setEnabled(!grdUsuniete->selectionModel()->selectedRows().isEmpty());
}

bool TDeletedContactsWindow::bringBack(const QList<int> &rows)
{
    TTable *table = contacts();
    if (!table || !table->active() || rows.isEmpty())
        return false;
    QList<int> chosen = rows;
    std::sort(chosen.begin(), chosen.end());
    qint64 first = -1;
    QStringList renumbered;
    try {
        TableBatch batch(*table);
        DeletedContacts deleted(table->database(), table->tableName(), table->fieldNames());
        for (const int row : std::as_const(chosen)) {
            if (row < 0 || row >= m_deleted.size())
                continue;
            const DeletedContact &contact = m_deleted[row];
            const qint64 id = deleted.bringBack(batch, contact.id);
            if (id != contact.id)
                renumbered << QStringLiteral("„%1” (numer %2 zamiast %3)")
                                  .arg(nameOf(contact, table->fieldNames()))
                                  .arg(id)
                                  .arg(contact.id);
            if (first < 0)
                first = id;
        }
        batch.commit();
    } catch (const KaxError &error) {
        reportError(error.message());
        reload();
        return false;
    }
    if (first >= 0)
        table->locate(first);
    reload();
    if (!renumbered.isEmpty())
        showMessage(DialogKind::Information, QString::fromUtf8(kCaption),
                    QStringLiteral("Numery tych kontaktów mają teraz inne kontakty, więc wróciły "
                                   "pod nowymi numerami: %1.")
                        .arg(renumbered.join(QStringLiteral(", "))));
    return true;
}

void TDeletedContactsWindow::btnPrzywrocClick()
{
    QList<int> rows;
    for (const QModelIndex &index : grdUsuniete->selectionModel()->selectedRows())
        rows << index.row();
    bringBack(rows);
}
