// The folder scanner: the filtered scan into a tree of elements, and the cursor over that tree.
#include "engine/file_system_list.h"

#include "engine/exception.h"
#include "engine/wildcard_match.h"
#include "platform/dos_time.h"
#include "platform/durable_file.h"
#include "platform/file_attributes.h"
#include "platform/file_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using Masks = std::optional<std::vector<std::string>>;
using CompiledMasks = std::optional<std::vector<WildcardMask>>;

CompiledMasks Compile(const Masks& masks) {
    if (!masks)
        return std::nullopt;
    std::vector<WildcardMask> compiled;
    compiled.reserve(masks->size());
    for (const std::string& mask : *masks)
        compiled.emplace_back(mask);
    return compiled;
}

void Append(Masks& masks, const std::vector<std::string>* list) {
    if (!list) {
        masks.reset();
        return;
    }
    if (!masks)
        masks.emplace();
    masks->insert(masks->end(), list->begin(), list->end());
}

// True = keep. With flag 0 only matching entries are kept, with flag 1 only the others; any other flag,
// and an attribute outside the allowed mask, leave the entry out.
bool PassesFilter(const std::string& fullName, int attributes, int allowedMask, const CompiledMasks& masks,
                  std::uint8_t filterFlag) {
    const int a = attributes & platform::faAnyFile;
    if ((a & allowedMask) != a)
        return false;
    if (!masks)
        return true;
    for (const WildcardMask& mask : *masks)
        if (mask.Matches(fullName))
            return filterFlag == 0;
    return filterFlag == 1;
}

bool IsFolder(const TFileSystemElement* element) {
    return !element->Name.empty() && element->Name.back() == platform::PathDelim;
}

TDateTime ScanTime(std::time_t seconds, const platform::TSearchRec& rec) {
    // Most files carry one time for all three; the conversion to local time is the costly part.
    return seconds == rec.ModifiedSeconds ? rec.Modified : platform::DosTimeOf(seconds);
}

} // namespace

struct TFileSystemList::Impl {
    Masks DirectoryMasks;
    Masks FileMasks;
    // Front is the root. A deque keeps every element at its address as the tree grows, and frees a tree
    // of any depth or size without recursion.
    std::deque<TFileSystemElement> Elements;
    TFileSystemElement* Root = nullptr;
    TFileSystemElement* Current = nullptr;

    TFileSystemElement& Initialized() {
        if (!Root)
            throw Exception(
                "Operation not allowed on uninitialized object. Use Open method to initialize object.");
        return *Current;
    }
};

namespace {

// Lists folders ahead of the scan on worker threads, so that the system calls of many folders run at once
// while the scan still takes every listing in its own order, on its own thread, and raises its events in
// that order. A folder that no worker has begun when the scan reaches it is listed by the scan itself.
class TListingsAhead {
public:
    struct TJob {
        explicit TJob(std::string path) : Path(std::move(path)) {}
        const std::string Path;
        platform::DirectoryListing Listing;
        std::atomic<int> State{Queued};
    };
    // Listings made ahead and not yet taken bound the room they hold: in all, and per folder being scanned,
    // so that the far siblings of an outer folder cannot use up the room before the folders the scan
    // enters next.
    static constexpr std::size_t MostWaiting = 128;
    static constexpr std::size_t MostWaitingPerFolder = 16;

    bool HasRoom() const { return m_waiting < MostWaiting; }

    ~TListingsAhead() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_queued.notify_all();
        for (std::thread& worker : m_workers)
            worker.join();
    }

    std::shared_ptr<TJob> Ask(std::string path) {
        auto job = std::make_shared<TJob>(std::move(path));
        ++m_waiting;
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(job);
            if (m_workers.size() < WorkerCount() && m_idle == 0)
                m_workers.emplace_back([this] { Work(); });
        }
        m_queued.notify_one();
        return job;
    }

    platform::DirectoryListing Take(TJob& job) {
        --m_waiting;
        if (Claim(job))
            return platform::ListDirectory(job.Path);
        for (int state = job.State.load(); state != Done; state = job.State.load())
            job.State.wait(state);
        return std::move(job.Listing);
    }

