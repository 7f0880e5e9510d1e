#include "info/help_file.h"

#include <QCollator>
#include <QFile>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QTextDocumentFragment>
#include <algorithm>

namespace {

constexpr QLatin1StringView magic("KARTAX-HELP");
constexpr int formatVersion = 1;

class Parser final
{
public:
    explicit Parser(const QString &text) : m_lines(text.split(QLatin1Char('\n'))) {}

    HelpParseResult run()
    {
        HelpParseResult result;
        if (!parseHeader(result.document) || !parseTopics(result.document)) {
            result.error = m_error;
            return result;
        }
        if (result.document.topics.isEmpty()) {
            result.error = QStringLiteral("plik nie zawiera żadnego tematu");
            return result;
        }
        result.ok = true;
        return result;
    }

private:
    bool fail(const QString &message)
    {
        m_error = QStringLiteral("wiersz %1: %2").arg(m_pos + 1).arg(message);
        return false;
    }

    QString line(qsizetype pos) const
    {
        QString text = m_lines.at(pos);
        if (text.endsWith(QLatin1Char('\r')))
            text.chop(1);
        return text;
    }

    bool atEnd() const { return m_pos >= m_lines.size(); }

    static bool isTopicLine(const QString &text) { return text.startsWith(u"[topic "); }

    // Splits "name: value"; false when the line has no colon.
    static bool splitField(const QString &text, QString *name, QString *value)
    {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            return false;
        *name = text.first(colon).trimmed().toLower();
        *value = text.sliced(colon + 1).trimmed();
        return true;
    }

    bool parseHeader(HelpDocument &document)
    {
        // The first line names the format and its version.
        const QStringList first = atEnd() ? QStringList() : line(0).simplified().split(u' ');
        if (first.size() != 2 || first.at(0) != magic)
            return fail(QStringLiteral("brak nagłówka „%1 %2”").arg(magic).arg(formatVersion));
        bool ok = false;
        const int version = first.at(1).toInt(&ok);
        if (!ok || version != formatVersion)
            return fail(QStringLiteral("nieobsługiwana wersja formatu „%1”").arg(first.at(1)));
        for (++m_pos; !atEnd() && !isTopicLine(line(m_pos)); ++m_pos) {
            const QString text = line(m_pos).trimmed();
            if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
                continue;
            QString name;
            QString value;
            if (!splitField(text, &name, &value))
                return fail(QStringLiteral("oczekiwano pola „nazwa: wartość”"));
            if (name != u"title")
                return fail(QStringLiteral("nieznane pole „%1”").arg(name));
            document.title = value;
        }
        return true;
    }

    bool parseTopics(HelpDocument &document)
    {
        QSet<int> seen;
        while (!atEnd()) {
            HelpTopic topic;
            const qsizetype opening = m_pos;
            if (!parseTopicHeader(topic))
                return false;
            if (seen.contains(topic.context)) {
                m_pos = opening;
                return fail(QStringLiteral("temat nr %1 występuje dwukrotnie").arg(topic.context));
            }
            seen.insert(topic.context);
            topic.body = takeBody();
            document.topics.append(topic);
        }
        return true;
    }

    bool parseTopicHeader(HelpTopic &topic)
    {
        const QString opening = line(m_pos).trimmed();
        static const QRegularExpression pattern(QStringLiteral("^\\[topic\\s+(\\d{1,9})\\]$"));
        const QRegularExpressionMatch match = pattern.match(opening);
        if (!match.hasMatch())
            return fail(QStringLiteral("niepoprawny nagłówek tematu „%1”").arg(opening));
        topic.context = match.captured(1).toInt();
        if (topic.context <= 0)
            return fail(QStringLiteral("numer tematu musi być większy od zera"));
        const qsizetype openingPos = m_pos;

        for (++m_pos; !atEnd(); ++m_pos) {
            const QString text = line(m_pos).trimmed();
            if (text.isEmpty())
                break;
            if (text.startsWith(QLatin1Char('#')))
                continue;
            QString name;
            QString value;
            if (!splitField(text, &name, &value))
                return fail(QStringLiteral("oczekiwano pola „nazwa: wartość”"));
            if (name == u"title") {
                topic.title = value;
            } else if (name == u"group") {
                topic.group = value;
            } else if (name == u"keywords") {
                for (const QString &keyword : value.split(QLatin1Char(';'))) {
                    if (!keyword.trimmed().isEmpty())
                        topic.keywords.append(keyword.trimmed());
                }
            } else {
                return fail(QStringLiteral("nieznane pole „%1”").arg(name));
            }
        }
        if (topic.title.isEmpty()) {
            m_pos = openingPos;
            return fail(QStringLiteral("temat nr %1 nie ma tytułu").arg(topic.context));
        }
        return true;
    }

