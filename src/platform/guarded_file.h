#pragma once

#include "platform/file_stamp.h"
#include "platform/text_file.h"

#include <QString>
#include <functional>

// A data file that the program reads when a window is created and writes back later,
// kept from overwriting what another program (another running copy) wrote to it
// meanwhile: the text then goes to a dated file beside it instead.
class GuardedFile final
{
public:
    explicit GuardedFile(QString path = QString()) : m_path(std::move(path)) {}

    QString path() const { return m_path; }
    // Remembers the file as it is now; call it just before reading the file.
    void markRead() { m_stamp = FileStamp::of(m_path); }

    struct [[nodiscard]] Result
    {
        bool ok = false;
        QString error;              // the writer's reason when !ok
        QString writtenTo;          // the file written: path(), or a dated file beside it
        bool newlyDiverted = false; // the first write to the dated file
    };
    using Writer = std::function<TextFile::WriteResult(const QString &target)>;
    // Writes through `write` to path() while the file is as it was read or last
    // written by this program; otherwise, and from then on, to a dated sibling.
    [[nodiscard]] Result save(const Writer &write);

private:
    QString m_path;
    FileStamp m_stamp;
    QString m_divertedTo;
};
