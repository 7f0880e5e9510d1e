#include "store/contact_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString compact(const QJsonDocument &document)
{
    return QString::fromUtf8(document.toJson(QJsonDocument::Compact));
}

QJsonObject valuesObject(const QStringList &fields, const QStringList &values)
{
    QJsonObject object;
    for (int i = 0; i < fields.size(); ++i) {
        const QString value = values.value(i);
        object.insert(fields[i], value.isNull() ? QJsonValue() : QJsonValue(value));
    }
    return object;
}

QStringList valuesIn(const QStringList &fields, const QJsonObject &object)
{
    QStringList values;
    for (const QString &field : fields) {
        const QJsonValue value = object.value(field);
        values << (value.isString() ? value.toString() : QString());
    }
    return values;
}

QJsonArray detailsArray(const QList<ContactDetail> &details)
{
    QJsonArray array;
    for (const ContactDetail &detail : details)
        array.append(QJsonArray{ContactDetail::kindName(detail.kind), detail.type, detail.label,
                                detail.value});
    return array;
}

QList<ContactDetail> detailsIn(const QJsonArray &array)
{
    QList<ContactDetail> details;
    for (const QJsonValue &value : array) {
        const QJsonArray parts = value.toArray();
        details << ContactDetail{
            ContactDetail::kindNamed(parts.at(0).toString()).value_or(ContactDetail::Other),
            parts.at(1).toString(), parts.at(2).toString(), parts.at(3).toString()};
    }
    return details;
}

} // namespace

namespace ContactJson {

QString valuesText(const QStringList &fields, const QStringList &values)
{
    return compact(QJsonDocument(valuesObject(fields, values)));
}

QStringList valuesOf(const QStringList &fields, const QString &text)
{
    return valuesIn(fields, QJsonDocument::fromJson(text.toUtf8()).object());
}

QString detailsText(const QList<ContactDetail> &details)
{
    return compact(QJsonDocument(detailsArray(details)));
}

QList<ContactDetail> detailsOf(const QString &text)
{
    return detailsIn(QJsonDocument::fromJson(text.toUtf8()).array());
}

QString contactText(const QStringList &fields, const QStringList &values,
                    const ContactExtras &extras)
{
    return compact(
        QJsonDocument(QJsonObject{{QStringLiteral("values"), valuesObject(fields, values)},
                                  {QStringLiteral("details"), detailsArray(extras.details)},
                                  {QStringLiteral("uid"), extras.uid},
                                  {QStringLiteral("kept"), extras.kept}}));
}

void readContact(const QString &text, const QStringList &fields, QStringList *values,
                 ContactExtras *extras)
{
    const QJsonObject object = QJsonDocument::fromJson(text.toUtf8()).object();
    *values = valuesIn(fields, object.value(QStringLiteral("values")).toObject());
    *extras = {};
    extras->details = detailsIn(object.value(QStringLiteral("details")).toArray());
    extras->uid = object.value(QStringLiteral("uid")).toString();
    extras->kept = object.value(QStringLiteral("kept")).toString();
}

} // namespace ContactJson
