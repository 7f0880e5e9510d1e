#pragma once

#include "platform/widgets/file_dialogs.h"
#include "platform/widgets/printers.h"
#include "reports/prepared_pages.h"
#include "reports/report_model.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>
#include <vector>

// Printers for tests: a scripted printer list and print dialog; every print job
// is a PDF file in a temporary folder. Installed for its lifetime.
class ReportFakePrinters final : public Printers
{
public:
    ReportFakePrinters();
    ~ReportFakePrinters() override;
    ReportFakePrinters(const ReportFakePrinters &) = delete;
    ReportFakePrinters &operator=(const ReportFakePrinters &) = delete;

    QStringList names{QStringLiteral("Office"), QStringLiteral("Labels")};
    QString defaultName = QStringLiteral("Office");
    // The dialog's answer; nullopt cancels it.
    std::optional<PrintDialogResult> dialogAnswer;

    QStringList printerNames() const override { return names; }
    QString defaultPrinterName() const override { return defaultName; }
    std::optional<PrintDialogResult> printDialog(QWidget *parent,
                                                 const PrintDialogRequest &request) override;
    std::unique_ptr<QPrinter> createPrinter(const QString &printerName) override;

    QList<PrintDialogRequest> dialogRequests;
    QStringList jobPrinterNames; // the printer asked for by each job
    QStringList jobFiles;        // the PDF file of each job

private:
    QTemporaryDir m_dir;
};

// File dialogs for tests: answers from queues, requests recorded. Installed for
// its lifetime.
class ReportFakeFileDialogs final : public FileDialogs
{
public:
    ReportFakeFileDialogs();
    ~ReportFakeFileDialogs() override;
    ReportFakeFileDialogs(const ReportFakeFileDialogs &) = delete;
    ReportFakeFileDialogs &operator=(const ReportFakeFileDialogs &) = delete;

    QStringList openAnswers;
    QStringList saveAnswers;
    QStringList folderAnswers;
    QList<FileDialogRequest> requests;

    QString openFileName(QWidget *parent, const FileDialogRequest &request) override;
    QString saveFileName(QWidget *parent, const FileDialogRequest &request) override;
    QString existingFolder(QWidget *parent, const FileDialogRequest &request) override;
};

// Report data held in memory: records of field values, in order.
class ReportListData final : public ReportDataSet
{
public:
    QList<QHash<QString, QString>> records;
    qint64 reportedCount = -2; // -2: the real count; anything else is reported as is
    int position = 0;
    int moves = 0;

    void addRecord(const QHash<QString, QString> &values) { records.append(values); }
    void first() override;
    void next() override;
    bool eof() const override { return position >= records.size(); }
    bool isEmpty() const override { return records.isEmpty(); }
    qint64 recordCount() const override;
    QString fieldText(const QString &field) const override;
};

// Page items by text, for comparisons of laid-out pages.
QList<PageItem> reportItemsWithText(const PreparedPage &page, const QString &text);
// The texts of a page's text items in drawing order.
QStringList reportTexts(const PreparedPage &page);
// A page sink that keeps the pages in memory.
class ReportPageList final : public PageSink
{
public:
    StyleTable table;
    std::vector<PreparedPage> pages;
    StyleTable &styles() override { return table; }
    void addPage(const PreparedPage &page) override { pages.push_back(page); }
};
