#pragma once

// Small helpers shared by the benchmarks: timing, order statistics, resident
// memory, and the one-line "name value unit" output that scripts/bench collects.

#include <QFile>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double microsecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// The p-th percentile (0..100) of the samples, by nearest rank.
inline double percentile(std::vector<double> samples, double p)
{
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<size_t>(p / 100.0 * double(samples.size() - 1) + 0.5);
    return samples[std::min(rank, samples.size() - 1)];
}

inline double median(std::vector<double> samples)
{
    return percentile(std::move(samples), 50.0);
}

// A size in megabytes from this process's /proc/self/status ("VmRSS", "VmHWM").
inline double statusMegabytes(const QByteArray &name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1.0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1.0;
}

// Resident set size of this process in megabytes.
inline double residentMegabytes()
{
    return statusMegabytes("VmRSS");
}

// The peak resident set size of this process in megabytes since the start or the
// last resetPeakResident().
inline double peakResidentMegabytes()
{
    return statusMegabytes("VmHWM");
}

// Starts the peak resident set size afresh from the present size (Linux 4.0 and later).
inline bool resetPeakResident()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

inline void report(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// The times of `count` runs of step(i), in microseconds.
template<typename Step> std::vector<double> sample(int count, Step step)
{
    std::vector<double> samples;
    samples.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        step(i);
        samples.push_back(microsecondsSince(start));
    }
    return samples;
}

// Reports the median and the 99th percentile of samples as name_median and name_p99.
inline void reportSpread(const QString &name, const std::vector<double> &samples)
{
    report(qPrintable(name + QStringLiteral("_median")), median(samples), "us");
    report(qPrintable(name + QStringLiteral("_p99")), percentile(samples, 99), "us");
}

} // namespace bench