private:
    enum : int { Queued, Running, Done };

    static unsigned WorkerCount() { return std::clamp(std::thread::hardware_concurrency(), 1u, 8u); }
    static bool Claim(TJob& job) {
        int expected = Queued;
        return job.State.compare_exchange_strong(expected, Running);
    }

    void Work() {
        for (;;) {
            std::shared_ptr<TJob> job;
            {
                std::unique_lock lock(m_mutex);
                ++m_idle;
                m_queued.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
                --m_idle;
                if (m_stopping)
                    return;
                job = std::move(m_queue.front());
                m_queue.pop_front();
            }
            if (!Claim(*job))
                continue;
            job->Listing = platform::ListDirectory(job->Path);
            job->State.store(Done);
            job->State.notify_all();
        }
    }

    std::size_t m_waiting = 0; // only the scan's thread counts
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::deque<std::shared_ptr<TJob>> m_queue;
    std::vector<std::thread> m_workers;
    unsigned m_idle = 0;
    bool m_stopping = false;
};

// One depth-first scan, kept on an explicit stack so that deep trees cannot exhaust the thread's stack.
class Scan {
public:
    Scan(const TFileSystemList& list, std::deque<TFileSystemElement>& elements, CompiledMasks directoryMasks,
         CompiledMasks fileMasks, bool prune)
        : m_list(list), m_elements(elements), m_directoryMasks(std::move(directoryMasks)),
          m_fileMasks(std::move(fileMasks)), m_prune(prune) {}

    // Scans Root's folder into Root; returns the total size of the kept files below it.
    std::int64_t Run(TFileSystemElement* root) {
        Enter(root);
        std::int64_t rootTotal = 0;
        while (!m_stack.empty()) {
            Frame& frame = m_stack.back();
            if (frame.NextEntry == frame.Entries.size()) {
                rootTotal = Leave();
                continue;
            }
            const std::size_t index = frame.NextEntry++;
            const platform::TSearchRec& rec = frame.Entries[index];
            TFileSystemElement* folder = frame.Folder;
            if (rec.Kind == platform::EntryKind::Directory) {
                std::string name = FolderName(folder, rec);
                if (EntersFolder(name, rec)) {
                    std::shared_ptr<TListingsAhead::TJob> ahead;
                    if (!frame.Ahead.empty() && frame.Ahead.front().first == index) {
                        ahead = std::move(frame.Ahead.front().second);
                        frame.Ahead.pop_front();
                    }
                    Enter(AppendChild(frame, rec, std::move(name), 0), ahead.get()); // invalidates Frame
                } else {
                    Found(rec, folder, true);
                }
            } else if (rec.Kind == platform::EntryKind::File && platform::IsTemporaryName(rec.Name)) {
                // A file this program is writing (or a killed run left) beside a user's file: never the
                // user's.
            } else if (rec.Kind == platform::EntryKind::File) {
                std::string name = Joined(folder->Name, rec.Name);
                if (PassesFilter(name, rec.Attr, m_list.FileAttributeMask, m_fileMasks,
                                 m_list.FileFilterFlag)) {
                    AppendChild(frame, rec, std::move(name), rec.Size);
                    frame.Total += rec.Size;
                    Found(rec, folder, false);
                } else {
                    Found(rec, folder, true);
                }
            } else {
                // Links to folders are not followed; FIFOs, sockets, devices and dangling links never kept.
                Found(rec, folder, true);
            }
        }
        return rootTotal;
    }

private:
    struct Frame {
        TFileSystemElement* Folder = nullptr;
        std::vector<platform::TSearchRec> Entries;
        std::size_t NextEntry = 0;
        TFileSystemElement* LastChild = nullptr;
        std::int64_t Total = 0;
        // The folders of Entries being listed ahead, by their index, and the next entry to look at for more.
        std::deque<std::pair<std::size_t, std::shared_ptr<TListingsAhead::TJob>>> Ahead;
        std::size_t NextAhead = 0;
    };

    static std::string Joined(const std::string& folder, const std::string& name) {
        std::string path;
        path.reserve(folder.size() + name.size() + 1);
        path += folder;
        path += name;
        return path;
    }

