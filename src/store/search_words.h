#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The text of the search index and of searches: folding, the column texts the index
// keeps of a contact, and the words a search text is looked for by. The import's
// duplicate keys fold names in the same way.
namespace SearchIndex {

// The fields of a contact the index's text is made of, in table order
// (ContactSchema::fieldNames()).
inline constexpr int kFieldCount = 13;

// Text as the index stores and searches it: lower case, diacritics stripped (ł -> l).
QString fold(const QString &text);
// Only the digits of text: "+48 22 555-11" -> "482255511".
QString digits(const QString &text);
// The four column texts the index keeps of a contact, given its 13 field values: the
// folded Nazwa, Filia and Email, and Inne with every other field a line, telephone and
// fax numbers also as bare digits.
QStringList columnTexts(const QStringList &values);

// Words a search uses at most: each adds its conditions to one statement, and the
// engine refuses a statement past a depth of about a thousand.
inline constexpr qsizetype kMostWords = 64;

// The forms a folded word is looked for in, any of which matches. A word of digits and
// telephone punctuation ("22-555", "(22)", the post code "80-266") is looked for by
// its digits, as the index keeps telephone numbers also as bare digits, and as typed;
// a word of five digits also as a post code ("80266": "80-266"). The digits come
// first.
QStringList wordForms(const QString &word);
// The folded words of a search text, each as its forms, a word given twice once.
QList<QStringList> searchWords(const QString &text);
// Refuses a search of more than kMostWords words with a KaxError that says so.
void checkWordCount(const QList<QStringList> &words);

// The word with LIKE's wildcards escaped by '\'.
QString likeEscaped(const QString &word);
// '%word%' for LIKE with '\' as the escape character.
QString containsPattern(const QString &word);

} // namespace SearchIndex
