#include "entry/details_list.h"

#include "forms/form_style.h"

#include <QHeaderView>
#include <QKeyEvent>

DetailsList::DetailsList(const QString &name, QWidget *parent) : QTableWidget(0, 4, parent)
{
    setObjectName(name);
    setAccessibleName(QStringLiteral("Dalsze dane kontaktu"));
    setHorizontalHeaderLabels({QStringLiteral("Rodzaj"), QStringLiteral("Typ"),
                               QStringLiteral("Opis"), QStringLiteral("Wartość")});
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(ValueColumn, QHeaderView::Stretch);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(22);
    setColumnWidth(KindColumn, 90);
    setColumnWidth(TypeColumn, 84);
    setColumnWidth(LabelColumn, 100);
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setMouseTracking(true);
    connect(this, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (column == ValueColumn)
            choose(row);
    });
}

bool DetailsList::leadsSomewhere(const ContactDetail &detail)
{
    return !detail.value.trimmed().isEmpty() &&
           (detail.kind == ContactDetail::Phone || detail.kind == ContactDetail::Email ||
            detail.kind == ContactDetail::Web);
}

void DetailsList::setDetails(const QList<ContactDetail> &details)
{
    m_details = details;
    setRowCount(int(details.size()));
    for (int row = 0; row < rowCount(); ++row)
        showRow(row);
    if (rowCount() > 0)
        setCurrentCell(0, 0);
}

void DetailsList::setDetail(int row, const ContactDetail &detail)
{
    if (row < 0 || row >= m_details.size())
        return;
    m_details[row] = detail;
    showRow(row);
}

void DetailsList::setChoosing(bool choosing)
{
    m_choosing = choosing;
    for (int row = 0; row < rowCount(); ++row)
        showRow(row);
}

void DetailsList::showRow(int row)
{
    const ContactDetail &detail = m_details[row];
    const QString texts[] = {ContactDetail::kindCaption(detail.kind), detail.type, detail.label,
                             detail.displayValue()};
    for (int column = 0; column < 4; ++column) {
        auto *cell = new QTableWidgetItem(texts[column]);
        cell->setToolTip(texts[column]);
        setItem(row, column, cell);
    }
    QTableWidgetItem *value = item(row, ValueColumn);
    if (m_choosing && leadsSomewhere(detail)) {
        // Looks as the card's links do: a telephone maroon, an address blue, underlined.
        QFont link = font();
        link.setUnderline(true);
        value->setFont(link);
        value->setForeground(detail.kind == ContactDetail::Phone ? FormStyle::kMaroon
                                                                 : FormStyle::kBlue);
    }
}

void DetailsList::choose(int row)
{
    if (m_choosing && row >= 0 && row < m_details.size() && leadsSomewhere(m_details[row]))
        emit chosen(m_details[row]);
}

void DetailsList::keyPressEvent(QKeyEvent *event)
{
    if (m_choosing && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        choose(currentRow());
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void DetailsList::mouseMoveEvent(QMouseEvent *event)
{
    // A hand over a value that leads somewhere, as over the card's links.
    const QModelIndex at = indexAt(event->position().toPoint());
    const bool link = m_choosing && at.isValid() && at.column() == ValueColumn &&
                      leadsSomewhere(m_details[at.row()]);
    if (link)
        viewport()->setCursor(Qt::PointingHandCursor);
    else
        viewport()->unsetCursor();
    QTableWidget::mouseMoveEvent(event);
}
