#pragma once

#include <QColor>
#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TTable;

// The records a report runs over, and the values its data texts print.
class ReportDataSet
{
public:
    virtual ~ReportDataSet() = default;
    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool eof() const = 0;
    virtual bool isEmpty() const = 0;
    // The number of records as the table reports it; -1 when it cannot be told.
    virtual qint64 recordCount() const = 0;
    // The displayed text of a field in the current record.
    virtual QString fieldText(const QString &field) const = 0;
    // Bracket a run over every record; the windows bound to the data need not
    // follow each record meanwhile.
    virtual void beginRun() {}
    virtual void endRun() {}
};

// A contact table seen as report data. A run over every record reads its own cursor
// over the table, in the order of the shared cursor's index, so that the windows stay
// usable meanwhile and nothing done in them changes what the run reads or where an
// edit goes; at the end the shared cursor is placed on the last record printed. Out
// of a run, data texts read the shared cursor's current record. The table may be
// named before it exists and is resolved at each use.
class TableDataSet final : public ReportDataSet
{
public:
    explicit TableDataSet(TTable *table);
    explicit TableDataSet(std::function<TTable *()> resolve);
    ~TableDataSet() override;

    void first() override;
    void next() override;
    bool eof() const override;
    bool isEmpty() const override;
    qint64 recordCount() const override;
    QString fieldText(const QString &field) const override;
    void beginRun() override;
    void endRun() override;

private:
    TTable *table() const;  // the shared cursor
    TTable *cursor() const; // the run's cursor during a run, else the shared one
    std::function<TTable *()> m_resolve;
    std::unique_ptr<TTable> m_run;
};

enum class BandType { btPageHeader, btDetail, btPageFooter };
enum class ItemKind { Label, DataText, SystemData, Memo, Shape };
enum class SystemDataKind { sdDateTime, sdPageNumber, sdDetailNo, sdDetailCount };

// A font as reports describe it: family, size in points, style and colour.
struct ReportFont
{
    QString family = QStringLiteral("Arial");
    double pointSize = 10.0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    QColor color = Qt::black;

    bool operator==(const ReportFont &) const = default;
};

// The lines drawn along an item's edges; width in millimetres.
struct FrameLines
{
    bool left = false;
    bool top = false;
    bool right = false;
    bool bottom = false;
    QColor color = Qt::black;
    double width = 0.26;

    bool any() const { return left || top || right || bottom; }
    bool operator==(const FrameLines &) const = default;
};

// One item of a band. Positions and sizes are millimetres from the band's top-left corner.
class ReportItem final
{
public:
    explicit ReportItem(ItemKind kind) : kind(kind) {}

    ItemKind kind;
    QString name;
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double height = 4.5;
    std::optional<ReportFont> font; // unset: the report's font
    Qt::Alignment alignment = Qt::AlignLeft;
    QColor background = Qt::white;
    bool transparent = false;
    FrameLines frame;
    // Labels, data texts, system data and memos: the width follows the text. Without
    // it the item keeps its width and one line; what does not fit is cut off.
    bool autoSize = true;
    // Memo: grows its band downwards to hold every wrapped line.
    bool autoStretch = false;
    bool wordWrap = true;

    QString caption;                  // label
    ReportDataSet *dataSet = nullptr; // data text (not owned)
    QString fieldName;                // data text
    SystemDataKind systemData = SystemDataKind::sdDateTime;
    QStringList lines; // memo

    // Shape: outline and fill.
    QColor penColor = Qt::black;
    double penWidth = 0.26; // millimetres; 0 draws no outline
    QColor brushColor = Qt::white;
    bool brushClear = false;

