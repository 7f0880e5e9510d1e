#include "exchange/contact_record.h"

#include "store/contact_schema.h"
#include "store/table.h"

int ContactRecord::fieldIndex(const QString &name)
{
    const QStringList names = ContactSchema::fieldNames();
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString ContactRecord::fieldName(int field)
{
    return ContactSchema::fieldNames().value(field);
}

QString ContactRecord::fieldCaption(int field)
{
    // As the labels of the data entry window read.
    static const QStringList captions{
        QStringLiteral("Nazwa"),       QStringLiteral("Branża"), QStringLiteral("Przedstawiciel"),
        QStringLiteral("Kraj"),        QStringLiteral("Miasto"), QStringLiteral("Kod pocztowy"),
        QStringLiteral("Ulica numer"), QStringLiteral("Region"), QStringLiteral("Telefon"),
        QStringLiteral("Telefax"),     QStringLiteral("e-mail"), QStringLiteral("http://"),
        QStringLiteral("Uwagi")};
    return captions.value(field);
}

bool ContactRecord::isEmpty() const
{
    for (const QString &value : values) {
        if (!value.isEmpty())
            return false;
    }
    return extras.details.isEmpty();
}

ContactRecord ContactRecord::fromTable(const TTable &table)
{
    const QStringList names = table.fieldNames();
    QStringList values;
    for (int field = 0; field < names.size(); ++field)
        values << table.fieldText(field);
    return RecordPlaces(names).record(values);
}

void ContactRecord::setInto(TTable &table) const
{
    const RecordPlaces places(table.fieldNames());
    const QStringList values = places.values(*this);
    for (int field = 0; field < values.size(); ++field) {
        if (places.place(field) >= 0)
            table.setFieldText(field, values[field]);
    }
}

RecordPlaces::RecordPlaces(const QStringList &tableFields)
{
    m_places.reserve(tableFields.size());
    for (const QString &name : tableFields)
        m_places << ContactRecord::fieldIndex(name);
}

ContactRecord RecordPlaces::record(const QStringList &values) const
{
    ContactRecord record;
    for (qsizetype i = 0; i < m_places.size() && i < values.size(); ++i) {
        if (m_places[i] >= 0)
            record.values[std::size_t(m_places[i])] = values[i];
    }
    return record;
}

QStringList RecordPlaces::values(const ContactRecord &record) const
{
    QStringList values;
    values.reserve(m_places.size());
    for (const int place : m_places)
        values << (place >= 0 ? record.values[std::size_t(place)] : QString());
    return values;
}
