#include "reports/report_engine.h"

#include <QScopeGuard>

#include "dbcontrols/visible_text.h"
#include "platform/clock.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QLocale>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace {

// Layout measures are taken at 254 dots per inch: ten dots to the millimetre.
constexpr int kMeasureDpi = 254;
constexpr double kDotsPerMm = kMeasureDpi / 25.4;
// Tolerance of the page arithmetic, well below anything a printer can show.
constexpr double kEpsilon = 1e-6;
constexpr int kMaxCachedWidths = 20000;

quint8 fontFlags(const ReportFont &font)
{
    quint8 flags = 0;
    if (font.bold)
        flags |= ItemStyle::Bold;
    if (font.italic)
        flags |= ItemStyle::Italic;
    if (font.underline)
        flags |= ItemStyle::Underline;
    if (font.strikeOut)
        flags |= ItemStyle::StrikeOut;
    return flags;
}

quint8 frameSides(const FrameLines &frame)
{
    quint8 sides = 0;
    if (frame.left)
        sides |= ItemStyle::Left;
    if (frame.top)
        sides |= ItemStyle::Top;
    if (frame.right)
        sides |= ItemStyle::Right;
    if (frame.bottom)
        sides |= ItemStyle::Bottom;
    return sides;
}

// Fonts measured on a bitmap device of a fixed resolution.
class TextMeasurer final
{
public:
    struct Font
    {
        ReportFont description;
        QFont font;
        std::unique_ptr<QFontMetricsF> metrics;
        double ascent = 0;
        double descent = 0;
        // Widths of texts already measured; values repeat a lot from record to record.
        QHash<QString, double> widths;
        double lineHeight = 0;
    };

    TextMeasurer() : m_device(1, 1, QImage::Format_ARGB32)
    {
        m_device.setDotsPerMeterX(kMeasureDpi * 10000 / 254);
        m_device.setDotsPerMeterY(kMeasureDpi * 10000 / 254);
    }

    Font &font(const ReportFont &description)
    {
        for (const auto &known : m_fonts) {
            if (known->description == description)
                return *known;
        }
        auto entry = std::make_unique<Font>();
        entry->description = description;
        ItemStyle style;
        style.family = description.family;
        style.fontFlags = fontFlags(description);
        entry->font = style.font(description.pointSize);
        entry->metrics = std::make_unique<QFontMetricsF>(entry->font, &m_device);
        entry->ascent = entry->metrics->ascent() / kDotsPerMm;
        entry->descent = entry->metrics->descent() / kDotsPerMm;
        entry->lineHeight = entry->metrics->lineSpacing() / kDotsPerMm;
        m_fonts.push_back(std::move(entry));
        return *m_fonts.back();
    }

    static double width(Font &font, const QString &text)
    {
        if (text.isEmpty())
            return 0.0;
        const auto known = font.widths.constFind(text);
        if (known != font.widths.constEnd())
            return known.value();
        if (font.widths.size() >= kMaxCachedWidths)
            font.widths.clear();
        const double width = font.metrics->horizontalAdvance(text) / kDotsPerMm;
        if (text.size() < VisibleText::kLongText) // long texts seldom repeat: never pin them
            font.widths.insert(text, width);
        return width;
    }

    // The lines of a text wrapped at word boundaries (or anywhere inside a word too
    // long for a line) to a width in millimetres.
    QStringList wrap(Font &font, const QString &text, double width)
    {
        if (text.trimmed().isEmpty())
            return {QString()};
        QTextLayout layout(text, font.font, &m_device);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        QStringList lines;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(1.0, width * kDotsPerMm));
            QString piece = text.mid(line.textStart(), line.textLength());
            while (!piece.isEmpty() && piece.back().isSpace())
                piece.chop(1);
            lines << piece;
        }
        layout.endLayout();
        return lines;
    }

private:
    QImage m_device;
    std::vector<std::unique_ptr<Font>> m_fonts;
};

