#pragma once

#include "exchange/csv.h"
#include "exchange/import_source.h"

namespace ContactImport {

// The contacts of a CSV file, its columns mapped to the fields.
class CsvSource final : public DeviceSource
{
public:
    CsvSource(StoppableFile *device, CsvEncoding encoding)
        : DeviceSource(device), m_reader(device, encoding)
    {
    }
    CsvReader &reader() { return m_reader; }
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

private:
    CsvReader m_reader;
};

} // namespace ContactImport
