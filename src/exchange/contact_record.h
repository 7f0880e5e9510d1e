#pragma once

#include "store/contact_details.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>

class TTable;

// One contact's thirteen field values in table order, as import and export pass them.
struct ContactRecord
{
    // The fields in the order of ContactSchema::fieldNames().
    enum Field {
        Nazwa,
        Branza,
        Filia,
        Kraj,
        Miasto,
        Kod,
        Ulica,
        Region,
        Tel,
        Fax,
        Email,
        Http,
        Uwagi
    };
    static constexpr int kFieldCount = 13;

    std::array<QString, kFieldCount> values;
    // What the contact holds beyond its fields: further values, UID, kept vCard lines.
    ContactExtras extras;

    QString &operator[](Field field) { return values[std::size_t(field)]; }
    const QString &operator[](Field field) const { return values[std::size_t(field)]; }

    // The field with this name, without regard to case; -1 when there is none.
    static int fieldIndex(const QString &name);
    static QString fieldName(int field);
    // The caption the data entry window shows for the field ("Przedstawiciel" for Filia).
    static QString fieldCaption(int field);

    bool isEmpty() const;
    bool operator==(const ContactRecord &other) const = default;

    // The current record of an open table, and the values set into the record being
    // inserted or edited; fields the table lacks are left out.
    static ContactRecord fromTable(const TTable &table);
    void setInto(TTable &table) const;
};

// Where a table's fields stand in a record: per field of the table, in the table's
// order, the record field it holds, or -1 for one a record does not carry.
class RecordPlaces final
{
public:
    explicit RecordPlaces(const QStringList &tableFields);

    // The record of a row's values in the table's order; fields it lacks stay empty.
    ContactRecord record(const QStringList &values) const;
    // The record's values in the table's order; empty for fields a record does not carry.
    QStringList values(const ContactRecord &record) const;
    // The record field of the table's field, or -1.
    int place(qsizetype tableField) const { return m_places.value(tableField, -1); }

private:
    QList<int> m_places;
};
