#include "info/help_file.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

// The help file format, and the program's own help file.
class TestHelpFile final : public QObject
{
    Q_OBJECT

private slots:
    void readsTopicsByContextNumber();
    void rejectsDamagedFiles_data();
    void rejectsDamagedFiles();
    void indexesKeywordsInPolishOrder();
    void searchesIgnoringCaseAndDiacritics();
    void programHelpCoversEveryWindow();
};

namespace {

const QByteArray sample = "\xEF\xBB\xBF"
                          "KARTAX-HELP 1\r\n"
                          "# a comment\r\n"
                          "title: Pomoc próbna\r\n"
                          "\r\n"
                          "[topic 7]\r\n"
                          "title: Okno About\r\n"
                          "group: Informacje\r\n"
                          "keywords: pamięć; About ;; wersja\r\n"
                          "\r\n"
                          "<p>Miernik pamięci.</p>\r\n"
                          "\r\n"
                          "<p>Zobacz <a href=\"topic:12\">temat</a>.</p>\r\n"
                          "\r\n"
                          "[topic 12]\n"
                          "title: Łączenie\n"
                          "\n"
                          "<p>Łączność z modemem.</p>\n";

} // namespace

void TestHelpFile::readsTopicsByContextNumber()
{
    const HelpParseResult result = HelpFile::parse(sample);
    QVERIFY2(result.ok, qPrintable(result.error));
    const HelpDocument &document = result.document;
    QCOMPARE(document.title, QStringLiteral("Pomoc próbna"));
    QCOMPARE(document.topics.size(), 2);

    const HelpTopic *about = document.topic(7);
    QVERIFY(about);
    QCOMPARE(about->title, QStringLiteral("Okno About"));
    QCOMPARE(about->group, QStringLiteral("Informacje"));
    QCOMPARE(about->keywords, (QStringList{QStringLiteral("pamięć"), QStringLiteral("About"),
                                           QStringLiteral("wersja")}));
    QCOMPARE(about->body, QStringLiteral("<p>Miernik pamięci.</p>\n\n"
                                         "<p>Zobacz <a href=\"topic:12\">temat</a>.</p>"));

    const HelpTopic *joining = document.topic(12);
    QVERIFY(joining);
    QCOMPARE(joining->title, QStringLiteral("Łączenie"));
    QVERIFY(joining->group.isEmpty());
    QVERIFY(joining->keywords.isEmpty());
    QCOMPARE(joining->body, QStringLiteral("<p>Łączność z modemem.</p>"));

    QVERIFY(!document.topic(1));
    QVERIFY(!document.topic(0));
}

void TestHelpFile::rejectsDamagedFiles_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("error");

    const QByteArray topic = "\n[topic 1]\ntitle: T\n\nbody\n";
    QTest::newRow("empty") << QByteArray() << "wiersz 1: brak nagłówka „KARTAX-HELP 1”";
    QTest::newRow("another format")
        << QByteArray("<html></html>\n") << "wiersz 1: brak nagłówka „KARTAX-HELP 1”";
    QTest::newRow("newer version")
        << QByteArray("KARTAX-HELP 2\n") + topic << "wiersz 1: nieobsługiwana wersja formatu „2”";
    QTest::newRow("not UTF-8") << QByteArray("KARTAX-HELP 1\ntitle: Pami\xEA\xE6\n") + topic
                               << "niepoprawne kodowanie znaków (oczekiwano UTF-8)";
    QTest::newRow("no topics") << QByteArray("KARTAX-HELP 1\ntitle: Pusta\n")
                               << "plik nie zawiera żadnego tematu";
    QTest::newRow("unknown header field")
        << QByteArray("KARTAX-HELP 1\nautor: ktoś\n") + topic << "wiersz 2: nieznane pole „autor”";
    QTest::newRow("header line without a field")
        << QByteArray("KARTAX-HELP 1\njust words\n") + topic
        << "wiersz 2: oczekiwano pola „nazwa: wartość”";
    QTest::newRow("context not a number")
        << QByteArray("KARTAX-HELP 1\n\n[topic one]\ntitle: T\n\nbody\n")
        << "wiersz 3: niepoprawny nagłówek tematu „[topic one]”";
    QTest::newRow("context zero") << QByteArray("KARTAX-HELP 1\n\n[topic 0]\ntitle: T\n\nb\n")
                                  << "wiersz 3: numer tematu musi być większy od zera";
    QTest::newRow("topic without a title")
        << QByteArray("KARTAX-HELP 1\n") + topic + "[topic 2]\nkeywords: a\n\nbody\n"
        << "wiersz 7: temat nr 2 nie ma tytułu";
    QTest::newRow("unknown topic field")
        << QByteArray("KARTAX-HELP 1\n\n[topic 2]\ntitle: T\ntytul: X\n\nbody\n")
        << "wiersz 5: nieznane pole „tytul”";
    QTest::newRow("context twice") << QByteArray("KARTAX-HELP 1\n") + topic + topic
                                   << "wiersz 8: temat nr 1 występuje dwukrotnie";
}

