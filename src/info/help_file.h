#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One topic of the help file, reached by its context number.
struct HelpTopic
{
    int context = 0;
    QString title;
    QString group;        // chapter of the contents; empty for a top-level topic
    QStringList keywords; // index entries
    QString body;         // simple HTML
};

// One entry of the help index: a keyword and the topics that list it.
struct HelpIndexEntry
{
    QString keyword;
    QList<int> contexts;
};

// The parsed help file: its title and topics in the order of the file.
class HelpDocument final
{
public:
    QString title;
    QList<HelpTopic> topics;

    const HelpTopic *topic(int context) const;
    // Every keyword once (case-insensitively), in Polish alphabetical order.
    QList<HelpIndexEntry> index() const;
    // Topics whose title, keywords or text hold every word of the query, ignoring
    // case and Polish diacritics, best matches first (title, then keywords, then text).
    QList<int> search(const QString &query) const;

    // Text as searches compare it: lower case, without Polish diacritics.
    static QString folded(const QString &text);
};

// The outcome of reading a help file: the document, or the reason it could not be
// read. A result to be looked at, never dropped.
struct [[nodiscard]] HelpParseResult
{
    bool ok = false;
    HelpDocument document;
    QString error; // a Polish description with the line number, when !ok
};

// The help file format, version 1: UTF-8 text (an optional byte-order mark).
//
//   KARTAX-HELP 1
//   title: <title of the whole help>
//
//   [topic <context number>]
//   title: <topic title>
//   group: <chapter of the contents>      (optional)
//   keywords: <entry>; <entry>; ...       (optional)
//
//   <HTML body, up to the next line starting with "[topic ">
//
// Lines starting with "#" in the file header and the topic headers are comments.
// Bodies link to other topics with <a href="topic:N">.
namespace HelpFile {

[[nodiscard]] HelpParseResult parse(const QByteArray &data);
[[nodiscard]] HelpParseResult load(const QString &path);

} // namespace HelpFile
