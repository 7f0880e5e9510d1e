#pragma once

#include "exchange/duplicate_finder.h"
#include "store/table_batch.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ContactImport {

class Source;

// Reads the contacts on a thread of its own, a batch at a time, so that reading the
// file and writing the table overlap. The source is touched by that thread alone
// until next() has returned false.
class ReadAhead final
{
public:
    struct Read
    {
        ContactRecord record;
        TableBatch::Prepared row; // the record as the table takes it
        Keys keys;                // its keys for finding duplicates
        qint64 line = 0;          // where the record ends in the file
        bool blank = false;       // not a value in any field: passed over
    };
    // Run on the reading thread for each record read.
    using Prepare = std::function<void(Read *read)>;
    struct Batch
    {
        std::vector<Read> records;
        int percent = 0; // of the file read
    };

    ReadAhead(Source &source, Prepare prepare);
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // Whether next() would return at once.
    bool ready();

    enum class Next { Batch, Waiting, End };
    // The next batch, Waiting when none came within `patience`, End once every record
    // was taken and the reading has ended. The batch it held before goes back to the
    // reading thread, which made its texts and frees them faster than this one.
    Next next(Batch *batch, std::chrono::milliseconds patience);

private:
    static constexpr std::size_t kBatch = 512;
    static constexpr std::size_t kQueued = 8;

    void run();

    Source &m_source;
    Prepare m_prepare;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_queue;
    std::vector<std::vector<Read>> m_spent; // taken batches, for the reading thread to free
    bool m_done = false;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace ContactImport
