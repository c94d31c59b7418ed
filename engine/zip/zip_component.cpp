// TZipComponent: construction, the existing-archive look-ups, the directory reader and the translations
// shared by compression and extraction.
#include "engine/zip/zip_component.h"

#include "engine/zip/zip_archive_file.h"
#include "engine/zip/zip_codes.h"
#include "engine/zip/zip_component_internal.h"
#include "engine/zip/zip_safe_extract.h"
#include "platform/dos_time.h"

#include <algorithm>
#include <sys/stat.h>

int ZipResultOfError(int zipError) {
    switch (zipError) {
    case ZIP_ER_OK:
        return ZipResult::Success;
    case ZIP_ER_NOENT:
    case ZIP_ER_OPEN:
        return ZipResult::OpenZipFile;
    case ZIP_ER_NOZIP:
    case ZIP_ER_INCONS:
    case ZIP_ER_MULTIDISK:
    case ZIP_ER_CRC:
    case ZIP_ER_COMPRESSED_DATA:
    case ZIP_ER_ZLIB:
        return ZipResult::InvalidZipFile;
    case ZIP_ER_READ:
        return ZipResult::ReadZipFile;
    case ZIP_ER_SEEK:
        return ZipResult::SeekInZipFile;
    case ZIP_ER_EOF:
        return ZipResult::EndOfZipFile;
    case ZIP_ER_TMPOPEN:
        return ZipResult::CreateTempFile;
    case ZIP_ER_WRITE:
    case ZIP_ER_CLOSE:
        return ZipResult::WriteZipFile;
    case ZIP_ER_RENAME:
        return ZipResult::MoveTempFile;
    case ZIP_ER_MEMORY:
        return ZipResult::OutOfMemory;
    case ZIP_ER_CANCELLED:
        return ZipResult::UserAbort;
    default:
        return ZipResult::InternalError;
    }
}

TDateTime ZipTimeOf(std::time_t seconds) {
    const TDateTime dos = platform::DosTimeOf(seconds);
    return dos != 0 ? dos : platform::DateTimeFromUnix(seconds);
}

int Percent(std::int64_t part, std::int64_t whole) {
    if (whole <= 0)
        return 100;
    return static_cast<int>(std::clamp<std::int64_t>(part * 100 / whole, 0, 100));
}

int CompressionRatio(std::int64_t size, std::int64_t compressedSize) {
    if (size <= 0)
        return 0;
    return static_cast<int>(std::clamp<std::int64_t>(100 - compressedSize * 100 / size, 0, 100));
}

namespace {

TZipEncryption EncryptionOf(zip_uint16_t method) {
    switch (method) {
    case ZIP_EM_NONE:
        return TZipEncryption::None;
    case ZIP_EM_TRAD_PKWARE:
        return TZipEncryption::Traditional;
    case ZIP_EM_AES_128:
        return TZipEncryption::Aes128;
    case ZIP_EM_AES_192:
        return TZipEncryption::Aes192;
    case ZIP_EM_AES_256:
        return TZipEncryption::Aes256;
    default:
        return TZipEncryption::Other;
    }
}

} // namespace

void ListZipEntries(zip_t* archive, std::vector<TZipEntryInfo>& entries) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    entries.clear();
    entries.reserve(static_cast<std::size_t>(std::max<zip_int64_t>(count, 0)));
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        TZipEntryInfo entry;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &st) == 0) {
            entry.Name = st.name ? st.name : "";
            entry.Size = static_cast<std::int64_t>(st.size);
            entry.CompressedSize = static_cast<std::int64_t>(st.comp_size);
            entry.Modified = ZipTimeOf(st.mtime);
            entry.Crc = st.crc;
            entry.Method = st.comp_method;
            entry.Encryption = EncryptionOf(st.encryption_method);
            entry.IsFolder = !entry.Name.empty() && entry.Name.back() == '/';
        }
        entries.push_back(std::move(entry));
    }
}

int ReadZipDirectory(const std::string& path, std::vector<TZipEntryInfo>& entries) {
    entries.clear();
    struct stat file {};
    if (::stat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && file.st_size == 0)
        return ZipResult::EmptyZipFile;
    zip_error_t error;
    zip_t* archive = OpenZipArchiveReadOnly(path, error);
    const int result = archive ? ZipResult::Success : ZipResultOfError(zip_error_code_zip(&error));
    zip_error_fini(&error);
    if (!archive)
        return result;
    ListZipEntries(archive, entries);
    zip_discard(archive);
    return result;
}

TZipComponent::TExistingArchive::TExistingArchive(std::string path, std::string password,
                                                  std::vector<TZipEntryInfo> entries, zip_t* runArchive)
    : m_path(std::move(path)), m_password(std::move(password)), m_entries(std::move(entries)),
      m_state(std::make_unique<std::atomic<int>[]>(m_entries.size())), m_runArchive(runArchive) {
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        m_index.emplace(m_entries[i].Name, i);
}

TZipComponent::TExistingArchive::~TExistingArchive() {
    m_stop = true;
    for (std::thread& worker : m_workers)
        worker.join();
}

