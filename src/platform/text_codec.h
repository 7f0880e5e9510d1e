#pragma once

#include <QByteArray>
#include <QString>

// The program's text files are Windows-1250 unless they start with a UTF-8
// byte-order mark. They are written in Windows-1250 when that keeps every
// character, otherwise in UTF-8 with a byte-order mark.
namespace TextCodec {

QString decode(const QByteArray &bytes);
QByteArray encode(const QString &text);
// True when the text survives a round trip through Windows-1250.
bool fitsWindows1250(const QString &text);

} // namespace TextCodec
