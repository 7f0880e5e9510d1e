#include "history/history_file.h"

#include "platform/data_folder.h"
#include "platform/file_access.h"
#include "platform/text_codec.h"
#include "platform/text_file.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <vector>

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

bool isBreak(QChar ch)
{
    return ch == QLatin1Char('\n') || ch == QChar::ParagraphSeparator || ch == QChar::LineSeparator;
}

// Byte-to-character tables of the single-byte code page, taken from TextCodec so
// that both directions follow its rule exactly. A large history converts through
// them many times faster than through a general converter.
class AnsiTables final
{
public:
    AnsiTables() : m_toByte(0x10000, -1)
    {
        for (int byte = 0; byte < 256; ++byte) {
            const QString decoded = TextCodec::decode(QByteArray(1, char(byte)));
            if (decoded.size() != 1) {
                m_valid = false;
                return;
            }
            m_toChar[byte] = decoded[0].unicode();
            if (m_toByte[decoded[0].unicode()] < 0)
                m_toByte[decoded[0].unicode()] = short(byte);
        }
    }

    bool valid() const { return m_valid; }
    char16_t toChar(uchar byte) const { return m_toChar[byte]; }
    // The byte for a character, or -1 when the code page has none.
    int toByte(QChar ch) const { return m_toByte[ch.unicode()]; }

private:
    std::array<char16_t, 256> m_toChar{};
    std::vector<short> m_toByte;
    bool m_valid = true;
};

const AnsiTables &ansiTables()
{
    static const AnsiTables tables;
    return tables;
}

// One '\n' for each CR LF, lone CR and lone LF.
QString breaksToNewlines(const QString &text)
{
    QString result(text.size(), Qt::Uninitialized);
    const QChar *in = text.constData();
    const QChar *const end = in + text.size();
    QChar *out = result.data();
    while (in != end) {
        if (*in == QLatin1Char('\r')) {
            *out++ = QLatin1Char('\n');
            ++in;
            if (in != end && *in == QLatin1Char('\n'))
                ++in;
        } else {
            *out++ = *in++;
        }
    }
    result.truncate(out - result.constData());
    return result;
}

QString breaksToCrLf(const QString &text)
{
    QString result;
    result.reserve(text.size() + text.size() / 32);
    for (const QChar ch : text) {
        if (isBreak(ch))
            result.append(QLatin1String("\r\n"));
        else
            result.append(ch);
    }
    return result;
}

// Decodes single-byte text piece by piece; a CR at the end of one piece and an LF
// at the start of the next make one break.
class PieceDecoder final
{
public:
    explicit PieceDecoder(const AnsiTables &tables) : m_tables(tables) {}

    void decode(const QByteArray &bytes, QString &out)
    {
        out.resize(bytes.size());
        const auto *in = reinterpret_cast<const uchar *>(bytes.constData());
        const uchar *const end = in + bytes.size();
        char16_t *first = reinterpret_cast<char16_t *>(out.data());
        char16_t *next = first;
        if (m_afterCr && in != end && *in == '\n')
            ++in;
        while (in != end) {
            if (*in == '\r') {
                *next++ = u'\n';
                ++in;
                if (in != end && *in == '\n')
                    ++in;
            } else {
                *next++ = m_tables.toChar(*in++);
            }
        }
        m_afterCr = !bytes.isEmpty() && bytes.back() == '\r';
        out.truncate(next - first);
    }

private:
    const AnsiTables &m_tables;
    bool m_afterCr = false;
};

constexpr qint64 kPieceBytes = 1 << 20;

QByteArray encode(const QString &text)
{
    const AnsiTables &tables = ansiTables();
    if (tables.valid()) {
        QByteArray bytes;
        bytes.reserve(text.size() + text.size() / 32 + 16);
        bool fits = true;
        for (const QChar ch : text) {
            if (isBreak(ch)) {
                bytes.append("\r\n", 2);
                continue;
            }
            const int byte = tables.toByte(ch);
            if (byte < 0) {
                fits = false;
                break;
            }
            bytes.append(char(byte));
        }
        if (fits)
            return bytes;
    }
    // Characters beyond the code page: TextCodec writes UTF-8 with a byte-order mark.
    return TextCodec::encode(breaksToCrLf(text));
}

} // namespace

namespace HistoryFile {

QString path()
{
    return DataFolder::filePath(QStringLiteral("Historia.kax"));
}

TextFile::ReadResult load(const QString &path, const std::function<void(const QString &)> &sink)
{
    TextFile::ReadResult result;
    QFile file(path);
    result.exists = file.exists();
    if (!result.exists) {
        result.error = FileAccess::reason(ENOENT);
        return result;
    }
    result.error = TextFile::irregularFileError(path);
    if (!result.error.isEmpty())
        return result;
    if (const IoResult opened = FileAccess::openRegular(&file, path); !opened.ok) {
        result.error = opened.error;
        return result;
    }
    const AnsiTables &tables = ansiTables();
    QByteArray bytes = file.read(kUtf8Bom.size());
    if (bytes.startsWith(kUtf8Bom) || !tables.valid()) {
        // UTF-8 (or an unexpected code page): whole, through the program's codec.
        bytes += file.readAll();
        if (file.error() != QFileDevice::NoError) {
            result.error = FileAccess::reason(errno != 0 ? errno : EIO);
            return result;
        }
        sink(breaksToNewlines(TextCodec::decode(bytes)));
        result.ok = true;
        return result;
    }
    PieceDecoder decoder(tables);
    QString piece;
    for (;;) {
        if (file.error() != QFileDevice::NoError) {
            result.error = FileAccess::reason(errno != 0 ? errno : EIO);
            return result;
        }
        if (bytes.isEmpty() && file.atEnd())
            break;
        bytes += file.read(kPieceBytes);
        decoder.decode(bytes, piece);
        sink(piece);
        bytes.clear();
    }
    result.ok = true;
    return result;
}

TextFile::ReadResult read(const QString &path)
{
    QString text;
    TextFile::ReadResult result = load(path, [&text](const QString &piece) { text += piece; });
    if (result.ok)
        result.text = std::move(text);
    return result;
}

QString appendLines(const QString &base, const QString &tail)
{
    if (base.isEmpty())
        return tail;
    if (tail.isEmpty())
        return base;
    const bool baseEnds = base.endsWith(QLatin1Char('\n'));
    const bool tailStarts = tail.startsWith(QLatin1Char('\n'));
    if (baseEnds && tailStarts)
        return base + tail.mid(1);
    if (!baseEnds && !tailStarts)
        return base + QLatin1Char('\n') + tail;
    return base + tail;
}

TextFile::WriteResult save(const QString &path, const QString &text)
{
    return TextFile::writeBytesAtomic(path, encode(text));
}

} // namespace HistoryFile
