#include "platform/text_file.h"

#include "platform/file_access.h"
#include "platform/file_stamp.h"
#include "platform/text_codec.h"

#include <QFile>

#include <cerrno>

namespace TextFile {

ReadResult read(const QString &path)
{
    ReadResult result;
    QFile file;
    result.exists = FileStamp::of(path).exists;
    if (!result.exists) {
        result.error = FileAccess::reason(ENOENT);
        return result;
    }
    result.error = irregularFileError(path);
    if (!result.error.isEmpty())
        return result;
    if (const IoResult opened = FileAccess::openRegular(&file, path); !opened.ok) {
        result.error = opened.error;
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = FileAccess::reason(errno != 0 ? errno : EIO);
        return result;
    }
    result.text = TextCodec::decode(bytes);
    result.ok = true;
    return result;
}

QString irregularFileError(const QString &path)
{
    const FileStamp stamp = FileStamp::of(path);
    if (!stamp.exists || stamp.regular)
        return {};
    return QStringLiteral("to nie jest zwykły plik, lecz folder, potok lub urządzenie");
}

WriteResult writeAtomic(const QString &path, const QString &text)
{
    return writeBytesAtomic(path, TextCodec::encode(text));
}

WriteResult writeBytesAtomic(const QString &path, const QByteArray &bytes)
{
    WriteResult result;
    // A data file is a regular file: a pipe or a device in its place is left alone.
    result.error = irregularFileError(path);
    if (!result.error.isEmpty())
        return result;
    OutputFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.error();
        return result;
    }
    if (file.isStream()) { // it became one meanwhile
        file.cancel();
        result.error = irregularFileError(path);
        return result;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        result.error = file.error();
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace TextFile
