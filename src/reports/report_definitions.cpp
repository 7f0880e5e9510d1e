#include "reports/report_definitions.h"

#include <initializer_list>

namespace {

constexpr double kRowPitch = 4.23;    // rows of the full-data reports and the labels
constexpr double kChoicePitch = 6.35; // lines of the address variants
constexpr double kProductNameHeight = 6.1;

// One line of an address box: a label or a field, optionally bold, optionally
// with its own width.
struct BoxLine
{
    const char *field; // null for the label
    bool bold = false;
    double width = 0.0; // 0: the box's text width
    const char *caption = nullptr;
};

struct Box
{
    double left, top, width, height; // the rectangle
    double textLeft, textWidth, firstTop;
};

void addBox(ReportBand &band, ReportDataSet *contacts, const Box &box, double pitch,
            std::initializer_list<BoxLine> lines)
{
    band.addShape(box.left, box.top, box.width, box.height);
    double top = box.firstTop;
    for (const BoxLine &line : lines) {
        ReportItem &item =
            line.field ? band.addDataText(box.textLeft, top, contacts, QLatin1String(line.field))
                       : band.addLabel(box.textLeft, top, QString::fromUtf8(line.caption));
        if (line.field)
            item.setFixedWidth(line.width > 0 ? line.width : box.textWidth); // one line, cut off
        if (line.bold)
            item.setBold();
        top += pitch;
    }
}

void addProductName(ReportBand &band, double left, double top)
{
    band.addLabel(left, top, QStringLiteral("Kartax2000®"))
        .setFontSize(14)
        .setHeight(kProductNameHeight);
}

// The caption and value rows of the full-data reports.
struct Row
{
    const char *caption;
    const char *field; // null: the running number
};

void addRows(ReportBand &band, ReportDataSet *contacts, std::initializer_list<Row> rows)
{
    int k = 0;
    for (const Row &row : rows) {
        const double top = 2.1 + kRowPitch * k++;
        band.addLabel(2.1, top, QString::fromUtf8(row.caption));
        if (row.field)
            band.addDataText(29.6, top, contacts, QLatin1String(row.field));
        else
            band.addSystemData(29.6, top, SystemDataKind::sdDetailNo);
    }
}

} // namespace

ReportContainer::ReportContainer(const QString &name, std::function<TTable *()> table)
    : contacts(std::move(table))
{
    setObjectName(name);
}

QString ReportContainer::footnote()
{
    return QStringLiteral("Kartax2000® – Internetowa Baza Adresowa");
}

TForm8::TForm8(std::function<TTable *()> table)
    : ReportContainer(QStringLiteral("Form8"), std::move(table))
{
    Report1.title = QStringLiteral("Pełne dane");
    Report1.setDataSet(&contacts);
    ReportBand &header = Report1.addBand(BandType::btPageHeader, 13.5);
    addProductName(header, 82.6, 2.1);
    header.addSystemData(160.9, 2.1, SystemDataKind::sdDateTime);
    header.addLabel(80.4, 8.5, QStringLiteral("(baza danych programu)"));

    ReportBand &detail = Report1.addBand(BandType::btDetail, 59.3);
    addRows(detail, &contacts,
            {{"Lp", nullptr},
             {"Nazwa", "Nazwa"},
             {"Branża", "Branza"},
             {"Przedstawiciel", "Filia"},
             {"Kraj", "Kraj"},
             {"Region", "Region"},
             {"Kod", "Kod"},
             {"Miasto", "Miasto"},
             {"Ulica", "Ulica"},
             {"e-mail", "Email"},
             {"Internet", "Http"},
             {"Telefon", "Tel"},
             {"Telefax", "Fax"}});

    ReportBand &footer = Report1.addBand(BandType::btPageFooter, 10.6);
    footer.addLabel(2.1, 2.1, footnote()).setFontSize(8).setItalic();
    footer.addLabel(80.4, 2.1, QStringLiteral("strona"));
    footer.addSystemData(91.0, 2.1, SystemDataKind::sdPageNumber);
    footer.addLabel(149.2, 2.1, QStringLiteral("pozycji"));
    footer.addSystemData(164.0, 2.1, SystemDataKind::sdDetailCount);
}

TForm6::TForm6(std::function<TTable *()> table)
    : ReportContainer(QStringLiteral("Form6"), std::move(table))
{
    Report1.title = QStringLiteral("Pełne dane");
    ReportBand &header = Report1.addBand(BandType::btPageHeader, 15.6);
    addProductName(header, 76.2, 2.1);
    header.addLabel(74.1, 8.5, QStringLiteral("(wybrane dane z bazy)"));
    header.addSystemData(156.6, 2.1, SystemDataKind::sdDateTime);

    ReportBand &detail = Report1.addBand(BandType::btDetail, 59.3);
    addRows(detail, &contacts,
            {{"Nazwa", "Nazwa"},
             {"Branża", "Branza"},
             {"Przedstawiciel", "Filia"},
             {"Kraj", "Kraj"},
             {"Region", "Region"},
             {"Miasto", "Miasto"},
             {"Kod", "Kod"},
             {"Ulica", "Ulica"},
             {"Telefon", "Tel"},
             {"Telefax", "Fax"},
             {"e-mail", "Email"},
             {"Interner", "Http"}});
    m1 = &detail.addMemo(2.1, 52.9, 0.0, 4.5, QStringLiteral("m1")).setStretch();

    ReportBand &footer = Report1.addBand(BandType::btPageFooter, 10.6);
    footer.addLabel(2.1, 2.1, footnote()).setFontSize(8).setItalic();
    footer.addLabel(86.8, 2.1, QStringLiteral("strona"));
    footer.addSystemData(97.4, 2.1, SystemDataKind::sdPageNumber);
}

