#include "sync/widgets/sync_conflict_window.h"

#include "forms/form_style.h"
#include "platform/errors.h"
#include "platform/widgets/dialogs.h"
#include "store/table.h"

#include <QButtonGroup>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTableWidget>

namespace {

constexpr int kHelpContext = 27; // its help topic
constexpr int kWidth = 760;
constexpr int kHeight = 440;
constexpr int kListWidth = 230;

// The n-th further value of a kind, or nothing.
std::optional<ContactDetail> nthOfKind(const QList<ContactDetail> &details, int kind, int n)
{
    for (const ContactDetail &detail : details) {
        if (int(detail.kind) == kind && n-- == 0)
            return detail;
    }
    return std::nullopt;
}

int countOfKind(const QList<ContactDetail> &details, int kind)
{
    return int(std::count_if(details.begin(), details.end(),
                             [kind](const ContactDetail &d) { return int(d.kind) == kind; }));
}

bool contactExists(TTable &table, qint64 id)
{
    if (id < 0)
        return false;
    QSqlDatabase db = table.database();
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral("SELECT 1 FROM %1 WHERE id = ?")
            .arg(db.driver()->escapeIdentifier(table.tableName(), QSqlDriver::TableName)));
    query.addBindValue(id);
    return query.exec() && query.next();
}

QString conflictName(const SyncConflict &conflict)
{
    QString name = conflict.local[ContactRecord::Nazwa].simplified();
    if (name.isEmpty())
        name = conflict.server[ContactRecord::Nazwa].simplified();
    return name.isEmpty() ? QStringLiteral("(bez nazwy)") : name;
}

} // namespace

TSyncConflictWindow::TSyncConflictWindow(std::function<TTable *()> contacts, QWidget *parent)
    : KaxForm(QStringLiteral("SyncConflictWindow"), QStringLiteral("Konflikt synchronizacji"),
              QSize(kWidth, kHeight), kHelpContext, parent),
      m_contacts(std::move(contacts))
{
    auto *listCaption = FormStyle::label(this, QStringLiteral("lblKopie"),
                                         QStringLiteral("&Kopie konfliktowe:"), {8, 8});
    lstKopie = new QListWidget(this);
    lstKopie->setObjectName(QStringLiteral("lstKopie"));
    lstKopie->setGeometry(8, 28, kListWidth, kHeight - 28 - 48);
    lstKopie->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listCaption->setBuddy(lstKopie);

    const int right = 8 + kListWidth + 8;
    const int rightWidth = kWidth - right - 8;
    lblKopia = FormStyle::label(this, QStringLiteral("lblKopia"), QString(), {right, 8});
    lblKopia->setFixedSize(rightWidth, 36);
    lblKopia->setWordWrap(true);

    grdPola = new QTableWidget(0, 3, this);
    grdPola->setObjectName(QStringLiteral("grdPola"));
    grdPola->setAccessibleName(QStringLiteral("Różnice"));
    grdPola->setGeometry(right, 48, rightWidth, kHeight - 48 - 48);
    grdPola->setHorizontalHeaderLabels({QStringLiteral("Pole"),
                                        QStringLiteral("Na serwerze (na karcie)"),
                                        QStringLiteral("Moja wersja")});
    grdPola->verticalHeader()->hide();
    grdPola->verticalHeader()->setDefaultSectionSize(24);
    grdPola->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    grdPola->setColumnWidth(0, 110);
    grdPola->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    grdPola->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    grdPola->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdPola->setSelectionMode(QAbstractItemView::NoSelection);
    grdPola->setWordWrap(false);

    const auto button = [this](const char *name, const QString &text, int x, int width) {
        auto *push = new QPushButton(text, this);
        push->setObjectName(QLatin1String(name));
        push->setGeometry(x, kHeight - 38, width, 28);
        return push;
    };
    // Along the bottom of the whole window: the two sides' buttons, then Zamknij.
    btnZachowaj = button("btnZachowaj", QStringLiteral("&Zachowaj wybrane"), 8, 200);
    btnSerwer = button("btnSerwer", QStringLiteral("Zostaw wersję z &serwera"), 214, 200);
    btnMoja = button("btnMoja", QStringLiteral("&Przywróć moją wersję"), 420, 200);
    btnZamknij = button("btnZamknij", QStringLiteral("Za&mknij"), kWidth - 8 - 100, 100);

    connect(lstKopie, &QListWidget::currentRowChanged, this, &TSyncConflictWindow::showCurrent);
    connect(btnZachowaj, &QPushButton::clicked, this, &TSyncConflictWindow::btnZachowajClick);
    connect(btnSerwer, &QPushButton::clicked, this, &TSyncConflictWindow::btnSerwerClick);
    connect(btnMoja, &QPushButton::clicked, this, &TSyncConflictWindow::btnMojaClick);
    connect(btnZamknij, &QPushButton::clicked, this, &QWidget::close);
}

