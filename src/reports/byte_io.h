#pragma once

#include <QByteArray>
#include <QString>
#include <QtEndian>
#include <cstring>

// Little-endian writing of the binary page and report-file records.
class ByteWriter final
{
public:
    void reserve(int bytes) { m_data.reserve(bytes); }
    void u8(quint8 value) { m_data.append(char(value)); }
    void u16(quint16 value) { put(qToLittleEndian(value)); }
    void u32(quint32 value) { put(qToLittleEndian(value)); }
    void f32(float value)
    {
        quint32 bits;
        std::memcpy(&bits, &value, sizeof bits);
        u32(bits);
    }
    void bytes(const QByteArray &data) { m_data.append(data); }
    // UTF-8 text behind its length in bytes.
    void string(const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        u32(quint32(utf8.size()));
        m_data.append(utf8);
    }
    QByteArray take() { return std::move(m_data); }
    const QByteArray &data() const { return m_data; }

private:
    template<typename T> void put(T value)
    {
        m_data.append(reinterpret_cast<const char *>(&value), sizeof value);
    }
    QByteArray m_data;
};

// Little-endian reading that never reads past the end: a short read sets the
// reader to failed and yields zeros, so callers check ok() once per record.
class ByteReader final
{
public:
    explicit ByteReader(const QByteArray &data) : m_data(data) {}

    bool ok() const { return m_ok; }
    qsizetype remaining() const { return m_data.size() - m_pos; }
    quint8 u8() { return get<quint8>(); }
    quint16 u16() { return qFromLittleEndian(get<quint16>()); }
    quint32 u32() { return qFromLittleEndian(get<quint32>()); }
    float f32()
    {
        const quint32 bits = u32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    QByteArray bytes(qsizetype count)
    {
        if (!m_ok || count < 0 || count > remaining()) {
            m_ok = false;
            return {};
        }
        const QByteArray out = m_data.mid(m_pos, count);
        m_pos += count;
        return out;
    }
    // Text behind its length; false (and nothing allocated) when the length runs
    // past the end of the data.
    bool string(QString *text)
    {
        const quint32 length = u32();
        if (!m_ok || length > quint64(remaining())) {
            m_ok = false;
            return false;
        }
        *text = QString::fromUtf8(m_data.constData() + m_pos, qsizetype(length));
        m_pos += length;
        return true;
    }

private:
    template<typename T> T get()
    {
        T value{};
        if (!m_ok || remaining() < qsizetype(sizeof(T))) {
            m_ok = false;
            return value;
        }
        std::memcpy(&value, m_data.constData() + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return value;
    }

    const QByteArray &m_data;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

// CRC-32 (the polynomial of zip and PNG) of a block of bytes.
inline quint32 crc32(const QByteArray &data, quint32 crc = 0)
{
    static const auto table = [] {
        struct Table
        {
            quint32 entries[256];
        } t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t.entries[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (const char byte : data)
        crc = table.entries[(crc ^ quint8(byte)) & 0xff] ^ (crc >> 8);
    return ~crc;
}