    QString takeBody()
    {
        QStringList body;
        for (; !atEnd() && !isTopicLine(line(m_pos)); ++m_pos)
            body.append(line(m_pos));
        return body.join(QLatin1Char('\n')).trimmed();
    }

    QStringList m_lines;
    qsizetype m_pos = 0;
    QString m_error;
};

} // namespace

QString HelpDocument::folded(const QString &text)
{
    // "ł" has no decomposition; every other Polish letter loses its mark below.
    QString result = text.toLower().normalized(QString::NormalizationForm_D);
    result.replace(QChar(u'ł'), QChar(u'l'));
    result.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    return result;
}

const HelpTopic *HelpDocument::topic(int context) const
{
    for (const HelpTopic &candidate : topics) {
        if (candidate.context == context)
            return &candidate;
    }
    return nullptr;
}

QList<HelpIndexEntry> HelpDocument::index() const
{
    QList<HelpIndexEntry> entries;
    QHash<QString, qsizetype> position; // lower-case keyword -> entry
    for (const HelpTopic &topic : topics) {
        for (const QString &keyword : topic.keywords) {
            const QString key = keyword.toLower();
            auto found = position.constFind(key);
            if (found == position.cend()) {
                position.insert(key, entries.size());
                entries.append({keyword, {topic.context}});
            } else if (!entries[*found].contexts.contains(topic.context)) {
                entries[*found].contexts.append(topic.context);
            }
        }
    }
    QCollator collator{QLocale(QLocale::Polish, QLocale::Poland)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(entries.begin(), entries.end(),
                     [&collator](const HelpIndexEntry &a, const HelpIndexEntry &b) {
                         return collator.compare(a.keyword, b.keyword) < 0;
                     });
    return entries;
}

QList<int> HelpDocument::search(const QString &query) const
{
    const QStringList words = folded(query).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    struct Hit
    {
        int context;
        int score;
    };
    QList<Hit> hits;
    for (const HelpTopic &topic : topics) {
        const QString title = folded(topic.title);
        const QString keywords = folded(topic.keywords.join(QLatin1Char(' ')));
        const QString text = folded(QTextDocumentFragment::fromHtml(topic.body).toPlainText());
        int score = 0;
        bool all = true;
        for (const QString &word : words) {
            const int inTitle = title.contains(word) ? 100 : 0;
            const int inKeywords = keywords.contains(word) ? 10 : 0;
            const int inText = int(text.count(word));
            if (inTitle + inKeywords + inText == 0) {
                all = false;
                break;
            }
            score += inTitle + inKeywords + inText;
        }
        if (all)
            hits.append({topic.context, score});
    }
    std::stable_sort(hits.begin(), hits.end(),
                     [](const Hit &a, const Hit &b) { return a.score > b.score; });
    QList<int> result;
    for (const Hit &hit : std::as_const(hits))
        result.append(hit.context);
    return result;
}

namespace HelpFile {

HelpParseResult parse(const QByteArray &data)
{
    QByteArrayView bytes(data);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        HelpParseResult result;
        result.error = QStringLiteral("niepoprawne kodowanie znaków (oczekiwano UTF-8)");
        return result;
    }
    return Parser(text).run();
}

HelpParseResult load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        HelpParseResult result;
        result.error = file.errorString();
        return result;
    }
    return parse(file.readAll());
}

} // namespace HelpFile
