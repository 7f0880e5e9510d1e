#pragma once

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