TSyncConflictWindow::~TSyncConflictWindow() = default;

void TSyncConflictWindow::reload()
{
    const qint64 shown = current() ? current()->id : -1;
    m_conflicts.clear();
    if (TTable *table = contacts(); table && table->active()) {
        try {
            SyncConflicts conflicts(table->database(), table->tableName());
            conflicts.ensure();
            m_conflicts = conflicts.all();
        } catch (const KaxError &error) {
            reportError(error.message());
        }
    }
    const QSignalBlocker quiet(lstKopie);
    lstKopie->clear();
    int select = 0;
    for (const SyncConflict &conflict : std::as_const(m_conflicts)) {
        if (conflict.id == shown)
            select = int(lstKopie->count());
        // The name, and under it when the sync kept the copy.
        lstKopie->addItem(QStringLiteral("%1\n%2").arg(
            conflictName(conflict),
            conflict.at.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"))));
    }
    lstKopie->setCurrentRow(m_conflicts.isEmpty() ? -1 : select);
    showCurrent();
}

const SyncConflict *TSyncConflictWindow::current() const
{
    const int row = lstKopie->currentRow();
    return row >= 0 && row < m_conflicts.size() ? &m_conflicts[row] : nullptr;
}

void TSyncConflictWindow::showCurrent()
{
    grdPola->setRowCount(0);
    m_rows.clear();
    qDeleteAll(m_choices);
    m_choices.clear();
    const SyncConflict *conflict = current();
    for (QPushButton *push : {btnZachowaj, btnSerwer, btnMoja})
        push->setEnabled(conflict != nullptr);
    if (!conflict) {
        lblKopia->setText(QStringLiteral("Nie ma konfliktów do rozstrzygnięcia."));
        return;
    }
    TTable *table = contacts();
    const bool gone = !table || !contactExists(*table, conflict->contact);
    if (gone) {
        lblKopia->setText(QStringLiteral("Kontakt „%1” usunięto. Wybrane wartości można "
                                         "przywrócić jako nowy kontakt.")
                              .arg(conflictName(*conflict)));
        btnZachowaj->setText(QStringLiteral("&Zachowaj wybrane jako nowy"));
        btnMoja->setText(QStringLiteral("&Przywróć jako nowy kontakt"));
    } else {
        lblKopia->setText(QStringLiteral("Kontakt „%1” zmieniono w obu miejscach. Wybierz, "
                                         "które wartości zachować.")
                              .arg(conflictName(*conflict)));
        btnZachowaj->setText(QStringLiteral("&Zachowaj wybrane"));
        btnMoja->setText(QStringLiteral("&Przywróć moją wersję"));
    }

    for (int field = 0; field < ContactRecord::kFieldCount; ++field) {
        const QString &server = conflict->server.values[std::size_t(field)];
        const QString &mine = conflict->local.values[std::size_t(field)];
        if (server != mine)
            addRow({field, -1, 0}, ContactRecord::fieldCaption(field), server, mine);
    }
    const QList<ContactDetail> &serverDetails = conflict->server.extras.details;
    const QList<ContactDetail> &localDetails = conflict->local.extras.details;
    for (int kind = 0; kind < ContactDetail::kKindCount; ++kind) {
        const int count = qMax(countOfKind(serverDetails, kind), countOfKind(localDetails, kind));
        for (int n = 0; n < count; ++n) {
            const auto server = nthOfKind(serverDetails, kind, n);
            const auto mine = nthOfKind(localDetails, kind, n);
            if (server != mine)
                // The first of a kind is the field's; further ones count on from 2.
                addRow({-1, kind, n},
                       QStringLiteral("%1 %2")
                           .arg(ContactDetail::kindCaption(ContactDetail::Kind(kind)))
                           .arg(n + 2),
                       server ? server->displayWithKind() : QString(),
                       mine ? mine->displayWithKind() : QString());
        }
    }
}

void TSyncConflictWindow::addRow(const Row &row, const QString &caption, const QString &server,
                                 const QString &mine)
{
    const int at = grdPola->rowCount();
    grdPola->insertRow(at);
    auto *captionItem = new QTableWidgetItem(caption);
    grdPola->setItem(at, 0, captionItem);
    auto *choice = new QButtonGroup(this);
    const QString none = QStringLiteral("(brak)");
    const QStringList texts{server.isEmpty() ? none : server, mine.isEmpty() ? none : mine};
    for (int side = 0; side < 2; ++side) {
        // One line in the grid (notes may have several); the tooltip has all of it.
        auto *radio = new QRadioButton(texts[side].simplified());
        radio->setObjectName(
            QStringLiteral("%1%2")
                .arg(side == 0 ? QStringLiteral("rbSerwer") : QStringLiteral("rbMoja"))
                .arg(at));
        radio->setToolTip(texts[side]);
        radio->setAccessibleName(QStringLiteral("%1: %2").arg(caption, texts[side]));
        choice->addButton(radio, side);
        grdPola->setCellWidget(at, side + 1, radio);
    }
    choice->button(0)->setChecked(true); // the card keeps what it has unless chosen
    m_rows << row;
    m_choices << choice;
}

void TSyncConflictWindow::choose(int row, bool mine)
{
    if (row >= 0 && row < m_choices.size())
        m_choices[row]->button(mine ? 1 : 0)->setChecked(true);
}

bool TSyncConflictWindow::mineChosen(int row) const
{
    return m_choices[row]->checkedId() == 1;
}

ContactRecord TSyncConflictWindow::chosen(const ContactRecord &base,
                                          QList<ContactDetail> details) const
{
    const SyncConflict &conflict = *current();
    ContactRecord record = base;
    // Further values by kind: the n-th of a kind takes the user's n-th where chosen.
    QList<QList<ContactDetail>> byKind(ContactDetail::kKindCount);
    for (const ContactDetail &detail : details)
        byKind[int(detail.kind)] << detail;
    QList<QList<std::optional<ContactDetail>>> perKind(ContactDetail::kKindCount);
    for (int kind = 0; kind < ContactDetail::kKindCount; ++kind)
        for (const ContactDetail &detail : std::as_const(byKind[kind]))
            perKind[kind] << detail;
    for (int i = 0; i < m_rows.size(); ++i) {
        if (!mineChosen(i))
            continue;
        const Row &row = m_rows[i];
        if (row.field >= 0) {
            record.values[std::size_t(row.field)] = conflict.local.values[std::size_t(row.field)];
            continue;
        }
        auto &kindSlots = perKind[row.kind];
        while (kindSlots.size() <= row.ordinal)
            kindSlots << std::nullopt;
        kindSlots[row.ordinal] = nthOfKind(conflict.local.extras.details, row.kind, row.ordinal);
    }
    record.extras.details.clear();
    for (const auto &kindSlots : std::as_const(perKind))
        for (const auto &slot : kindSlots)
            if (slot)
                record.extras.details << *slot;
    return record;
}

bool TSyncConflictWindow::keepChosen()
{
    const SyncConflict *conflict = current();
    TTable *table = contacts();
    if (!conflict || !table || !table->active())
        return false;
    try {
        if (contactExists(*table, conflict->contact) && table->locate(conflict->contact)) {
            const ContactRecord record = chosen(ContactRecord::fromTable(*table), table->details());
            table->edit();
            record.setInto(*table);
            table->setDetails(record.extras.details);
        } else {
            // The contact is gone: what was chosen comes back as a new one.
            ContactRecord base = conflict->server;
            for (int field = 0; field < ContactRecord::kFieldCount; ++field)
                if (base.values[std::size_t(field)].isEmpty())
                    base.values[std::size_t(field)] = conflict->local.values[std::size_t(field)];
            const ContactRecord record = chosen(base, conflict->server.extras.details);
            table->insert();
            record.setInto(*table);
            table->setDetails(record.extras.details);
        }
        table->post();
    } catch (const KaxError &error) {
        // The copy stays, and so does everything the card had.
        if (table->editing())
            table->cancel();
        reportError(error.message());
        return false;
    }
    resolveCurrent();
    return true;
}

void TSyncConflictWindow::resolveCurrent()
{
    const SyncConflict *conflict = current();
    TTable *table = contacts();
    if (!conflict || !table)
        return;
    try {
        SyncConflicts(table->database(), table->tableName()).resolve(conflict->id);
    } catch (const KaxError &error) {
        reportError(error.message());
        return;
    }
    reload();
    emit resolved();
}

void TSyncConflictWindow::btnZachowajClick()
{
    keepChosen();
}

void TSyncConflictWindow::btnSerwerClick()
{
    resolveCurrent();
}

void TSyncConflictWindow::btnMojaClick()
{
    for (int row = 0; row < m_choices.size(); ++row)
        choose(row, true);
    keepChosen();
}

void TSyncConflictWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close(); // hides it; every copy stays
        return;
    }
    KaxForm::keyPressEvent(event);
}
