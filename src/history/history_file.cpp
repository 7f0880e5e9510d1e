#include "history/history_file.h"

#include "platform/data_folder.h"

namespace {

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
    qsizetype breaks = 0;
    for (const QChar ch : text) {
        if (ch == QLatin1Char('\n') || ch == QChar::ParagraphSeparator ||
            ch == QChar::LineSeparator)
            ++breaks;
    }
    QString result(text.size() + breaks, Qt::Uninitialized);
    QChar *out = result.data();
    for (const QChar ch : text) {
        if (ch == QLatin1Char('\n') || ch == QChar::ParagraphSeparator ||
            ch == QChar::LineSeparator) {
            *out++ = QLatin1Char('\r');
            *out++ = QLatin1Char('\n');
        } else {
            *out++ = ch;
        }
    }
    return result;
}

} // namespace

namespace HistoryFile {

QString path()
{
    return DataFolder::filePath(QStringLiteral("Historia.kax"));
}

TextFile::ReadResult load(const QString &path)
{
    TextFile::ReadResult result = TextFile::read(path);
    if (result.ok)
        result.text = breaksToNewlines(result.text);
    return result;
}

TextFile::WriteResult save(const QString &path, const QString &text)
{
    return TextFile::writeAtomic(path, breaksToCrLf(text));
}

} // namespace HistoryFile
