#include "platform/text_file.h"

#include "platform/file_stamp.h"
#include "platform/text_codec.h"

#include <QFile>
#include <QSaveFile>

namespace TextFile {

ReadResult read(const QString &path)
{
    ReadResult result;
    QFile file(path);
    result.exists = file.exists();
    if (!result.exists) {
        result.error = QStringLiteral("File does not exist");
        return result;
    }
    result.error = irregularFileError(path);
    if (!result.error.isEmpty())
        return result;
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
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
    WriteResult result;
    QSaveFile file(path);
    // Unbuffered, so a write that runs out of room fails here instead of in a final
    // flush that commit() does not check.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        result.error = file.errorString();
        return result;
    }
    const QByteArray bytes = TextCodec::encode(text);
    if (file.write(bytes) != bytes.size()) {
        result.error = file.errorString();
        file.cancelWriting();
        return result;
    }
    if (!file.commit()) {
        result.error = file.errorString();
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace TextFile
