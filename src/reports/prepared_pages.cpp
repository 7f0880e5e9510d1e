#include "reports/prepared_pages.h"

#include "platform/errors.h"
#include "reports/byte_io.h"

#include <QDir>
#include <QTemporaryFile>
#include <cmath>

namespace {

// Page and item measures beyond these are not pages this program makes.
constexpr float kMaxMeasure = 10000.0f;
constexpr int kItemFixedBytes = 1 + 1 + 2 + 4 * 4;
constexpr int kTextExtraBytes = 4 + 4;
constexpr int kCachedPages = 4;

bool sound(float value, bool mayBeNegative)
{
    return std::isfinite(value) && std::fabs(value) <= kMaxMeasure && (mayBeNegative || value >= 0);
}

} // namespace

QFont ItemStyle::font(qreal size) const
{
    QFont f(family);
    f.setPointSizeF(size);
    f.setBold(fontFlags & Bold);
    f.setItalic(fontFlags & Italic);
    f.setUnderline(fontFlags & Underline);
    f.setStrikeOut(fontFlags & StrikeOut);
    // Outlines unhinted, so that text measures the same at every resolution.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

size_t qHash(const ItemStyle &style, size_t seed)
{
    return qHashMulti(seed, style.family, style.pointSize, style.fontFlags, style.textColor,
                      style.filled, style.fillColor, style.frameSides, style.frameColor,
                      style.frameWidth, style.ascent, style.descent);
}

quint16 StyleTable::intern(const ItemStyle &style)
{
    const auto found = m_index.constFind(style);
    if (found != m_index.constEnd())
        return found.value();
    if (m_styles.size() >= kMaxStyles)
        throw KaxError(QStringLiteral("Too many different item styles in one report"));
    const auto index = quint16(m_styles.size());
    m_styles.append(style);
    m_index.insert(style, index);
    return index;
}

namespace PageCodec {

QByteArray encode(const PreparedPage &page)
{
    ByteWriter out;
    out.reserve(int(64 + page.items.size() * 48));
    out.f32(page.width);
    out.f32(page.height);
    out.u32(quint32(page.items.size()));
    for (const PageItem &item : page.items) {
        out.u8(quint8(item.kind));
        out.u8(item.flags);
        out.u16(item.style);
        out.f32(item.x);
        out.f32(item.y);
        out.f32(item.width);
        out.f32(item.height);
        if (item.kind == PageItem::Kind::Text) {
            out.f32(item.textX);
            out.string(item.text);
        }
    }
    return out.take();
}

bool decode(const QByteArray &data, int styleCount, PreparedPage *page, QString *error)
{
    ByteReader in(data);
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    page->items.clear();
    page->width = in.f32();
    page->height = in.f32();
    const quint32 count = in.u32();
    if (!in.ok())
        return fail(QStringLiteral("page record too short"));
    if (!sound(page->width, false) || !sound(page->height, false) || page->width <= 0 ||
        page->height <= 0)
        return fail(QStringLiteral("page size out of range"));
    // Each item takes at least kItemFixedBytes, so the count cannot exceed what is there.
    if (count > quint64(in.remaining()) / kItemFixedBytes)
        return fail(QStringLiteral("item count larger than the page record"));
    page->items.resize(count);
    for (PageItem &item : page->items) {
        const quint8 kind = in.u8();
        item.flags = in.u8();
        item.style = in.u16();
        item.x = in.f32();
        item.y = in.f32();
        item.width = in.f32();
        item.height = in.f32();
        if (!in.ok())
            return fail(QStringLiteral("item record too short"));
        if (kind != quint8(PageItem::Kind::Text) && kind != quint8(PageItem::Kind::Box))
            return fail(QStringLiteral("unknown item kind %1").arg(kind));
        item.kind = PageItem::Kind(kind);
        if (item.style >= styleCount)
            return fail(QStringLiteral("item style %1 not defined").arg(item.style));
        if (!sound(item.x, true) || !sound(item.y, true) || !sound(item.width, false) ||
            !sound(item.height, false))
            return fail(QStringLiteral("item measures out of range"));
        if (item.kind == PageItem::Kind::Text) {
            item.textX = in.f32();
            if (!in.ok() || in.remaining() < 4)
                return fail(QStringLiteral("text record too short"));
            if (!sound(item.textX, true))
                return fail(QStringLiteral("text position out of range"));
            if (!in.string(&item.text))
                return fail(QStringLiteral("text longer than the page record"));
        }
    }
    if (in.remaining() != 0)
        return fail(QStringLiteral("unexpected data after the last item"));
    return true;
}

QByteArray encodeStyle(const ItemStyle &style)
{
    ByteWriter out;
    out.string(style.family);
    out.f32(style.pointSize);
    out.u8(style.fontFlags);
    out.u32(style.textColor);
    out.u8(style.filled ? 1 : 0);
    out.u32(style.fillColor);
    out.u8(style.frameSides);
    out.u32(style.frameColor);
    out.f32(style.frameWidth);
    out.f32(style.ascent);
    out.f32(style.descent);
    return out.take();
}

} // namespace PageCodec

PreparedPages::PreparedPages(QObject *parent) : QObject(parent) {}

PreparedPages::~PreparedPages() = default;

void PreparedPages::openSpool()
{
    if (m_spool)
        return;
    auto spool = std::make_unique<QTemporaryFile>(QDir::tempPath() +
                                                  QStringLiteral("/kartax-pages-XXXXXX.spool"));
    if (!spool->open())
        throw KaxError(QStringLiteral("Cannot create a temporary file for the report pages: %1")
                           .arg(spool->errorString()));
    m_spool = std::move(spool);
}

void PreparedPages::addPage(const PreparedPage &page)
{
    addEncodedPage(PageCodec::encode(page));
}

void PreparedPages::addEncodedPage(const QByteArray &data)
{
    openSpool();
    if (!m_spool->seek(m_end) || m_spool->write(data) != data.size())
        throw KaxError(QStringLiteral("Cannot write the report pages to a temporary file: %1")
                           .arg(m_spool->errorString()));
    m_offsets.push_back(m_end);
    m_end += data.size();
    emit pageAdded(pageCount());
}

QByteArray PreparedPages::encodedPage(int index) const
{
    if (index < 0 || index >= pageCount())
        throw KaxError(QStringLiteral("Page %1 does not exist").arg(index + 1));
    const qint64 start = m_offsets[size_t(index)];
    const qint64 end = size_t(index) + 1 < m_offsets.size() ? m_offsets[size_t(index) + 1] : m_end;
    m_spool->flush();
    QByteArray data;
    if (m_spool->seek(start))
        data = m_spool->read(end - start);
    if (data.size() != end - start)
        throw KaxError(QStringLiteral("Cannot read the report pages from a temporary file: %1")
                           .arg(m_spool->errorString()));
    return data;
}

PreparedPage PreparedPages::page(int index) const
{
    for (const auto &[cachedIndex, cached] : m_cache) {
        if (cachedIndex == index)
            return cached;
    }
    PreparedPage page;
    QString error;
    if (!PageCodec::decode(encodedPage(index), m_styles.size(), &page, &error))
        throw KaxError(
            QStringLiteral("The spooled report page %1 is damaged: %2").arg(index + 1).arg(error));
    if (m_cache.size() >= kCachedPages)
        m_cache.erase(m_cache.begin());
    m_cache.emplace_back(index, page);
    return page;
}
