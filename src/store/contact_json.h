#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "store/contact_details.h"

// A contact's values and further values as JSON text, as the deleted contacts and the
// import journal keep them: values by field name, so that a table whose fields stand
// in another order reads them back right.
namespace ContactJson {

QString valuesText(const QStringList &fields, const QStringList &values);
// The values of `fields` in their order; a field the text lacks is null.
QStringList valuesOf(const QStringList &fields, const QString &text);

QString detailsText(const QList<ContactDetail> &details);
QList<ContactDetail> detailsOf(const QString &text);

// Values and extras (further values, UID, kept lines; not the revision) in one text.
QString contactText(const QStringList &fields, const QStringList &values,
                    const ContactExtras &extras);
void readContact(const QString &text, const QStringList &fields, QStringList *values,
                 ContactExtras *extras);

} // namespace ContactJson