TForm14::TForm14(std::function<TTable *()> table)
    : ReportContainer(QStringLiteral("Form14"), std::move(table))
{
    Report1.title = QStringLiteral("Etykiety");
    Report1.setDataSet(&contacts);
    ReportBand &header = Report1.addBand(BandType::btPageHeader, 11.4);
    addProductName(header, 78.3, 0.0);
    header.addLabel(86.8, 6.4, QStringLiteral("(Etykiety)"));

    ReportBand &detail = Report1.addBand(BandType::btDetail, 74.1);
    detail.addSystemData(0.0, 2.1, SystemDataKind::sdDetailNo);
    addBox(detail, &contacts, {16.9, 0.0, 61.6, 29.9, 19.1, 57.4, 2.1}, kRowPitch,
           {{nullptr, false, 0, "Sz.P."}, {"Nazwa"}, {"Ulica"}, {"Kod"}, {"Miasto"}, {"Kraj"}});
    addBox(detail, &contacts, {90.2, 0.0, 80.4, 29.9, 92.1, 76.5, 2.1}, kRowPitch,
           {{"Nazwa"}, {"Branza"}, {"Ulica"}, {"Kod"}, {"Miasto"}, {"Kraj"}});
    addBox(detail, &contacts, {7.7, 31.8, 80.4, 29.9, 9.5, 76.5, 33.9}, kRowPitch,
           {{"Nazwa"}, {"Filia"}, {"Ulica"}, {"Kod"}, {"Miasto"}, {"Kraj"}});
    addBox(detail, &contacts, {90.2, 31.8, 80.4, 34.1, 92.1, 76.5, 33.9}, kRowPitch,
           {{"Nazwa"}, {"Branza"}, {"Filia"}, {"Ulica"}, {"Kod"}, {"Miasto"}, {"Kraj"}});
    detail.addShape(2.1, 69.9, 181.8, 0.3); // the cut line between records

    ReportBand &footer = Report1.addBand(BandType::btPageFooter, 10.6);
    footer.addLabel(0.0, 2.1, footnote()).setFontSize(8).setItalic();
    footer.addLabel(80.4, 2.1, QStringLiteral("stron"));
    footer.addSystemData(93.1, 2.1, SystemDataKind::sdPageNumber);
    footer.addLabel(151.1, 2.1, QStringLiteral("pozycji"));
    footer.addSystemData(165.9, 2.1, SystemDataKind::sdDetailCount);
}

TForm7::TForm7(std::function<TTable *()> table)
    : ReportContainer(QStringLiteral("Form7"), std::move(table))
{
    Report1.title = QStringLiteral("Wybrane dane");
    ReportBand &header = Report1.addBand(BandType::btPageHeader, 10.6);
    addProductName(header, 69.9, 2.1);

    ReportBand &detail = Report1.addBand(BandType::btDetail, 100.3);
    addBox(detail, &contacts, {10.6, 0.0, 78.6, 40.5, 12.7, 74.3, 2.1}, kChoicePitch,
           {{nullptr, true, 0, "Sz.P."},
            {"Nazwa", true},
            {"Ulica"},
            {"Kod", true, 18.5},
            {"Miasto"},
            {"Kraj", true}});
    addBox(
        detail, &contacts, {99.0, 0.0, 82.8, 40.5, 101.1, 78.6, 2.1}, kChoicePitch,
        {{"Nazwa", true}, {"Branza"}, {"Ulica"}, {"Kod", true, 18.5}, {"Miasto"}, {"Kraj", true}});
    addBox(detail, &contacts, {10.6, 42.3, 87.0, 40.5, 12.7, 82.8, 44.5}, kChoicePitch,
           {{"Nazwa", true}, {"Filia"}, {"Ulica"}, {"Kod", true}, {"Miasto"}, {"Kraj", true}});
    addBox(detail, &contacts, {99.7, 42.3, 82.8, 46.8, 101.9, 78.6, 44.5}, kChoicePitch,
           {{"Nazwa", true},
            {"Branza"},
            {"Filia"},
            {"Ulica"},
            {"Kod", true},
            {"Miasto"},
            {"Kraj", true}});
    detail.addLabel(10.6, 88.9, QStringLiteral("Proszę wybrać właściwą"));

    ReportBand &footer = Report1.addBand(BandType::btPageFooter, 8.7);
    footer.addLabel(2.1, 2.1, footnote()).setFontSize(8).setItalic();
}

TForm15::TForm15(std::function<TTable *()> table)
    : ReportContainer(QStringLiteral("Form15"), std::move(table))
{
    ReportBand &header = Report1.addBand(BandType::btPageHeader, 10.6);
    header.addLabel(67.7, 2.1, QStringLiteral("Historia użycia programu Kartax2000®"));
    header.addSystemData(163.0, 2.1, SystemDataKind::sdDateTime);

    ReportBand &detail = Report1.addBand(BandType::btDetail, 7.1);
    m1 = &detail.addMemo(2.1, 2.1, 0.0, 4.5, QStringLiteral("m1")).setStretch();

    ReportBand &footer = Report1.addBand(BandType::btPageFooter, 8.5);
    footer.addLabel(2.1, 2.1, footnote()).setFontSize(8).setItalic();
    footer.addLabel(86.8, 2.1, QStringLiteral("strona"));
    footer.addSystemData(101.6, 2.1, SystemDataKind::sdPageNumber);
}
