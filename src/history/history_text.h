#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// The text of the history view: UTF-8 in a gap buffer, with the start of every line.
// Positions count bytes from the start of the text; '\n' ends a line, and a final
// '\n' is followed by an empty last line.
class HistoryText final
{
public:
    HistoryText();

    qint64 size() const { return qint64(m_bytes.size()) - gapLength(); }
    qint64 lineCount() const { return qint64(m_lineStarts.size()); }
    qint64 lineStart(qint64 line) const { return m_lineStarts[size_t(line)]; }
    // The end of the line before its break.
    qint64 lineEnd(qint64 line) const;
    // The line that holds `position` (a break belongs to the line it ends).
    qint64 lineOf(qint64 position) const;
    char at(qint64 position) const;
    QByteArray bytes(qint64 from, qint64 to) const;
    // The text in the two contiguous parts before and after the gap.
    QByteArrayView before() const { return {m_bytes.constData(), m_gapStart}; }
    QByteArrayView after() const
    {
        return {m_bytes.constData() + m_gapEnd, qsizetype(m_bytes.size()) - m_gapEnd};
    }

    // Room for `bytes` of text in all; memory not yet written is not yet resident.
    void reserve(qint64 bytes, qint64 lines);
    void insert(qint64 position, QByteArrayView utf8);
    void remove(qint64 from, qint64 to);
    void clear();

private:
    qint64 gapLength() const { return m_gapEnd - m_gapStart; }
    // Moves the gap to `position` with at least `room` bytes in it.
    void moveGap(qint64 position, qint64 room);

    QByteArray m_bytes; // text before the gap, the gap, text after it
    qint64 m_gapStart = 0;
    qint64 m_gapEnd = 0;
    std::vector<qint64> m_lineStarts;
};
