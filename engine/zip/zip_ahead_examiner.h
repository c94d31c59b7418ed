// Examining the files of a compressed run ahead of the run's own pass over them: a few threads look up the
// next window of files while the run names and places the ones before, so that a run of many small files
// does not wait for one lookup after another.
#pragma once

#include "platform/directory.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TAheadExaminer {
public:
    // PathOf(i), for i below Count, is asked from the examining threads until the examiner is destroyed.
    TAheadExaminer(std::function<std::string(std::size_t)> pathOf, std::size_t count);
    ~TAheadExaminer();
    TAheadExaminer(const TAheadExaminer&) = delete;
    TAheadExaminer& operator=(const TAheadExaminer&) = delete;

    // What a lookup of file Index found, as platform::FindFile tells it. Files are taken in order, each once.
    bool Take(std::size_t index, platform::TSearchRec& rec);

private:
    struct TSlot {
        bool Found = false;
        platform::TSearchRec Rec;
    };
    struct TRange {
        std::size_t Begin, End;
    };
    void QueueWindow(std::size_t window);
    void Work();
    void Examine(std::size_t index);

    std::function<std::string(std::size_t)> m_pathOf;
    std::size_t m_count;
    // Two windows of files: the one being taken and the one being examined.
    std::vector<TSlot> m_slots;
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_examined;
    std::deque<TRange> m_ranges;
    std::size_t m_pending[2] = {0, 0}; // files of each window not yet examined
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
