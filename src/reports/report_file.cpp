#include "reports/report_file.h"

#include "platform/errors.h"
#include "reports/byte_io.h"
#include "reports/prepared_pages.h"

#include <QFile>
#include <QSaveFile>
#include <cmath>
#include <cstring>

namespace {

constexpr char kMagic[8] = {'K', 'A', 'X', 'R', 'P', 'T', '\r', '\n'};
// The smallest style and page records, which bound the counts a file can hold.
constexpr int kMinStyleBytes = 4 + 4 + 1 + 4 + 1 + 4 + 1 + 4 + 4 + 4 + 4;
constexpr int kMinPageBytes = 4 + 4 + 4 + 4 + 4; // length, checksum, size, item count
constexpr quint32 kMaxTitleBytes = 64 * 1024;
constexpr quint32 kMaxFamilyBytes = 1024;

QString notReportFile()
{
    return QStringLiteral("The file is not a Kartax2000 report file.");
}

QString damaged(const QString &detail)
{
    return QStringLiteral("The report file is damaged (%1) and cannot be loaded.").arg(detail);
}

QString truncated()
{
    return QStringLiteral("The report file is incomplete and cannot be loaded.");
}

bool styleSound(const ItemStyle &style)
{
    const auto within = [](float value, float low, float high) {
        return std::isfinite(value) && value >= low && value <= high;
    };
    return style.family.size() <= 256 && within(style.pointSize, 0.5f, 1000.0f) &&
           within(style.frameWidth, 0.0f, 100.0f) && within(style.ascent, 0.0f, 1000.0f) &&
           within(style.descent, 0.0f, 1000.0f) && style.fontFlags <= 15 && style.frameSides <= 15;
}

// Reads a report file front to back, never past its end: every length is checked
// against the bytes left before anything is allocated. Keeps a running checksum
// of what it has read.
class FileStream final
{
public:
    explicit FileStream(QFile &file) : m_file(file), m_size(file.size()) {}

    bool ok() const { return m_ok; }
    bool truncated() const { return m_truncated; }
    qint64 remaining() const { return m_size - m_pos; }
    quint32 crc() const { return m_crc; }

    QByteArray take(qint64 count)
    {
        if (!m_ok)
            return {};
        if (count > remaining()) {
            m_ok = false;
            m_truncated = true;
            return {};
        }
        QByteArray data = m_file.read(count);
        if (data.size() != count) {
            m_ok = false;
            m_truncated = true;
            return {};
        }
        m_pos += count;
        m_crc = crc32(data, m_crc);
        return data;
    }
    quint8 u8() { return number<quint8>(); }
    quint16 u16() { return number<quint16>(); }
    quint32 u32() { return number<quint32>(); }
    float f32()
    {
        const quint32 bits = u32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // Text behind its length in bytes; a length above the limit fails without reading.
    QString string(quint32 maxBytes)
    {
        const quint32 length = u32();
        if (m_ok && length > maxBytes) {
            m_ok = false;
            return {};
        }
        return QString::fromUtf8(take(length));
    }

private:
    template<typename T> T number()
    {
        const QByteArray data = take(sizeof(T));
        return m_ok ? qFromLittleEndian<T>(data.constData()) : T(0);
    }

    QFile &m_file;
    qint64 m_size;
    qint64 m_pos = 0;
    quint32 m_crc = 0;
    bool m_ok = true;
    bool m_truncated = false;
};

} // namespace

namespace ReportFile {

IoResult save(const PreparedPages &pages, const QString &path)
{
    const auto fail = [](const QString &why) {
        return IoResult{false, QStringLiteral("The report file cannot be written: %1").arg(why)};
    };
    ByteWriter header;
    header.bytes(QByteArray(kMagic, sizeof kMagic));
    header.u16(kFormatVersion);
    header.u16(0);
    header.string(pages.title);
    header.u32(quint32(pages.styles().size()));
    for (const ItemStyle &style : pages.styles().all())
        header.bytes(PageCodec::encodeStyle(style));
    header.u32(quint32(pages.pageCount()));
    header.u32(crc32(header.data()));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (file.write(header.data()) != header.data().size())
        return fail(file.errorString());
    try {
        for (int i = 0; i < pages.pageCount(); ++i) {
            const QByteArray data = pages.encodedPage(i);
            ByteWriter record;
            record.u32(quint32(data.size()));
            record.u32(crc32(data));
            if (file.write(record.data()) != record.data().size() ||
                file.write(data) != data.size())
                return fail(file.errorString());
        }
    } catch (const KaxError &e) {
        file.cancelWriting();
        return fail(e.message());
    }
    if (!file.commit())
        return fail(file.errorString());
    return IoResult{true, {}};
}

LoadResult load(const QString &path)
{
    const auto fail = [](const QString &why) { return LoadResult{nullptr, why}; };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("The report file cannot be opened: %1").arg(file.errorString()));
    FileStream in(file);