    // Fluent setters for declarative definitions.
    ReportItem &setName(const QString &value);
    ReportItem &setFont(const ReportFont &value);
    ReportItem &setFontSize(double points);
    ReportItem &setBold(bool value = true);
    ReportItem &setItalic(bool value = true);
    // Keeps a fixed width (no auto-size) and the item's height.
    ReportItem &setFixedWidth(double millimetres);
    ReportItem &setHeight(double millimetres);
    ReportItem &setAlignment(Qt::Alignment value);
    ReportItem &setTransparent(bool value = true);
    ReportItem &setFrame(const FrameLines &value);
    ReportItem &setStretch(bool value = true);
};

// A band of one kind with its items; the height is in millimetres.
class ReportBand final
{
public:
    ReportBand(BandType type, double height) : type(type), height(height) {}
    Q_DISABLE_COPY_MOVE(ReportBand)

    BandType type;
    double height;

    ReportItem &addLabel(double left, double top, const QString &caption);
    ReportItem &addDataText(double left, double top, ReportDataSet *dataSet, const QString &field);
    ReportItem &addSystemData(double left, double top, SystemDataKind kind);
    ReportItem &addMemo(double left, double top, double width, double height,
                        const QString &name = QString());
    ReportItem &addShape(double left, double top, double width, double height);

    const std::vector<std::unique_ptr<ReportItem>> &items() const { return m_items; }

private:
    ReportItem &add(std::unique_ptr<ReportItem> item);
    std::vector<std::unique_ptr<ReportItem>> m_items;
};

// Paper, orientation, margins and columns, in millimetres; the report font and title.
struct PageSetup
{
    double paperWidth = 210.0; // portrait measures
    double paperHeight = 297.0;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    double topMargin = 10.0;
    double bottomMargin = 10.0;
    double leftMargin = 10.0;
    double rightMargin = 10.0;
    int columns = 1;
    double columnSpace = 0.0;

    // The page as laid out, with the orientation applied.
    double pageWidth() const;
    double pageHeight() const;
};

struct ReportOptions
{
    bool firstPageHeader = true; // the page header on page 1 too
    bool lastPageFooter = true;  // the page footer on the last page too
    bool printIfEmpty = true;    // the detail band once when the table has no records
};

// Printer choices kept by a report between runs.
struct PrinterSettings
{
    QString printerName; // empty: the system's default printer
    int copies = 1;
    bool duplex = false;
    int firstPage = 0; // 0 and 0: all pages
    int lastPage = 0;
    int paperBin = 0;   // 0: chosen automatically
    QString outputFile; // not empty: printed into this PDF file instead of a printer

    bool allPages() const { return firstPage <= 0 && lastPage <= 0; }
    bool includes(int page) const;
};

// A banded report definition: page setup, options, printer choices, the table it
// runs over (or none), and its bands. Runs are made by the engine.
class Report final
{
public:
    Report();
    ~Report();
    Q_DISABLE_COPY_MOVE(Report)

    QString name = QStringLiteral("Report1");
    QString title; // the print job's name and the preview's caption
    PageSetup page;
    ReportFont font;
    ReportOptions options;
    PrinterSettings printer;

    // The table the detail band runs over; nullptr prints the detail band once.
    void setDataSet(ReportDataSet *dataSet) { m_dataSet = dataSet; }
    ReportDataSet *dataSet() const { return m_dataSet; }

    // Adds a band; a second band of a kind replaces the first.
    ReportBand &addBand(BandType type, double height);
    ReportBand *band(BandType type) const;
    // The item with that name in any band, or nullptr.
    ReportItem *item(const QString &name) const;

    // True while a run builds this report's pages.
    bool building() const { return m_building; }

private:
    friend class BuildingGuard;
    ReportDataSet *m_dataSet = nullptr;
    std::unique_ptr<ReportBand> m_bands[3];
    bool m_building = false;
};

// Marks a report as building for the lifetime of a run.
class BuildingGuard final
{
public:
    explicit BuildingGuard(Report &report) : m_report(report) { m_report.m_building = true; }
    ~BuildingGuard() { m_report.m_building = false; }
    Q_DISABLE_COPY_MOVE(BuildingGuard)

private:
    Report &m_report;
};
