#include "engine/zip/zip_ahead_examiner.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace {

constexpr std::size_t WindowSize = 1024;
constexpr std::size_t RangeSize = 32;
constexpr unsigned MostThreads = 8;

} // namespace

TAheadExaminer::TAheadExaminer(std::function<std::string(std::size_t)> pathOf, std::size_t count)
    : m_pathOf(std::move(pathOf)), m_count(count) {
    // A handful of files is looked up as it is taken.
    if (count <= RangeSize)
        return;
    m_slots.resize(2 * WindowSize);
    QueueWindow(0);
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, MostThreads);
    try {
        for (unsigned i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        // Fewer threads do the same work; with none, each file is looked up as it is taken.
    }
}

TAheadExaminer::~TAheadExaminer() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_ranges.clear();
    }
    m_queued.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void TAheadExaminer::QueueWindow(std::size_t window) {
    const std::size_t begin = window * WindowSize;
    if (begin >= m_count)
        return;
    const std::size_t end = std::min(begin + WindowSize, m_count);
    std::lock_guard lock(m_mutex);
    for (std::size_t i = begin; i < end; i += RangeSize)
        m_ranges.push_back({i, std::min(i + RangeSize, end)});
    m_pending[window % 2] = end - begin;
    m_queued.notify_all();
}

bool TAheadExaminer::Take(std::size_t index, platform::TSearchRec& rec) {
    if (m_threads.empty())
        return static_cast<bool>(platform::FindFile(m_pathOf(index), rec));
    const std::size_t window = index / WindowSize;
    if (index % WindowSize == 0) {
        // The other window's files have all been taken: its slots hold the next window's.
        QueueWindow(window + 1);
        std::unique_lock lock(m_mutex);
        m_examined.wait(lock, [&] { return m_pending[window % 2] == 0; });
    }
    TSlot& slot = m_slots[index % (2 * WindowSize)];
    rec = std::move(slot.Rec);
    return slot.Found;
}

void TAheadExaminer::Work() {
    for (;;) {
        TRange range{};
        {
            std::unique_lock lock(m_mutex);
            m_queued.wait(lock, [&] { return m_stopping || !m_ranges.empty(); });
            if (m_stopping)
                return;
            range = m_ranges.front();
            m_ranges.pop_front();
        }
        for (std::size_t i = range.Begin; i < range.End; ++i)
            Examine(i);
        bool windowDone;
        {
            std::lock_guard lock(m_mutex);
            std::size_t& pending = m_pending[(range.Begin / WindowSize) % 2];
            pending -= range.End - range.Begin;
            windowDone = pending == 0;
        }
        if (windowDone)
            m_examined.notify_all();
    }
}

void TAheadExaminer::Examine(std::size_t index) {
    TSlot& slot = m_slots[index % (2 * WindowSize)];
    slot.Rec = platform::TSearchRec();
    try {
        slot.Found = static_cast<bool>(platform::FindFile(m_pathOf(index), slot.Rec));
    } catch (const std::bad_alloc&) {
        slot.Found = false; // reported as a file that cannot be opened
    }
}
