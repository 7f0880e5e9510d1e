#pragma once

#include "exchange/import_source.h"
#include "exchange/vcard.h"

namespace ContactImport {

// The contacts of a vCard file.
class VCardSource final : public DeviceSource
{
public:
    explicit VCardSource(StoppableFile *device) : DeviceSource(device), m_reader(device) {}
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
    qint64 unusable() const override { return m_reader.warnings().size(); }

private:
    VCardReader m_reader;
};

} // namespace ContactImport