TextMeasurer &measurer()
{
    static TextMeasurer instance;
    return instance;
}

// The long time format without its time-zone part, as the system shows a time of day.
QString timeOfDayFormat(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace

// The state of one run: the page being filled and the running values.
class ReportEngine::Layout final
{
public:
    // A report item with what the run computes once for it.
    struct Item
    {
        const ReportItem *item = nullptr;
        TextMeasurer::Font *font = nullptr;
        quint16 style = 0;      // the item's own look: fill, frame, text
        quint16 lineStyle = 0;  // memo lines: the text alone
        double fixedWidth = -1; // labels: the caption's width
    };
    struct Band
    {
        const ReportBand *band = nullptr;
        std::vector<Item> items; // shapes first, so texts inside them stay on top
        bool stretches = false;
    };
    struct MemoRun
    {
        const Item *item = nullptr;
        QStringList lines;
        double boxWidth = 0;
        int next = 0;
    };

    Layout(ReportEngine &engine, Report &report, PageSink &sink)
        : m_engine(engine), m_report(report), m_sink(sink)
    {
        m_pageWidth = report.page.pageWidth();
        m_pageHeight = report.page.pageHeight();
        m_bandWidth = m_pageWidth - report.page.leftMargin - report.page.rightMargin;
        prepare(BandType::btPageHeader, m_header);
        prepare(BandType::btDetail, m_detail);
        prepare(BandType::btPageFooter, m_footer);
    }

    Outcome run();
    int pageCount() const { return m_pageNumber; }

private:
    void prepare(BandType type, Band &out);
    QString textOf(const ReportItem &item) const;
    double footerHeight() const { return m_footer.band ? m_footer.band->height : 0.0; }
    double footerTop() const { return m_pageHeight - m_report.page.bottomMargin - footerHeight(); }
    void openPage();
    void finishPage(bool last);
    void newPage();
    void printDetail();
    void printSplit(const Band &band, std::vector<MemoRun> &memos);
    std::vector<MemoRun> wrapMemos(const Band &band) const;
    double stretchedHeight(const Band &band, const std::vector<MemoRun> &memos) const;
    // Places the band's items with the band's top at y; memo lines from the runs.
    void emitBand(const Band &band, double top, std::vector<MemoRun> *memos);
    void emitText(const Item &entry, double x, double y, const QString &text);
    void emitMemo(const Item &entry, MemoRun &memo, double x, double y, double minHeight,
                  int maxLines);
    void reportProgress();
    void maybeYield();

    ReportEngine &m_engine;
    Report &m_report;
    PageSink &m_sink;
    Band m_header;
    Band m_detail;
    Band m_footer;
    double m_pageWidth = 0;
    double m_pageHeight = 0;
    double m_bandWidth = 0;

    PreparedPage m_page;
    bool m_pageOpen = false;
    int m_detailsOnPage = 0;
    double m_y = 0;
    int m_pageNumber = 0;
    qint64 m_detailNo = 0;
    qint64 m_detailCount = 1;
    bool m_emptyTable = false;
    int m_progress = 0;
    bool m_yieldAfterPage = false;
    QElapsedTimer m_sinceYield;
};

void ReportEngine::Layout::prepare(BandType type, Band &out)
{
    out.band = m_report.band(type);
    if (!out.band)
        return;
    StyleTable &styles = m_sink.styles();
    std::vector<Item> shapes;
    std::vector<Item> others;
    for (const auto &owned : out.band->items()) {
        const ReportItem &item = *owned;
        Item entry;
        entry.item = &item;
        const ReportFont fontDescription = item.font.value_or(m_report.font);
        entry.font = &measurer().font(fontDescription);
        ItemStyle style;
        style.family = fontDescription.family;
        style.pointSize = float(fontDescription.pointSize);
        style.fontFlags = fontFlags(fontDescription);
        style.textColor = fontDescription.color.rgba();
        style.ascent = float(entry.font->ascent);
        style.descent = float(entry.font->descent);
        if (item.kind == ItemKind::Shape) {
            style.filled = !item.brushClear;
            style.fillColor = item.brushColor.rgba();
            style.frameSides = item.penWidth > 0 ? ItemStyle::AllSides : 0;
            style.frameColor = item.penColor.rgba();
            style.frameWidth = float(item.penWidth);
        } else {
            style.filled = !item.transparent;
            style.fillColor = item.background.rgba();
            style.frameSides = frameSides(item.frame);
            style.frameColor = item.frame.color.rgba();
            style.frameWidth = float(item.frame.width);
        }
        entry.style = styles.intern(style);
        if (item.kind == ItemKind::Memo) {
            ItemStyle lineStyle = style;
            lineStyle.filled = false;
            lineStyle.frameSides = 0;
            lineStyle.fillColor = 0xffffffff;
            lineStyle.frameColor = 0xff000000;
            lineStyle.frameWidth = 0;
            entry.lineStyle = styles.intern(lineStyle);
            out.stretches = out.stretches || item.autoStretch;
        }
        if (item.kind == ItemKind::Label)
            entry.fixedWidth = TextMeasurer::width(*entry.font, item.caption);
        (item.kind == ItemKind::Shape ? shapes : others).push_back(entry);
    }
    out.items = std::move(shapes);
    out.items.insert(out.items.end(), others.begin(), others.end());
}

QString ReportEngine::Layout::textOf(const ReportItem &item) const
{
    switch (item.kind) {
    case ItemKind::Label:
        return item.caption;
    case ItemKind::DataText:
        if (!item.dataSet || (m_emptyTable && item.dataSet == m_report.dataSet()))
            return {};
        return item.dataSet->fieldText(item.fieldName);
    case ItemKind::SystemData:
        switch (item.systemData) {
        case SystemDataKind::sdDateTime:
            return ReportEngine::dateTimeText(Clock::now());
        case SystemDataKind::sdPageNumber:
            return QString::number(m_pageNumber);
        case SystemDataKind::sdDetailNo:
            // An empty table's one detail band stands for no record: no number.
            return m_emptyTable ? QString() : QString::number(m_detailNo);
        case SystemDataKind::sdDetailCount:
            return QString::number(m_detailCount);
        }
        break;
    case ItemKind::Memo:
    case ItemKind::Shape:
        break;
    }
    return {};
}

void ReportEngine::Layout::emitText(const Item &entry, double x, double y, const QString &text)
{
    const ReportItem &item = *entry.item;
    if (item.autoSize && text.isEmpty())
        return; // nothing to show
    const Qt::Alignment horizontal = item.alignment & Qt::AlignHorizontal_Mask;
    PageItem out;
    out.text = text;
    if (!item.autoSize && !(horizontal & (Qt::AlignRight | Qt::AlignHCenter))) {
        // Cut off at its box: a long text is measured, spooled and drawn only as far
        // as the box shows it (a megabyte would take seconds at every step).
        out.text.truncate(
            VisibleText::oneLineStart(text, *entry.font->metrics, item.width * kDotsPerMm));
    }
    const double textWidth =
        entry.fixedWidth >= 0 ? entry.fixedWidth : TextMeasurer::width(*entry.font, out.text);
    out.kind = PageItem::Kind::Text;
    out.style = entry.style;
    out.y = float(y + item.top);
    out.height = float(item.height);
    if (item.autoSize) {
        // The item grows away from the edge its alignment holds.
        double left = item.left;
        if (horizontal & Qt::AlignRight)
            left = item.left + item.width - textWidth;
        else if (horizontal & Qt::AlignHCenter)
            left = item.left + (item.width - textWidth) / 2;
        out.x = float(x + left);
        out.width = float(textWidth);
    } else {
        out.x = float(x + item.left);
        out.width = float(item.width);
        if (horizontal & Qt::AlignRight)
            out.textX = float(item.width - textWidth);
        else if (horizontal & Qt::AlignHCenter)
            out.textX = float((item.width - textWidth) / 2);
        if (textWidth > item.width + kEpsilon || out.textX < 0)
            out.flags |= PageItem::Clip;
    }
    m_page.items.push_back(std::move(out));
}

std::vector<ReportEngine::Layout::MemoRun> ReportEngine::Layout::wrapMemos(const Band &band) const
{
    std::vector<MemoRun> memos;
    for (const Item &entry : band.items) {
        const ReportItem &item = *entry.item;
        if (item.kind != ItemKind::Memo)
            continue;
        MemoRun memo;
        memo.item = &entry;
        const double room =
            item.autoSize ? std::max(item.width, m_bandWidth - item.left) : item.width;
        double widest = 0;
        for (const QString &line : item.lines) {
            const QStringList pieces =
                item.wordWrap ? measurer().wrap(*entry.font, line, room) : QStringList{line};
            for (const QString &piece : pieces) {
                widest = std::max(widest, TextMeasurer::width(*entry.font, piece));
                memo.lines << piece;
            }
        }
        memo.boxWidth = item.autoSize ? std::max(item.width, std::min(widest, room)) : item.width;
        memos.push_back(std::move(memo));
    }
    return memos;
}

double ReportEngine::Layout::stretchedHeight(const Band &band,
                                             const std::vector<MemoRun> &memos) const
{
    double height = band.band->height;
    for (const MemoRun &memo : memos) {
        const ReportItem &item = *memo.item->item;
        if (!item.autoStretch)
            continue;
        const double needed = memo.lines.size() * memo.item->font->lineHeight;
        height = std::max(height, band.band->height + needed - item.height);
    }
    return height;
}

void ReportEngine::Layout::emitMemo(const Item &entry, MemoRun &memo, double x, double y,
                                    double minHeight, int maxLines)
{
    const ReportItem &item = *entry.item;
    const double pitch = entry.font->lineHeight;
    const int count = std::clamp(maxLines, 0, int(memo.lines.size()) - memo.next);
    const double height = std::max(minHeight, count * pitch);
    if (!item.transparent || item.frame.any()) {
        PageItem box;
        box.kind = PageItem::Kind::Box;
        box.style = entry.style;
        box.x = float(x);
        box.y = float(y);
        box.width = float(memo.boxWidth);
        box.height = float(height);
        m_page.items.push_back(box);
    }
    const Qt::Alignment horizontal = item.alignment & Qt::AlignHorizontal_Mask;
    for (int i = 0; i < count; ++i) {
        const QString &text = memo.lines[memo.next + i];
        if (text.isEmpty())
            continue;
        PageItem line;
        line.kind = PageItem::Kind::Text;
        line.style = entry.lineStyle;
        line.x = float(x);
        line.y = float(y + i * pitch);
        line.width = float(memo.boxWidth);
        line.height = float(pitch);
        line.text = text;
        const double width = TextMeasurer::width(*entry.font, text);
        if (horizontal & Qt::AlignRight)
            line.textX = float(memo.boxWidth - width);
        else if (horizontal & Qt::AlignHCenter)
            line.textX = float((memo.boxWidth - width) / 2);
        if (width > memo.boxWidth + kEpsilon || line.textX < 0)
            line.flags |= PageItem::Clip;
        m_page.items.push_back(std::move(line));
    }
    memo.next += count;
}

void ReportEngine::Layout::emitBand(const Band &band, double top, std::vector<MemoRun> *memos)
{
    const double x = m_report.page.leftMargin;
    for (const Item &entry : band.items) {
        const ReportItem &item = *entry.item;
        switch (item.kind) {
        case ItemKind::Shape: {
            PageItem box;
            box.kind = PageItem::Kind::Box;
            box.style = entry.style;
            box.x = float(x + item.left);
            box.y = float(top + item.top);
            box.width = float(item.width);
            box.height = float(item.height);
            m_page.items.push_back(box);
            break;
        }
        case ItemKind::Memo: {
            if (!memos)
                break;
            for (MemoRun &memo : *memos) {
                if (memo.item != &entry)
                    continue;
                const int fit =
                    item.autoStretch
                        ? int(memo.lines.size())
                        : int(std::floor(item.height / entry.font->lineHeight + kEpsilon));
                emitMemo(entry, memo, x + item.left, top + item.top, item.height, fit);
            }
            break;
        }
        default:
            emitText(entry, x, top, textOf(item));
            break;
        }
    }
}

void ReportEngine::Layout::openPage()
{
    ++m_pageNumber;
    m_page = PreparedPage();
    m_page.width = float(m_pageWidth);
    m_page.height = float(m_pageHeight);
    m_pageOpen = true;
    m_detailsOnPage = 0;
    m_y = m_report.page.topMargin;
    if (m_header.band && (m_pageNumber > 1 || m_report.options.firstPageHeader)) {
        std::vector<MemoRun> memos = wrapMemos(m_header);
        emitBand(m_header, m_y, &memos);
        m_y += m_header.band->height;
    }
}

void ReportEngine::Layout::finishPage(bool last)
{
    if (m_footer.band && (!last || m_report.options.lastPageFooter)) {
        std::vector<MemoRun> memos = wrapMemos(m_footer);
        emitBand(m_footer, footerTop(), &memos);
    }
    m_pageOpen = false;
    m_sink.addPage(m_page);
    m_page = PreparedPage();
    if (m_pageNumber == 1)
        m_yieldAfterPage = true;
}

void ReportEngine::Layout::newPage()
{
    if (m_pageOpen)
        finishPage(false);
    openPage();
}

void ReportEngine::Layout::printSplit(const Band &band, std::vector<MemoRun> &memos)
{
    double fragmentTop = m_y;
    bool first = true;
    for (;;) {
        const double limit = footerTop();
        double end = fragmentTop + (first ? band.band->height : 0.0);
        bool done = true;
        if (first) {
            // The band's fixed items go on its first page; the memos flow on.
            emitBand(band, fragmentTop, nullptr);
        }
        for (MemoRun &memo : memos) {
            const ReportItem &item = *memo.item->item;
            if (memo.next >= memo.lines.size() && !first)
                continue;
            const double pitch = memo.item->font->lineHeight;
            const double start = fragmentTop + (first ? item.top : 0.0);
            int fit = item.autoStretch ? int(std::floor((limit - start) / pitch + kEpsilon))
                                       : int(std::floor(item.height / pitch + kEpsilon));
            if (!first && fit < 1)
                fit = 1; // a line taller than a whole page still moves on
            fit = std::max(fit, 0);
            const int before = memo.next;
            emitMemo(*memo.item, memo, m_report.page.leftMargin + item.left, start,
                     first ? std::min(item.height, std::max(0.0, limit - start)) : 0.0, fit);
            const int placed = memo.next - before;
            const bool finished = memo.next >= memo.lines.size() || !item.autoStretch;
            double memoEnd = start + placed * pitch;
            if (finished) {
                const double below = band.band->height - (item.top + item.height);
                memoEnd =
                    std::max(memoEnd, start + (first ? item.height : 0.0)) + std::max(0.0, below);
            } else {
                done = false;
            }
            end = std::max(end, memoEnd);
            if (!item.autoStretch)
                memo.next = int(memo.lines.size());
        }
        if (done) {
            m_y = end;
            return;
        }
        newPage();
        fragmentTop = m_y;
        first = false;
    }
}

void ReportEngine::Layout::printDetail()
{
    if (!m_detail.band)
        return;
    if (!m_pageOpen)
        openPage();
    std::vector<MemoRun> memos = wrapMemos(m_detail);
    const double height =
        m_detail.stretches ? stretchedHeight(m_detail, memos) : m_detail.band->height;
    const PageSetup &setup = m_report.page;
    const double space = footerTop() - m_y;
    if (height <= space + kEpsilon) {
        emitBand(m_detail, m_y, &memos);
        m_y += height;
        ++m_detailsOnPage;
        return;
    }
    const double headerHeight = m_header.band ? m_header.band->height : 0.0;
    const double freshSpace = footerTop() - setup.topMargin - headerHeight;
    if (m_detail.stretches && height > freshSpace + kEpsilon) {
        // A memo longer than a page continues on the following pages.
        if (m_detail.band->height > space + kEpsilon)
            newPage();
        printSplit(m_detail, memos);
        ++m_detailsOnPage;
        return;
    }
    // A band taller than any page is printed where it stands, on a page of its own
    // when bands already stand on this one, so that it never lands below the paper.
    const bool tallerThanPage =
        height > m_pageHeight - setup.topMargin - setup.bottomMargin + kEpsilon;
    if (!tallerThanPage || m_detailsOnPage > 0)
        newPage();
    emitBand(m_detail, m_y, &memos);
    m_y += height;
    ++m_detailsOnPage;
}

void ReportEngine::Layout::reportProgress()
{
    if (m_detailCount <= 0)
        return;
    const int percent = int(std::min<qint64>(100, m_detailNo * 100 / m_detailCount));
    if (percent != m_progress) {
        m_progress = percent;
        if (m_engine.progress)
            m_engine.progress(percent);
    }
}

void ReportEngine::Layout::maybeYield()
{
    if (!m_engine.yield)
        return;
    if (m_yieldAfterPage || m_sinceYield.elapsed() >= m_engine.yieldInterval) {
        m_yieldAfterPage = false;
        m_engine.yield();
        m_sinceYield.restart();
    }
}

ReportEngine::Outcome ReportEngine::Layout::run()
{
    m_sinceYield.start();
    ReportDataSet *table = m_report.dataSet();
    if (table) {
        table->beginRun();
        const auto endRun = qScopeGuard([table] { table->endRun(); });
        const qint64 count = table->recordCount();
        m_detailCount = count < 0 ? 1 : count;
        table->first();
        if (table->eof()) {
            m_emptyTable = true;
            if (m_report.options.printIfEmpty)
                printDetail();
        }
        while (!table->eof()) {
            if (m_engine.m_cancelled)
                break;
            ++m_detailNo;
            printDetail();
            reportProgress();
            table->next();
            maybeYield();
        }
    } else {
        m_detailCount = 1;
        m_detailNo = 1;
        printDetail();
        reportProgress();
        maybeYield();
    }
    if (!m_pageOpen && m_pageNumber == 0 && !m_engine.m_cancelled)
        openPage();
    if (m_pageOpen)
        finishPage(true);
    if (m_engine.m_cancelled)
        return Outcome::Cancelled;
    if (m_progress != 100) {
        m_progress = 100;
        if (m_engine.progress)
            m_engine.progress(100);
    }
    return Outcome::Completed;
}

ReportEngine::ReportEngine(Report &report, PageSink &sink) : m_report(report), m_sink(sink) {}

ReportEngine::~ReportEngine() = default;

ReportEngine::Outcome ReportEngine::run()
{
    if (m_report.building())
        return Outcome::Busy;
    BuildingGuard guard(m_report);
    m_cancelled = false;
    m_layout = std::make_unique<Layout>(*this, m_report, m_sink);
    return m_layout->run();
}

int ReportEngine::pageCount() const
{
    return m_layout ? m_layout->pageCount() : 0;
}

QString ReportEngine::dateTimeText(const QDateTime &moment)
{
    const QLocale locale = QLocale::system();
    const QString date = locale.toString(moment.date(), QLocale::ShortFormat);
    if (moment.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(moment.time(), timeOfDayFormat(locale));
}

double ReportEngine::textWidth(const ReportFont &font, const QString &text)
{
    return TextMeasurer::width(measurer().font(font), text);
}

double ReportEngine::lineHeight(const ReportFont &font)
{
    return measurer().font(font).lineHeight;
}
