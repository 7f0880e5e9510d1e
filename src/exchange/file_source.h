#pragma once

#include "exchange/csv.h"
#include "exchange/import_source.h"
#include "exchange/vcard.h"

#include <utility>

namespace ContactImport {

// The contacts of a vCard or CSV file, as the format's reader reads them: the reader
// knows the records, their lines and what it could not use.
template<typename Reader> class FileSource final : public DeviceSource
{
public:
    template<typename... Options>
    explicit FileSource(StoppableFile *device, Options &&...options)
        : DeviceSource(device), m_reader(device, std::forward<Options>(options)...)
    {
    }
    Reader &reader() { return m_reader; }
    bool readNext(ContactRecord *record) override { return m_reader.readNext(record); }
    QString error() const override
    {
        return readError().isEmpty() ? m_reader.errorString() : readError();
    }
    qint64 errorLine() const override
    {
        return readError().isEmpty() ? m_reader.errorLine() : m_reader.lineNumber() + 1;
    }
    qint64 lineNumber() const override { return m_reader.lineNumber(); }
    qint64 unusable() const override
    {
        if constexpr (requires { m_reader.warnings(); })
            return m_reader.warnings().size();
        else
            return 0;
    }

    QStringList notices() const override
    {
        QStringList notices;
        if constexpr (requires { m_reader.notices(); })
            notices << m_reader.notices();
        if constexpr (requires { m_reader.keptColumns(); }) {
            if (const QStringList kept = m_reader.keptColumns(); !kept.isEmpty())
                notices << QStringLiteral("Kolumny zachowane jako inne dane: %1")
                               .arg(kept.join(QStringLiteral(", ")));
        }
        return notices;
    }

private:
    Reader m_reader;
};

using VCardSource = FileSource<VCardReader>;
using CsvSource = FileSource<CsvReader>;

} // namespace ContactImport
