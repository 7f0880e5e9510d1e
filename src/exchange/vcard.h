#pragma once

#include "exchange/contact_record.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class QIODevice;

// Reads vCards 2.1, 3.0 and 4.0 one at a time from a device, holding no more than
// the card being read, and maps each onto the contact fields.
//
// What goes wrong: a line longer than kMaxLineBytes stops the reading with an error
// naming its line, as does a file that ends inside a card (cut short). A card that
// another BEGIN interrupts is skipped with a warning naming its first line. Lines
// outside cards, lines without a colon, properties the fields have no place for and
// what a card holds beyond 1 MB of text are passed over silently. Values that name
// no charset are read as UTF-8, or as Windows-1250 when they are not valid UTF-8. A
// file in UTF-16 (with a byte-order mark, or found by the zero bytes of its first
// letter) is read as its text.
class VCardReader
{
public:
    static constexpr qsizetype kMaxLineBytes = 1 << 20;

    explicit VCardReader(QIODevice *device);
    ~VCardReader();
    VCardReader(const VCardReader &) = delete;
    VCardReader &operator=(const VCardReader &) = delete;

    // The next card; false at the end of the input or on an error.
    bool readNext(ContactRecord *record);

    bool hasError() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    qint64 errorLine() const { return m_errorLine; }
    // Lines of the file read so far.
    qint64 lineNumber() const { return m_lineNumber; }
    // Cards skipped, each with the line it began on.
    QStringList warnings() const { return m_warnings; }

    // Whether a file's first bytes begin a vCard (BEGIN:VCARD, in UTF-8 or UTF-16).
    static bool beginsCard(const QByteArray &start);

private:
    bool readPhysical(QByteArray *line);
    bool readLogical(QByteArray *line, qint64 *lineNumber);
    void fail(qint64 line, const QString &message);

    QIODevice *m_device;
    std::unique_ptr<QIODevice> m_utf16; // the device's UTF-16 text as UTF-8, when it is
    bool m_started = false;
    QByteArray m_lineBuffer;
    QByteArray m_pending;
    bool m_hasPending = false;
    qint64 m_pendingLine = 0;
    qint64 m_lineNumber = 0;
    QString m_error;
    qint64 m_errorLine = 0;
    QStringList m_warnings;
};

// Writes contacts as vCards, 4.0 by default or 3.0, in UTF-8 with lines folded at
// 75 octets; reading them back gives every field as it was.
class VCardWriter
{
public:
    enum class Version { V3, V4 };

    explicit VCardWriter(QIODevice *device, Version version = Version::V4);

    // False when the device refused the bytes.
    bool write(const ContactRecord &record);

    // One card as text, lines ending in CR LF.
    static QByteArray card(const ContactRecord &record, Version version = Version::V4);

private:
    QIODevice *m_device;
    Version m_version;
};
