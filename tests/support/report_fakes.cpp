#include "support/report_fakes.h"

#include <QPrinter>

ReportFakePrinters::ReportFakePrinters()
{
    Printers::install(this);
}

ReportFakePrinters::~ReportFakePrinters()
{
    Printers::install(nullptr);
}

std::optional<PrintDialogResult> ReportFakePrinters::printDialog(QWidget *,
                                                                 const PrintDialogRequest &request)
{
    dialogRequests.append(request);
    return dialogAnswer;
}

std::unique_ptr<QPrinter> ReportFakePrinters::createPrinter(const QString &printerName)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    const QString file = m_dir.filePath(QStringLiteral("job-%1.pdf").arg(jobFiles.size() + 1));
    printer->setOutputFileName(file);
    jobPrinterNames.append(printerName);
    jobFiles.append(file);
    return printer;
}

ReportFakeFileDialogs::ReportFakeFileDialogs()
{
    FileDialogs::install(this);
}

ReportFakeFileDialogs::~ReportFakeFileDialogs()
{
    FileDialogs::install(nullptr);
}

QString ReportFakeFileDialogs::openFileName(QWidget *, const FileDialogRequest &request)
{
    requests.append(request);
    return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
}

QString ReportFakeFileDialogs::saveFileName(QWidget *, const FileDialogRequest &request)
{
    requests.append(request);
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
}

QString ReportFakeFileDialogs::existingFolder(QWidget *, const FileDialogRequest &request)
{
    requests.append(request);
    return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
}

void ReportListData::first()
{
    position = 0;
    ++moves;
}

void ReportListData::next()
{
    if (position < records.size())
        ++position;
    ++moves;
}

qint64 ReportListData::recordCount() const
{
    return reportedCount == -2 ? records.size() : reportedCount;
}

QString ReportListData::fieldText(const QString &field) const
{
    if (records.isEmpty())
        return {};
    const int index = std::min<int>(position, int(records.size()) - 1);
    return records.at(index).value(field);
}

QList<PageItem> reportItemsWithText(const PreparedPage &page, const QString &text)
{
    QList<PageItem> found;
    for (const PageItem &item : page.items) {
        if (item.kind == PageItem::Kind::Text && item.text == text)
            found.append(item);
    }
    return found;
}

QStringList reportTexts(const PreparedPage &page)
{
    QStringList texts;
    for (const PageItem &item : page.items) {
        if (item.kind == PageItem::Kind::Text)
            texts.append(item.text);
    }
    return texts;
}
