#include "cli/contact_query.h"

#include "exchange/contact_record.h"
#include "platform/errors.h"
#include "store/contact_count.h"
#include "store/contact_details.h"
#include "store/contact_search.h"
#include "store/table.h"

#include <QRegularExpression>
#include <QTextStream>

namespace {

// A value on one line of the answer: tabs and line breaks would split its columns.
QString oneLine(const QString &value)
{
    static const QRegularExpression breaks(QStringLiteral("[\\t\\r\\n]+"));
    return QString(value).replace(breaks, QStringLiteral(" ")).trimmed();
}

} // namespace

namespace ContactQuery {

QStringList addressLines(const ContactMatch &match, const QList<ContactDetail> &details)
{
    static const QRegularExpression separators(QStringLiteral("[,;]"));
    const QString name = oneLine(match.values.value(ContactRecord::Nazwa));
    const QString representative = oneLine(match.values.value(ContactRecord::Filia));
    const QString town = oneLine(match.values.value(ContactRecord::Miasto));
    QStringList lines;
    QStringList listed; // case-folded
    const auto add = [&](const QString &value, const QString &person) {
        const QString address = oneLine(value);
        if (address.isEmpty() || listed.contains(address.toCaseFolded()))
            return;
        listed << address.toCaseFolded();
        lines << (person.isEmpty() ? QStringList{address, name, town}
                                   : QStringList{address, person, name})
                     .join(QLatin1Char('\t'));
    };
    for (const QString &address : match.values.value(ContactRecord::Email).split(separators))
        add(address, representative);
    for (const ContactDetail &detail : details) {
        if (detail.kind != ContactDetail::Email)
            continue;
        const QString label = oneLine(detail.label);
        for (const QString &address : detail.value.split(separators))
            add(address, label.isEmpty() ? representative : label);
    }
    return lines;
}

int write(TTable &table, const QString &text, QTextStream &out)
{
    const ContactSearch search(table.database(), table.tableName());
    QList<ContactMatch> matches;
    QStringList lines;
    try {
        matches = search.find(text, SearchScope::NameRepresentativeEmail, kLimit, true);
        DetailStore &details = table.detailStore();
        for (const ContactMatch &match : std::as_const(matches))
            lines << addressLines(match, details.readDetails(match.id));
    } catch (const KaxError &error) {
        writeFailure(error.message(), out);
        throw;
    }
    out << "Kartax2000: " << contactCount(int(matches.size()));
    if (matches.size() == kLimit)
        out << QStringLiteral(" (pierwsze %1)").arg(kLimit);
    out << '\n';
    for (const QString &line : std::as_const(lines))
        out << line << '\n';
    return int(matches.size());
}

void writeFailure(const QString &message, QTextStream &out)
{
    out << "Kartax2000: " << oneLine(message) << '\n';
}

} // namespace ContactQuery
