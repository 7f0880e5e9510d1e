#pragma once

#include "exchange/contact_record.h"

#include <QStringList>

// A record's thirteen values as a list, and back: expected records in the tests
// are written as one line of fields.
inline QStringList fields(const ContactRecord &record)
{
    return QStringList(record.values.begin(), record.values.end());
}

inline ContactRecord recordOf(const QStringList &values)
{
    ContactRecord record;
    for (int i = 0; i < ContactRecord::kFieldCount; ++i)
        record.values[std::size_t(i)] = values.value(i);
    return record;
}