void TestHelpFile::rejectsDamagedFiles()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, error);

    const HelpParseResult result = HelpFile::parse(data);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, error);
}

void TestHelpFile::indexesKeywordsInPolishOrder()
{
    const HelpParseResult result =
        HelpFile::parse("KARTAX-HELP 1\n"
                        "[topic 1]\n"
                        "title: A\n"
                        "keywords: Łódź; zegar; lista; Ćwiczenie\n"
                        "\n"
                        "[topic 2]\n"
                        "title: B\n"
                        "keywords: LISTA; żaba; cel; źródło; Ćwiczenie\n");
    QVERIFY2(result.ok, qPrintable(result.error));
    const QList<HelpIndexEntry> index = result.document.index();
    QStringList keywords;
    for (const HelpIndexEntry &entry : index)
        keywords.append(entry.keyword);
    QCOMPARE(keywords,
             (QStringList{"cel", "Ćwiczenie", "lista", "Łódź", "zegar", "źródło", "żaba"}));
    // A keyword of two topics is listed once, with both; case does not matter.
    QCOMPARE(index.at(1).contexts, (QList<int>{1, 2}));
    QCOMPARE(index.at(2).contexts, (QList<int>{1, 2}));
    QCOMPARE(index.at(0).contexts, QList<int>{2});
}

void TestHelpFile::searchesIgnoringCaseAndDiacritics()
{
    const HelpParseResult result = HelpFile::parse("KARTAX-HELP 1\n"
                                                   "[topic 1]\n"
                                                   "title: Okno główne\n"
                                                   "\n"
                                                   "<p>Pamięć &amp; <b>modem</b>: łączenie.</p>\n"
                                                   "[topic 2]\n"
                                                   "title: Pamięć RAM\n"
                                                   "keywords: miernik\n"
                                                   "\n"
                                                   "<p>Ilość pamięci.</p>\n");
    QVERIFY2(result.ok, qPrintable(result.error));
    const HelpDocument &document = result.document;
    // A word in the title ranks first.
    QCOMPARE(document.search(QStringLiteral("PAMIEC")), (QList<int>{2, 1}));
    QCOMPARE(document.search(QStringLiteral("laczenie")), QList<int>{1});
    QCOMPARE(document.search(QStringLiteral("pamięć modem")), QList<int>{1});
    QCOMPARE(document.search(QStringLiteral("miernik")), QList<int>{2});
    // Markup is not text.
    QCOMPARE(document.search(QStringLiteral("<b>")), QList<int>{});
    QCOMPARE(document.search(QStringLiteral("amp")), QList<int>{});
    QCOMPARE(document.search(QStringLiteral("  ")), QList<int>{});
}

void TestHelpFile::programHelpCoversEveryWindow()
{
    const HelpParseResult result = HelpFile::load(QStringLiteral(":/help/Kartax.hlp"));
    QVERIFY2(result.ok, qPrintable(result.error));
    const HelpDocument &document = result.document;
    QVERIFY(!document.title.isEmpty());

    for (int context : {1, 2, 3, 5, 6, 7, 8, 9, 16, 17, 20, 21, 22, 23, 24, 25}) {
        const HelpTopic *topic = document.topic(context);
        QVERIFY2(topic, qPrintable(QString::number(context)));
        QVERIFY(!topic->group.isEmpty());
        QVERIFY(!topic->keywords.isEmpty());
        QVERIFY(topic->body.size() > 200);
    }
    // Every link leads to a topic of the file.
    static const QRegularExpression link(QStringLiteral("href=\"([^\"]*)\""));
    for (const HelpTopic &topic : document.topics) {
        for (const QRegularExpressionMatch &match : link.globalMatch(topic.body)) {
            const QString target = match.captured(1);
            QVERIFY2(target.startsWith(u"topic:") &&
                         document.topic(target.sliced(6).toInt()) != nullptr,
                     qPrintable(QStringLiteral("%1 in topic %2").arg(target).arg(topic.context)));
        }
    }
    QVERIFY(document.index().size() > 50);
}

QTEST_GUILESS_MAIN(TestHelpFile)
#include "tst_help_file.moc"
