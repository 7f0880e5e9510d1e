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
    return true;
}

ContactRecord ContactRecord::fromTable(const TTable &table)
{
    ContactRecord record;
    for (int i = 0; i < kFieldCount; ++i) {
        const int field = table.fieldIndex(fieldName(i));
        if (field >= 0)
            record.values[std::size_t(i)] = table.fieldText(field);
    }
    return record;
}

void ContactRecord::setInto(TTable &table) const
{
    for (int i = 0; i < kFieldCount; ++i) {
        const int field = table.fieldIndex(fieldName(i));
        if (field >= 0)
            table.setFieldText(field, values[std::size_t(i)]);
    }
}
