#pragma once

#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QObject>
#include <QRgb>
#include <QString>
#include <QVector>
#include <memory>
#include <vector>

class QTemporaryFile;

// How a display item looks: its font, text colour, fill and frame lines, and the
// distance of the text's baseline below the item's top. Sizes are millimetres.
struct ItemStyle
{
    enum FontFlag : quint8 { Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8 };
    enum Side : quint8 { Left = 1, Top = 2, Right = 4, Bottom = 8, AllSides = 15 };

    QString family;
    float pointSize = 10.0f;
    quint8 fontFlags = 0;
    QRgb textColor = 0xff000000;
    bool filled = false;
    QRgb fillColor = 0xffffffff;
    quint8 frameSides = 0;
    QRgb frameColor = 0xff000000;
    float frameWidth = 0.0f;
    float ascent = 0.0f;
    float descent = 0.0f; // below the baseline: the text's ink ends at ascent + descent

    bool operator==(const ItemStyle &) const = default;

    // The style's font at a size in points (the caller scales it to its device).
    QFont font(qreal pointSize) const;
};

size_t qHash(const ItemStyle &style, size_t seed = 0);

// The styles of one set of pages; items refer to them by index.
class StyleTable final
{
public:
    // The index of an equal style, adding it when new.
    quint16 intern(const ItemStyle &style);
    const ItemStyle &at(int index) const { return m_styles.at(index); }
    int size() const { return int(m_styles.size()); }
    const QVector<ItemStyle> &all() const { return m_styles; }

    static constexpr int kMaxStyles = 65535;

private:
    QVector<ItemStyle> m_styles;
    QHash<ItemStyle, quint16> m_index;
};

// One entry of a page's display list: a text run or a box, placed in millimetres
// from the page's top-left corner. Boxes and texts draw their style's fill and frame
// lines; a text is drawn textX right of the item's left edge on the style's baseline.
struct PageItem
{
    enum class Kind : quint8 { Text = 1, Box = 2 };
    enum Flag : quint8 { Clip = 1 }; // cut the text off at the item's edges

    Kind kind = Kind::Text;
    quint8 flags = 0;
    quint16 style = 0;
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
    float textX = 0;
    QString text;
};

// One laid-out page: its size in millimetres and its display list in drawing order.
struct PreparedPage
{
    float width = 210.0f;
    float height = 297.0f;
    std::vector<PageItem> items;
};

// The compact binary form of pages, shared by the spool and the report file.
namespace PageCodec {
QByteArray encode(const PreparedPage &page);
// Checks every count, length, size and style reference against the data at hand;
// false with a reason when the data is not a sound page.
bool decode(const QByteArray &data, int styleCount, PreparedPage *page, QString *error);

QByteArray encodeStyle(const ItemStyle &style);
} // namespace PageCodec

// Receives the pages of a run as they are completed.
class PageSink
{
public:
    virtual ~PageSink() = default;
    virtual StyleTable &styles() = 0;
    virtual void addPage(const PreparedPage &page) = 0;
};

// The prepared pages of a report: the styles in memory and the pages spooled to a
// temporary file in their encoded form, so that memory stays small at any page
// count; a page is decoded again when it is shown or printed.
class PreparedPages final : public QObject, public PageSink
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreparedPages)

public:
    explicit PreparedPages(QObject *parent = nullptr);
    ~PreparedPages() override;

    QString title;

    StyleTable &styles() override { return m_styles; }
    const StyleTable &styles() const { return m_styles; }
    // Raises KaxError when the spool cannot be written.
    void addPage(const PreparedPage &page) override;
    // Appends a page already encoded and checked (a page read from a report file).
    void addEncodedPage(const QByteArray &data);

    int pageCount() const { return int(m_offsets.size()); }
    // Page by index from 0; raises KaxError when the spool cannot be read.
    PreparedPage page(int index) const;
    QByteArray encodedPage(int index) const;

signals:
    void pageAdded(int pageCount);

private:
    void openSpool();

    StyleTable m_styles;
    std::unique_ptr<QTemporaryFile> m_spool;
    std::vector<qint64> m_offsets; // start of each page in the spool, then its end
    qint64 m_end = 0;
    mutable std::vector<std::pair<int, PreparedPage>> m_cache; // recently decoded pages
};
