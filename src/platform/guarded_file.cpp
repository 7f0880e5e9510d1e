#include "platform/guarded_file.h"

#include "platform/clock.h"

GuardedFile::Result GuardedFile::save(const Writer &write)
{
    Result result;
    if (m_divertedTo.isEmpty() && !(FileStamp::of(m_path) == m_stamp)) {
        m_divertedTo = datedSiblingPath(m_path, Clock::now());
        result.newlyDiverted = true;
    }
    result.writtenTo = m_divertedTo.isEmpty() ? m_path : m_divertedTo;
    const TextFile::WriteResult written = write(result.writtenTo);
    result.ok = written.ok;
    result.error = written.error;
    if (result.ok && m_divertedTo.isEmpty())
        m_stamp = FileStamp::of(m_path);
    return result;
}
