#include "platform/translations.h"

#include <QCoreApplication>
#include <QTest>

// Qt's stock texts follow the user's language.
class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void polishDesktopGetsPolishStockTexts()
    {
        QCOMPARE(QCoreApplication::translate("QLineEdit", "&Undo"), QStringLiteral("&Undo"));
        QVERIFY(Translations::install(*QCoreApplication::instance(), QLocale(QLocale::Polish)));
        QCOMPARE(QCoreApplication::translate("QLineEdit", "&Undo"), QStringLiteral("&Cofnij"));
        QCOMPARE(QCoreApplication::translate("QPrintDialog", "Print"),
                 QStringLiteral("Drukowanie"));
        QVERIFY(!Translations::install(*QCoreApplication::instance(), QLocale(QLocale::Esperanto)));
    }
};

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
