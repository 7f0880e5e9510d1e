#include "platform/text_codec.h"
#include "platform/text_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// The program's text files: Windows-1250 unless marked UTF-8, written without loss.
class TestTextCodec : public QObject
{
    Q_OBJECT

private slots:
    void everyByteRoundTrips();
    void polishLettersMapToWindows1250();
    void byteOrderMarkSelectsUtf8();
    void textOutsideWindows1250IsWrittenAsUtf8();
    void nulBytesSurvive();
    void atomicWriteReplacesWholeFileOrNothing();
};

void TestTextCodec::everyByteRoundTrips()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = TextCodec::decode(all);
    QCOMPARE(text.size(), 256);
    // Bytes that Windows-1250 leaves undefined come back as they were.
    QCOMPARE(TextCodec::encode(text), all);
}

void TestTextCodec::polishLettersMapToWindows1250()
{
    const QString letters = QStringLiteral("ąćęłńóśźżĄĆĘŁŃÓŚŹŻ");
    const QByteArray expected(
        "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF");
    QCOMPARE(TextCodec::encode(letters), expected);
    QCOMPARE(TextCodec::decode(expected), letters);
    QCOMPARE(TextCodec::encode(QStringLiteral("€ „cudzysłów”")),
             QByteArray("\x80 \x84\x63udzys\xB3\xF3w\x94"));
}

void TestTextCodec::byteOrderMarkSelectsUtf8()
{
    QCOMPARE(TextCodec::decode(QByteArray("\xEF\xBB\xBFza\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87")),
             QStringLiteral("zażółć"));
    // Without the mark the same bytes are Windows-1250.
    QCOMPARE(TextCodec::decode(QByteArray("\xC5\xBC")), QStringLiteral("ĹĽ"));
}

void TestTextCodec::textOutsideWindows1250IsWrittenAsUtf8()
{
    const QString mixed = QStringLiteral("Łódź — Київ");
    QVERIFY(!TextCodec::fitsWindows1250(mixed));
    const QByteArray bytes = TextCodec::encode(mixed);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(TextCodec::decode(bytes), mixed);
}

void TestTextCodec::nulBytesSurvive()
{
    const QByteArray bytes("a\0b\r\nc", 6);
    const QString text = TextCodec::decode(bytes);
    QCOMPARE(text.size(), 6);
    QCOMPARE(TextCodec::encode(text), bytes);
}

void TestTextCodec::atomicWriteReplacesWholeFileOrNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Historia.kax"));
    QVERIFY(TextFile::writeAtomic(path, QStringLiteral("pierwsza\r\n")).ok);
    QVERIFY(TextFile::writeAtomic(path, QStringLiteral("druga ąę\r\n")).ok);
    const TextFile::ReadResult read = TextFile::read(path);
    QVERIFY(read.ok);
    QCOMPARE(read.text, QStringLiteral("druga ąę\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"Historia.kax"}));
    // A target that cannot be written reports why and leaves nothing behind.
    const TextFile::WriteResult failed =
        TextFile::writeAtomic(dir.filePath(QStringLiteral("missing/Historia.kax")), "x");
    QVERIFY(!failed.ok);
    QCOMPARE(failed.error, QStringLiteral("nie ma takiego pliku ani folderu"));
    QVERIFY(!TextFile::read(dir.filePath(QStringLiteral("nothing.kax"))).exists);
    // The file replaced keeps its mode; a pipe in its place is left alone.
    const QByteArray name = QFile::encodeName(path);
    QCOMPARE(::chmod(name.constData(), 0640), 0);
    QVERIFY(TextFile::writeAtomic(path, QStringLiteral("trzecia")).ok);
    struct stat status
    {
    };
    QCOMPARE(::stat(name.constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, 0640u);
    const QString pipe = dir.filePath(QStringLiteral("Ulubione.kax"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QCOMPARE(TextFile::writeAtomic(pipe, QStringLiteral("x")).error,
             QStringLiteral("to nie jest zwykły plik, lecz folder, potok lub urządzenie"));
    QVERIFY(!QFileInfo(pipe).isFile());
}

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_text_codec.moc"
