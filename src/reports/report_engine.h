#pragma once

#include "reports/prepared_pages.h"
#include "reports/report_model.h"

#include <QDateTime>
#include <functional>
#include <memory>

// The report layout engine: runs a report over its table and lays its bands out
// on pages in millimetres, handing each finished page to a sink. Free of widgets
// and painters; text is measured at a fixed resolution so that layouts are the
// same on every screen and printer.
class ReportEngine final
{
    Q_DISABLE_COPY_MOVE(ReportEngine)

public:
    enum class Outcome { Completed, Cancelled, Busy };

    ReportEngine(Report &report, PageSink &sink);
    ~ReportEngine();

    // Called with the run's progress in whole per cent each time the value changes.
    std::function<void(int percent)> progress;
    // Called between records, at most every yieldInterval milliseconds and right after
    // the first page is finished, to let the program process its window messages.
    std::function<void()> yield;
    int yieldInterval = 20;

    // Stops the run before its next record; callable from within yield.
    void cancel() { m_cancelled = true; }
    bool cancelled() const { return m_cancelled; }

    // Builds the report's pages. Busy, with nothing done, while the same report is
    // already building. Database errors propagate; the report is idle again after.
    Outcome run();

    int pageCount() const;

    // The text of sdDateTime for a moment: the short date and the long time of the
    // system's regional settings, the time left out at exactly midnight.
    static QString dateTimeText(const QDateTime &moment);

    // Millimetres: the width of a text, and the line pitch and ascent of a font.
    static double textWidth(const ReportFont &font, const QString &text);
    static double lineHeight(const ReportFont &font);

private:
    class Layout;
    Report &m_report;
    PageSink &m_sink;
    std::unique_ptr<Layout> m_layout;
    bool m_cancelled = false;
};
