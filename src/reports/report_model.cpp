#include "reports/report_model.h"

#include "platform/errors.h"
#include "platform/widgets/dialogs.h"
#include "store/table.h"

TableDataSet::TableDataSet(TTable *table) : m_resolve([table] { return table; }) {}

TableDataSet::TableDataSet(std::function<TTable *()> resolve) : m_resolve(std::move(resolve)) {}

TTable *TableDataSet::table() const
{
    TTable *table = m_resolve ? m_resolve() : nullptr;
    if (!table)
        throw DatabaseError(QStringLiteral("The report's table is not available"));
    return table;
}

TableDataSet::~TableDataSet() = default;

TTable *TableDataSet::cursor() const
{
    return m_run ? m_run.get() : table();
}

void TableDataSet::first()
{
    cursor()->first();
}

void TableDataSet::next()
{
    cursor()->next();
}

bool TableDataSet::eof() const
{
    return cursor()->eof();
}

bool TableDataSet::isEmpty() const
{
    return cursor()->isEmpty();
}

qint64 TableDataSet::recordCount() const
{
    try {
        return cursor()->recordCount();
    } catch (const KaxError &) {
        return -1; // the report then counts one record, as when it has no table
    }
}

void TableDataSet::beginRun()
{
    TTable *shared = table();
    // An edit open now is part of what is printed.
    shared->checkBrowseMode();
    m_run = shared->openCursor();
}

void TableDataSet::endRun()
{
    if (!m_run)
        return;
    const qint64 last = m_run->isEmpty() ? -1 : m_run->recordId();
    m_run.reset();
    TTable *shared = m_resolve ? m_resolve() : nullptr;
    if (!shared || last < 0)
        return;
    try {
        shared->locate(last);
    } catch (const KaxError &error) {
        // Placing the cursor ends an edit open in a window; when that edit cannot be
        // posted, the cursor stays with it and the user is told why.
        showMessage(DialogKind::Error, QStringLiteral("Kartax2000®"), error.message());
    }
}

QString TableDataSet::fieldText(const QString &field) const
{
    return cursor()->fieldText(field);
}

ReportItem &ReportItem::setName(const QString &value)
{
    name = value;
    return *this;
}

ReportItem &ReportItem::setFont(const ReportFont &value)
{
    font = value;
    return *this;
}

ReportItem &ReportItem::setFontSize(double points)
{
    ReportFont f = font.value_or(ReportFont());
    f.pointSize = points;
    font = f;
    return *this;
}

ReportItem &ReportItem::setBold(bool value)
{
    ReportFont f = font.value_or(ReportFont());
    f.bold = value;
    font = f;
    return *this;
}

ReportItem &ReportItem::setItalic(bool value)
{
    ReportFont f = font.value_or(ReportFont());
    f.italic = value;
    font = f;
    return *this;
}

ReportItem &ReportItem::setFixedWidth(double millimetres)
{
    autoSize = false;
    width = millimetres;
    return *this;
}

ReportItem &ReportItem::setHeight(double millimetres)
{
    height = millimetres;
    return *this;
}

ReportItem &ReportItem::setAlignment(Qt::Alignment value)
{
    alignment = value;
    return *this;
}

ReportItem &ReportItem::setTransparent(bool value)
{
    transparent = value;
    return *this;
}

ReportItem &ReportItem::setFrame(const FrameLines &value)
{
    frame = value;
    return *this;
}

ReportItem &ReportItem::setStretch(bool value)
{
    autoStretch = value;
    return *this;
}

ReportItem &ReportBand::add(std::unique_ptr<ReportItem> item)
{
    m_items.push_back(std::move(item));
    return *m_items.back();
}

ReportItem &ReportBand::addLabel(double left, double top, const QString &caption)
{
    auto item = std::make_unique<ReportItem>(ItemKind::Label);
    item->left = left;
    item->top = top;
    item->caption = caption;
    return add(std::move(item));
}

ReportItem &ReportBand::addDataText(double left, double top, ReportDataSet *dataSet,
                                    const QString &field)
{
    auto item = std::make_unique<ReportItem>(ItemKind::DataText);
    item->left = left;
    item->top = top;
    item->dataSet = dataSet;
    item->fieldName = field;
    return add(std::move(item));
}

ReportItem &ReportBand::addSystemData(double left, double top, SystemDataKind kind)
{
    auto item = std::make_unique<ReportItem>(ItemKind::SystemData);
    item->left = left;
    item->top = top;
    item->systemData = kind;
    return add(std::move(item));
}

ReportItem &ReportBand::addMemo(double left, double top, double width, double height,
                                const QString &name)
{
    auto item = std::make_unique<ReportItem>(ItemKind::Memo);
    item->name = name;
    item->left = left;
    item->top = top;
    item->width = width;
    item->height = height;
    item->autoStretch = true;
    return add(std::move(item));
}

ReportItem &ReportBand::addShape(double left, double top, double width, double height)
{
    auto item = std::make_unique<ReportItem>(ItemKind::Shape);
    item->left = left;
    item->top = top;
    item->width = width;
    item->height = height;
    item->autoSize = false;
    return add(std::move(item));
}

double PageSetup::pageWidth() const
{
    return orientation == QPageLayout::Portrait ? paperWidth : paperHeight;
}

double PageSetup::pageHeight() const
{
    return orientation == QPageLayout::Portrait ? paperHeight : paperWidth;
}

bool PrinterSettings::includes(int page) const
{
    if (allPages())
        return true;
    if (firstPage > 0 && page < firstPage)
        return false;
    return lastPage <= 0 || page <= lastPage;
}

Report::Report() = default;
Report::~Report() = default;

ReportBand &Report::addBand(BandType type, double height)
{
    auto &slot = m_bands[static_cast<int>(type)];
    slot = std::make_unique<ReportBand>(type, height);
    return *slot;
}

ReportBand *Report::band(BandType type) const
{
    return m_bands[static_cast<int>(type)].get();
}

ReportItem *Report::item(const QString &name) const
{
    if (name.isEmpty())
        return nullptr;
    for (const auto &band : m_bands) {
        if (!band)
            continue;
        for (const auto &item : band->items()) {
            if (item->name.compare(name, Qt::CaseInsensitive) == 0)
                return item.get();
        }
    }
    return nullptr;
}
