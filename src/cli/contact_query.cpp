#include "cli/contact_query.h"

#include "exchange/contact_record.h"
#include "platform/errors.h"
#include "store/contact_count.h"
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

QStringList addressLines(const ContactMatch &match)
{
    static const QRegularExpression separators(QStringLiteral("[,;]"));
    QStringList place;
    for (const int field : {ContactRecord::Filia, ContactRecord::Miasto}) {
        const QString value = oneLine(match.values.value(field));
        if (!value.isEmpty())
            place << value;
    }
    const QString rest = oneLine(match.values.value(ContactRecord::Nazwa)) + QLatin1Char('\t') +
                         place.join(QStringLiteral(", "));
    QStringList lines;
    for (const QString &address : match.values.value(ContactRecord::Email).split(separators)) {
        const QString trimmed = oneLine(address);
        if (!trimmed.isEmpty())
            lines << trimmed + QLatin1Char('\t') + rest;
    }
    return lines;
}

int write(TTable &table, const QString &text, QTextStream &out)
{
    const ContactSearch search(table.database(), table.tableName());
    QList<ContactMatch> matches;
    try {
        matches = search.find(text, SearchScope::NameRepresentativeEmail, kLimit, true);
    } catch (const KaxError &error) {
        writeFailure(error.message(), out);
        throw;
    }
    QStringList lines;
    for (const ContactMatch &match : matches)
        lines << addressLines(match);
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
