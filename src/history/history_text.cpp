#include "history/history_text.h"

#include <algorithm>
#include <cstring>

HistoryText::HistoryText() : m_lineStarts{0} {}

qint64 HistoryText::lineEnd(qint64 line) const
{
    return line + 1 < lineCount() ? lineStart(line + 1) - 1 : size();
}

qint64 HistoryText::lineOf(qint64 position) const
{
    const auto next = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), position);
    return qint64(next - m_lineStarts.begin()) - 1;
}

char HistoryText::at(qint64 position) const
{
    return m_bytes.at(qsizetype(position < m_gapStart ? position : position + gapLength()));
}

QByteArray HistoryText::bytes(qint64 from, qint64 to) const
{
    QByteArray result;
    result.reserve(qsizetype(to - from));
    if (from < m_gapStart)
        result.append(m_bytes.constData() + from, qsizetype(std::min(to, m_gapStart) - from));
    if (to > m_gapStart) {
        const qint64 start = std::max(from, m_gapStart) + gapLength();
        result.append(m_bytes.constData() + start, qsizetype(to + gapLength() - start));
    }
    return result;
}

void HistoryText::reserve(qint64 bytes, qint64 lines)
{
    if (bytes > size())
        moveGap(size(), bytes - size());
    m_lineStarts.reserve(size_t(std::max<qint64>(lines, 1)));
}

void HistoryText::moveGap(qint64 position, qint64 room)
{
    if (gapLength() < room) {
        // Grow at the end, so that a large buffer is extended in place where it can be.
        moveGap(size(), 0);
        const qint64 grown =
            std::max(qint64(m_bytes.size()) + room, qint64(m_bytes.size()) * 3 / 2 + 4096);
        m_bytes.resize(qsizetype(grown));
        m_gapEnd = grown;
    }
    char *data = m_bytes.data();
    if (position < m_gapStart) {
        const qint64 moved = m_gapStart - position;
        std::memmove(data + m_gapEnd - moved, data + position, size_t(moved));
        m_gapStart -= moved;
        m_gapEnd -= moved;
    } else if (position > m_gapStart) {
        const qint64 moved = position - m_gapStart;
        std::memmove(data + m_gapStart, data + m_gapEnd, size_t(moved));
        m_gapStart += moved;
        m_gapEnd += moved;
    }
}

void HistoryText::insert(qint64 position, QByteArrayView utf8)
{
    if (utf8.isEmpty())
        return;
    moveGap(position, utf8.size());
    std::memcpy(m_bytes.data() + m_gapStart, utf8.data(), size_t(utf8.size()));
    m_gapStart += utf8.size();

    const qint64 line = lineOf(position);
    for (auto it = m_lineStarts.begin() + line + 1; it != m_lineStarts.end(); ++it)
        *it += utf8.size();
    std::vector<qint64> starts;
    for (const char *at = utf8.data(), *end = utf8.data() + utf8.size();
         (at = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at))));)
        starts.push_back(position + (++at - utf8.data()));
    m_lineStarts.insert(m_lineStarts.begin() + line + 1, starts.begin(), starts.end());
}

void HistoryText::remove(qint64 from, qint64 to)
{
    if (to <= from)
        return;
    moveGap(from, 0);
    m_gapEnd += to - from;
    // The lines whose breaks were removed go; those after them move up.
    const auto first = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), from);
    const auto last = std::upper_bound(first, m_lineStarts.end(), to);
    for (auto it = last; it != m_lineStarts.end(); ++it)
        *it -= to - from;
    m_lineStarts.erase(first, last);
}

void HistoryText::clear()
{
    m_bytes.clear();
    m_gapStart = m_gapEnd = 0;
    m_lineStarts.assign(1, 0);
}
