#pragma once

#include "reports/report_model.h"

#include <QObject>
#include <functional>

class TTable;

// A report container: holds one report definition, `Report1`, over the contact
// table; created once at start-up and never shown as a window.
class ReportContainer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReportContainer)

public:
    // The table is looked up when a report runs: some containers are made
    // before the data module that owns it.
    ReportContainer(const QString &name, std::function<TTable *()> table);

    Report Report1;
    TableDataSet contacts;
    // The notes or history memo filled by the command before a run; null when none.
    ReportItem *m1 = nullptr;

protected:
    // The page footer's footnote, in every report.
    static QString footnote();
};

// `Form8`, "Pełne dane": the full data of every record, numbered, four to a page.
class TForm8 final : public ReportContainer
{
    Q_OBJECT
public:
    explicit TForm8(std::function<TTable *()> table);
};

// `Form6`, "Pełne dane": the full data and notes of the current record.
class TForm6 final : public ReportContainer
{
    Q_OBJECT
public:
    explicit TForm6(std::function<TTable *()> table);
};

// `Form14`, "Etykiety": four address-label variants of every record, numbered.
class TForm14 final : public ReportContainer
{
    Q_OBJECT
public:
    explicit TForm14(std::function<TTable *()> table);
};

// `Form7`, "Wybrane dane": four address variants of the current record.
class TForm7 final : public ReportContainer
{
    Q_OBJECT
public:
    explicit TForm7(std::function<TTable *()> table);
};

// `Form15`: the history log as one text block.
class TForm15 final : public ReportContainer
{
    Q_OBJECT
public:
    explicit TForm15(std::function<TTable *()> table);
};
