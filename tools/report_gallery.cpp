// Writes the five reports, run over sample contacts, to PDF files.
// Usage: report_gallery <output folder> [contacts]   (run with QT_QPA_PLATFORM=offscreen)

#include "platform/data_folder.h"
#include "reports/page_renderer.h"
#include "reports/prepared_pages.h"
#include "reports/report_definitions.h"
#include "reports/report_engine.h"
#include "sample_contacts.h"
#include "store/data_module.h"
#include "store/table.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("out");
    const int count = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 9;
    QDir().mkpath(out);
    QTemporaryDir data;
    DataFolder::setOverride(data.path());
    try {
        TDM9 dm(nullptr, data.filePath(QStringLiteral("Kartax2000.db")));
        sample::ContactGenerator generator(5);
        for (int i = 0; i < count; ++i) {
            const sample::Contact contact = generator.next();
            dm.t1->insert();
            for (int f = 0; f < contact.values.size(); ++f)
                dm.t1->setFieldText(f, contact.values[f]);
            dm.t1->post();
        }
        dm.t1->first();
        const auto table = [&dm] { return dm.t1; };
        TForm6 form6(table);
        form6.m1->lines = dm.t1->fieldText(QStringLiteral("Uwagi")).split(QStringLiteral("\r\n"));
        form6.m1->lines << QStringLiteral("Spotkanie w sprawie dostaw na rok przyszły — "
                                          "ustalono warunki płatności i rabat za ilość.");
        TForm7 form7(table);
        TForm8 form8(table);
        TForm14 form14(table);
        TForm15 form15(table);
        for (int i = 1; i <= 60; ++i)
            form15.m1->lines << QStringLiteral("Połączenie telefoniczne z numerem :  22 %1 00 00 "
                                               "dnia 08 wtorek grudzień 2026 godzina 10:%2:00")
                                    .arg(100 + i)
                                    .arg(i % 60, 2, 10, QLatin1Char('0'));
        for (ReportContainer *container :
             std::initializer_list<ReportContainer *>{&form6, &form7, &form8, &form14, &form15}) {
            PreparedPages pages;
            ReportEngine engine(container->Report1, pages);
            engine.run();
            const QString path =
                QDir(out).filePath(container->objectName() + QStringLiteral(".pdf"));
            const IoResult written = PageOutput::writePdf(pages, path);
            if (!written.ok) {
                std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(written.error));
                return 1;
            }
            std::printf("%s (%d pages)\n", qPrintable(path), pages.pageCount());
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