    const QByteArray magic = in.take(sizeof kMagic);
    if (magic != QByteArray(kMagic, sizeof kMagic))
        return fail(notReportFile());
    const quint16 version = in.u16();
    in.u16(); // flags, none defined yet
    if (!in.ok())
        return fail(truncated());
    if (version == 0)
        return fail(damaged(QStringLiteral("format version 0")));
    if (version > kFormatVersion)
        return fail(QStringLiteral("The report file was written by a newer version of Kartax2000 "
                                   "(file format %1; this version reads format %2) and cannot "
                                   "be loaded.")
                        .arg(version)
                        .arg(kFormatVersion));

    auto pages = std::make_unique<PreparedPages>();
    pages->title = in.string(kMaxTitleBytes);
    const quint32 styleCount = in.u32();
    if (!in.ok())
        return fail(in.truncated() ? truncated() : damaged(QStringLiteral("title too long")));
    if (styleCount > quint32(StyleTable::kMaxStyles))
        return fail(damaged(QStringLiteral("too many styles")));
    if (qint64(styleCount) * kMinStyleBytes > in.remaining())
        return fail(truncated());
    for (quint32 i = 0; i < styleCount; ++i) {
        ItemStyle style;
        style.family = in.string(kMaxFamilyBytes);
        style.pointSize = in.f32();
        style.fontFlags = in.u8();
        style.textColor = in.u32();
        style.filled = in.u8() != 0;
        style.fillColor = in.u32();
        style.frameSides = in.u8();
        style.frameColor = in.u32();
        style.frameWidth = in.f32();
        style.ascent = in.f32();
        style.descent = in.f32();
        if (!in.ok())
            return fail(in.truncated() ? truncated()
                                       : damaged(QStringLiteral("font name too long")));
        if (!styleSound(style))
            return fail(damaged(QStringLiteral("style %1 out of range").arg(i + 1)));
        if (int(pages->styles().intern(style)) != pages->styles().size() - 1)
            return fail(damaged(QStringLiteral("style %1 repeated").arg(i + 1)));
    }
    const quint32 pageCount = in.u32();
    const quint32 headerCrc = in.crc();
    const quint32 storedCrc = in.u32();
    if (!in.ok())
        return fail(truncated());
    if (headerCrc != storedCrc)
        return fail(damaged(QStringLiteral("header checksum mismatch")));
    if (pageCount == 0)
        return fail(damaged(QStringLiteral("no pages")));
    if (qint64(pageCount) * kMinPageBytes > in.remaining())
        return fail(truncated());

    for (quint32 i = 0; i < pageCount; ++i) {
        const quint32 length = in.u32();
        const quint32 crc = in.u32();
        const QByteArray data = in.take(length);
        if (!in.ok())
            return fail(truncated());
        if (crc32(data) != crc)
            return fail(damaged(QStringLiteral("page %1 checksum mismatch").arg(i + 1)));
        PreparedPage page;
        QString why;
        if (!PageCodec::decode(data, pages->styles().size(), &page, &why))
            return fail(damaged(QStringLiteral("page %1: %2").arg(i + 1).arg(why)));
        try {
            pages->addEncodedPage(data);
        } catch (const KaxError &e) {
            return fail(e.message());
        }
    }
    if (in.remaining() != 0)
        return fail(damaged(QStringLiteral("unexpected data after the last page")));
    return LoadResult{std::move(pages), {}};
}

} // namespace ReportFile