std::int64_t TZipComponent::TExistingArchive::Find(const std::string& name) const {
    const auto it = m_index.find(name);
    return it == m_index.end() ? -1 : static_cast<std::int64_t>(it->second);
}

bool TZipComponent::TExistingArchive::Keepable(std::size_t index) const {
    const TZipEntryInfo& entry = m_entries[index];
    if (entry.IsFolder)
        return false;
    return m_password.empty() ? entry.Encryption == TZipEncryption::None
                              : entry.Encryption == TZipEncryption::Aes256;
}

int TZipComponent::TExistingArchive::CheckedState(std::size_t index) {
    if (!m_started)
        StartChecks();
    if (Claim(index))
        Check(m_runArchive, index, m_ownBuffer);
    // Waiting on the entry's own state, so that a worker finishing an entry nobody waits for wakes no one.
    std::atomic<int>& state = m_state[index];
    for (int seen = state.load(); seen < Sound; seen = state.load())
        state.wait(seen);
    return state.load();
}

bool TZipComponent::TExistingArchive::MatchesEncryption(std::size_t index) {
    if (!Keepable(index))
        return false;
    // Without a password the directory tells; with one, only opening the entry does.
    return m_password.empty() || CheckedState(index) != Refused;
}

bool TZipComponent::TExistingArchive::Intact(std::size_t index) {
    return Keepable(index) && CheckedState(index) == Sound;
}

// Each checking thread first opens a handle of its own, which reads the whole directory and converts every
// entry's time through the C library's time zone, under its lock, one handle after another: for many small
// entries that costs more than checking them. A thread is added for each CheckShare of the data to check,
// so that large entries are still inflated on several cores.
unsigned TZipComponent::TExistingArchive::CheckThreads() const {
    constexpr std::int64_t CheckShare = 64 << 20;
    std::int64_t bytes = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (Keepable(i))
            bytes += m_entries[i].CompressedSize;
    const std::int64_t cores = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::clamp<std::int64_t>(bytes / CheckShare, 1, cores));
}

void TZipComponent::TExistingArchive::StartChecks() {
    m_started = true;
    const unsigned threads = CheckThreads();
    for (unsigned i = 0; i < threads; ++i)
        m_workers.emplace_back([this] { CheckWorker(); });
}

bool TZipComponent::TExistingArchive::Claim(std::size_t index) {
    int expected = Unknown;
    return m_state[index].compare_exchange_strong(expected, Checking);
}

void TZipComponent::TExistingArchive::Check(zip_t* archive, std::size_t index, std::vector<char>& buffer) {
    int state = Damaged;
    if (archive) {
        const int error = CheckEntryData(archive, static_cast<zip_uint64_t>(index),
                                         m_password.empty() ? nullptr : m_password.c_str(), &m_stop, buffer);
        if (error == ZIP_ER_OK)
            state = Sound;
        else if (error == ZIP_ER_WRONGPASSWD || error == ZIP_ER_NOPASSWD || error == ZIP_ER_ENCRNOTSUPP)
            state = Refused;
    }
    m_state[index].store(state);
    m_state[index].notify_all();
}

// One handle opened at a time: libzip converts every entry's time through the C library's time zone, whose
// lock handles opened side by side would fight over for longer than it takes to open them one by one.
zip_t* TZipComponent::TExistingArchive::OpenOwnHandle() {
    std::lock_guard lock(m_openMutex);
    zip_error_t error;
    zip_t* archive = OpenZipArchiveReadOnly(m_path, error);
    zip_error_fini(&error);
    return archive;
}

void TZipComponent::TExistingArchive::CheckWorker() {
    zip_t* archive = OpenOwnHandle();
    std::vector<char> buffer;
    while (!m_stop.load()) {
        const std::size_t index = m_nextCheck.fetch_add(1);
        if (index >= m_entries.size())
            break;
        if (Keepable(index) && Claim(index))
            Check(archive, index, buffer);
    }
    if (archive)
        zip_discard(archive);
}

TZipComponent::TZipComponent() = default;

TZipComponent::~TZipComponent() = default;

void TZipComponent::AddFileSpec(const std::string& path) {
    m_queuedPaths.Append(path);
}

bool TZipComponent::FindExistingEntry(const std::string& name, TZipEntryInfo& entry) const {
    if (!m_existing)
        return false;
    const std::int64_t index = m_existing->Find(name);
    if (index < 0)
        return false;
    entry = m_existing->Entries()[static_cast<std::size_t>(index)];
    return true;
}

bool TZipComponent::ExistingEntryMatchesEncryption(const std::string& name) {
    if (!m_existing)
        return false;
    const std::int64_t index = m_existing->Find(name);
    return index >= 0 && m_existing->MatchesEncryption(static_cast<std::size_t>(index));
}

bool TZipComponent::ExistingEntryIntact(const std::string& name) {
    if (!m_existing)
        return false;
    const std::int64_t index = m_existing->Find(name);
    return index >= 0 && m_existing->Intact(static_cast<std::size_t>(index));
}