    static std::string FolderName(const TFileSystemElement* parent, const platform::TSearchRec& rec) {
        std::string name = Joined(parent->Name, rec.Name);
        name += platform::PathDelim;
        return name;
    }

    bool EntersFolder(const std::string& name, const platform::TSearchRec& rec) const {
        return !IsExcludedFolder(name) && PassesFilter(name, rec.Attr, m_list.DirectoryAttributeMask,
                                                       m_directoryMasks, m_list.DirectoryFilterFlag);
    }

    void Enter(TFileSystemElement* folder, TListingsAhead::TJob* ahead = nullptr) {
        platform::DirectoryListing listing =
            ahead ? m_ahead.Take(*ahead) : platform::ListDirectory(folder->Name);
        // A folder that vanished (or became a file) meanwhile has nothing to report.
        const int error = listing.Error.Code();
        if (error != 0 && error != ENOENT && error != ENOTDIR && m_list.OnFolderError)
            m_list.OnFolderError(folder->Name, error);
        Frame& frame = m_stack.emplace_back();
        frame.Folder = folder;
        frame.Entries = std::move(listing.Entries);
        AskAhead();
    }

    // Has the folders the scan will enter next listed ahead: those of the innermost folder, in order.
    void AskAhead() {
        Frame& frame = m_stack.back();
        while (m_ahead.HasRoom() && frame.Ahead.size() < TListingsAhead::MostWaitingPerFolder &&
               frame.NextAhead < frame.Entries.size()) {
            const std::size_t index = frame.NextAhead++;
            const platform::TSearchRec& rec = frame.Entries[index];
            if (rec.Kind != platform::EntryKind::Directory)
                continue;
            std::string name = FolderName(frame.Folder, rec);
            if (EntersFolder(name, rec))
                frame.Ahead.emplace_back(index, m_ahead.Ask(std::move(name)));
        }
    }

    // Closes the innermost folder and returns its total.
    std::int64_t Leave() {
        TFileSystemElement* folder = m_stack.back().Folder;
        const std::int64_t total = m_stack.back().Total;
        m_stack.pop_back();
        folder->Size = total;
        if (!m_stack.empty()) {
            m_stack.back().Total += total;
            if (m_prune && !folder->FirstChild)
                RemoveLastChild(m_stack.back());
            AskAhead();
        }
        return total;
    }

    TFileSystemElement* AppendChild(Frame& frame, const platform::TSearchRec& rec, std::string name,
                                    std::int64_t size) {
        TFileSystemElement& element = m_elements.emplace_back();
        element.Name = std::move(name);
        element.Attributes = rec.Attr;
        element.Size = size;
        element.Modified = rec.Modified;
        element.Created = ScanTime(rec.CreatedSeconds, rec);
        element.Accessed = ScanTime(rec.AccessedSeconds, rec);
        element.Parent = frame.Folder;
        element.Prev = frame.LastChild;
        if (frame.LastChild)
            frame.LastChild->Next = &element;
        else
            frame.Folder->FirstChild = &element;
        frame.LastChild = &element;
        return &element;
    }

    // An empty folder is the newest element of the tree, so it can be given back at once.
    void RemoveLastChild(Frame& frame) {
        TFileSystemElement* child = frame.LastChild;
        frame.LastChild = child->Prev;
        if (child->Prev)
            child->Prev->Next = nullptr;
        else
            frame.Folder->FirstChild = nullptr;
        m_elements.pop_back();
    }

    bool IsExcludedFolder(const std::string& name) const {
        const std::vector<std::string>& excluded = m_list.ExcludedFolders;
        return std::find(excluded.begin(), excluded.end(), name) != excluded.end();
    }

    void Found(const platform::TSearchRec& rec, TFileSystemElement* parent, bool excluded) {
        if (m_list.OnFileFound)
            m_list.OnFileFound(rec, parent, excluded);
    }

    const TFileSystemList& m_list;
    std::deque<TFileSystemElement>& m_elements;
    const CompiledMasks m_directoryMasks;
    const CompiledMasks m_fileMasks;
    const bool m_prune;
    TListingsAhead m_ahead;
    std::vector<Frame> m_stack;
};

} // namespace

