#include "platform/text_codec.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr const char *kAnsiCodePage = "windows-1250";
} // namespace

namespace TextCodec {

QString decode(const QByteArray &bytes)
{
    if (bytes.startsWith(kUtf8Bom)) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        return utf8.decode(QByteArrayView(bytes).sliced(3));
    }
    QStringDecoder ansi(kAnsiCodePage);
    return ansi.decode(bytes);
}

bool fitsWindows1250(const QString &text)
{
    QStringEncoder ansi(kAnsiCodePage);
    const QByteArray bytes = ansi.encode(text);
    if (ansi.hasError())
        return false;
    QStringDecoder back(kAnsiCodePage);
    return back.decode(bytes) == text;
}

QByteArray encode(const QString &text)
{
    QStringEncoder ansi(kAnsiCodePage);
    const QByteArray bytes = ansi.encode(text);
    if (!ansi.hasError()) {
        QStringDecoder back(kAnsiCodePage);
        if (back.decode(bytes) == text)
            return bytes;
    }
    QStringEncoder utf8(QStringEncoder::Utf8);
    return QByteArray(kUtf8Bom) + QByteArray(utf8.encode(text));
}

} // namespace TextCodec
