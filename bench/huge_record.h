#pragma once

// A small contact database whose middle record holds about a megabyte of text in
// every field, for the benchmarks that move onto it and print it.

#include "store/contact_schema.h"
#include "store/table.h"

#include <QString>
#include <QStringList>

namespace bench {

// Polish words separated by spaces, `length` characters; with `lineBreaks`, a CR LF
// follows every twelfth word, as in notes.
inline QString hugeText(qsizetype length, bool lineBreaks)
{
    static const QStringList words{"Przedsiębiorstwo",
                                   "Handlowo-Usługowe",
                                   "Źródło",
                                   "Żuraw",
                                   "Łódź",
                                   "ul.",
                                   "Świętokrzyska",
                                   "12/4",
                                   "tel.",
                                   "022 555 01 02",
                                   "biuro@firma.pl",
                                   "Kraków",
                                   "zażółć",
                                   "gęślą",
                                   "jaźń"};
    QString text;
    text.reserve(length + 32);
    for (int i = 0; text.size() < length; ++i) {
        text += words[i % words.size()];
        text += lineBreaks && i % 12 == 11 ? QStringLiteral("\r\n") : QStringLiteral(" ");
    }
    text.truncate(length);
    return text;
}

// The record's thirteen values: each a megabyte, each starting with its field's
// name so that the fields differ, the notes in lines.
inline QStringList hugeValues()
{
    constexpr qsizetype kLength = 1024 * 1024;
    QStringList values;
    for (const QString &field : ContactSchema::fieldNames())
        values << field + QLatin1Char(' ') +
                      hugeText(kLength - field.size() - 1, field == QLatin1String("Uwagi"));
    return values;
}

// Creates the database at path with four small records and the huge one, which
// comes third in name order (after "Alfa" and "Beta": its name starts "Nazwa").
inline void writeHugeRecordDatabase(const QString &path)
{
    TTable table;
    table.setDatabaseFile(path);
    table.setTableName(QLatin1String(ContactSchema::kTableName));
    table.open();
    const auto add = [&table](const QStringList &values) {
        table.insert();
        const QStringList fields = ContactSchema::fieldNames();
        for (int f = 0; f < fields.size(); ++f)
            table.setFieldText(fields[f], values[f]);
        table.post();
    };
    for (const char *name : {"Alfa", "Beta", "Omega", "Sigma"}) {
        QStringList values;
        for (const QString &field : ContactSchema::fieldNames())
            values << QLatin1String(name) + QLatin1Char(' ') + field;
        add(values);
    }
    add(hugeValues());
}

} // namespace bench
