#include "exchange/read_ahead.h"

#include "exchange/import_source.h"

#include <utility>

namespace ContactImport {

ReadAhead::ReadAhead(Source &source, Prepare prepare)
    : m_source(source), m_prepare(std::move(prepare))
{
    m_thread = std::thread([this] { run(); });
}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_source.interrupt();
    m_changed.notify_all();
    m_thread.join();
}

bool ReadAhead::ready()
{
    const std::lock_guard lock(m_mutex);
    return !m_queue.empty() || m_done;
}

ReadAhead::Next ReadAhead::next(Batch *batch, std::chrono::milliseconds patience)
{
    std::unique_lock lock(m_mutex);
    if (!batch->records.empty()) {
        m_spent.push_back(std::move(batch->records));
        batch->records.clear();
    }
    if (!m_changed.wait_for(lock, patience, [this] { return !m_queue.empty() || m_done; }))
        return Next::Waiting;
    if (m_queue.empty())
        return Next::End;
    *batch = std::move(m_queue.front());
    m_queue.pop_front();
    m_changed.notify_all();
    return Next::Batch;
}

void ReadAhead::run()
{
    bool more = true;
    while (more) {
        Batch batch;
        batch.records.reserve(kBatch);
        Read read;
        while (batch.records.size() < kBatch && (more = m_source.readNext(&read.record))) {
            read.line = m_source.lineNumber();
            m_prepare(&read);
            batch.records.push_back(std::exchange(read, {}));
        }
        batch.percent = more ? m_source.percent() : 100;
        std::vector<std::vector<Read>> spent;
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queue.size() < kQueued || m_stop; });
        if (m_stop)
            break;
        m_queue.push_back(std::move(batch));
        spent.swap(m_spent);
        m_changed.notify_all();
        lock.unlock();
    }
    m_source.finish();
    const std::lock_guard lock(m_mutex);
    m_done = true;
    m_changed.notify_all();
}

} // namespace ContactImport