TFileSystemList::TFileSystemList() : m_impl(std::make_unique<Impl>()) {}

TFileSystemList::~TFileSystemList() = default;

void TFileSystemList::SetDirectoryMasks(const std::vector<std::string>* list) {
    Append(m_impl->DirectoryMasks, list);
}

void TFileSystemList::SetFileMasks(const std::vector<std::string>* list) {
    Append(m_impl->FileMasks, list);
}

void TFileSystemList::Open(const std::string& directory, bool pruneEmptyDirectories) {
    if (!platform::DirectoryExists(directory))
        throw Exception("Invalid directory - " + directory);
    // A malformed mask fails here, before the old tree is given up.
    CompiledMasks directoryMasks = Compile(m_impl->DirectoryMasks);
    CompiledMasks fileMasks = Compile(m_impl->FileMasks);
    auto& elements = m_impl->Elements;
    if (elements.empty())
        elements.emplace_back();
    else
        elements.resize(1);
    TFileSystemElement& root = elements.front();
    root = TFileSystemElement();
    root.Name = platform::IncludeTrailingPathDelimiter(directory);
    root.Attributes = platform::faDirectory;
    m_impl->Root = m_impl->Current = &root;
    Scan scan(*this, elements, std::move(directoryMasks), std::move(fileMasks), pruneEmptyDirectories);
    root.Size = scan.Run(&root);
}

void TFileSystemList::First() {
    m_impl->Initialized();
    m_impl->Current = m_impl->Root;
}

void TFileSystemList::Up() {
    TFileSystemElement& current = m_impl->Initialized();
    if (current.Parent)
        m_impl->Current = current.Parent;
}

void TFileSystemList::FirstSibling() {
    TFileSystemElement* element = &m_impl->Initialized();
    while (element->Prev)
        element = element->Prev;
    m_impl->Current = element;
}

bool TFileSystemList::Next() {
    TFileSystemElement& current = m_impl->Initialized();
    if (!current.Next)
        return false;
    m_impl->Current = current.Next;
    return true;
}

bool TFileSystemList::Down() {
    TFileSystemElement& current = m_impl->Initialized();
    if (!current.FirstChild)
        return false;
    m_impl->Current = current.FirstChild;
    return true;
}

bool TFileSystemList::IsLast() {
    return m_impl->Initialized().Next == nullptr;
}

bool TFileSystemList::HasChildren() {
    return m_impl->Initialized().FirstChild != nullptr;
}

// Names are compared exactly, and only folders are descended into: on Linux "Data/" and "data/" may be
// siblings, and a file whose name begins a folder's name has nothing below it.
bool TFileSystemList::Locate(const std::string& fullName) {
    m_impl->Initialized();
    for (TFileSystemElement* element = m_impl->Root; element;) {
        if (element->Name == fullName) {
            m_impl->Current = element;
            return true;
        }
        const bool below = IsFolder(element) && fullName.compare(0, element->Name.size(), element->Name) == 0;
        element = below ? element->FirstChild : element->Next;
    }
    return false;
}

std::string TFileSystemList::GetFullName() {
    return m_impl->Initialized().Name;
}

std::string TFileSystemList::GetName() {
    return platform::ExtractFileName(platform::ExcludeTrailingPathDelimiter(m_impl->Initialized().Name));
}

int TFileSystemList::GetAttributes() {
    return m_impl->Initialized().Attributes;
}

std::int64_t TFileSystemList::GetSize() {
    return m_impl->Initialized().Size;
}

int TFileSystemList::GetFileCount(bool recursive) {
    const TFileSystemElement* start = &m_impl->Initialized();
    int count = 0;
    const TFileSystemElement* element = start->FirstChild;
    while (element) {
        if (!(element->Attributes & platform::faDirectory))
            ++count;
        if (recursive && element->FirstChild) {
            element = element->FirstChild;
            continue;
        }
        while (element != start && !element->Next)
            element = element->Parent;
        element = element == start ? nullptr : element->Next;
    }
    return count;
}
