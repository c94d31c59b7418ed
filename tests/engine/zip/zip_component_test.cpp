// Tests of the zip component: new and updated archives, events, skipped files, passwords, Zip64 and the
// self-extractor.
#include "engine/zip/zip_codes.h"
#include "engine/zip/zip_component.h"
#include "engine/zip/zip_compressor.h"
#include "platform/dos_time.h"
#include "platform/fault_injection.h"
#include "platform/file_io.h"

#include "tests/engine/zip_test_util.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <pty.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

using namespace zip_testing;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::ScopedFaultHook;
using testing_support::SetModified;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// What the events of one run reported, in order.
struct TEvents {
    std::vector<std::string>
        Order; // "pre <name>", "done <name>", "skip <name> <reason>", "warn <name> <code>"
    std::vector<std::pair<std::string, std::int64_t>> Progress; // file status: name, bytes processed
    std::int64_t CompletedBytes = 0;
    std::int64_t SkippedFiles = 0;
};

class ZipComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        (void)platform::ForceDirectories(m_src);
        (void)platform::ForceDirectories(m_dir / "out/");
    }

    // Stores files under their path below the source folder, as a "no folders" profile does.
    void Watch(TZipComponent& zip, TEvents& events) {
        zip.OnZipPreprocessingFile = [this, &events](TZipComponent*, std::string& name, const std::string&,
                                                     const std::string& source, std::int64_t, int, TDateTime,
                                                     TDateTime, TDateTime, int, bool, const std::string&,
                                                     bool&, int&, bool) {
            if (source.rfind(m_src, 0) == 0)
                name = source.substr(m_src.size());
            events.Order.push_back("pre " + name);
        };
        zip.OnFileStatus = [&events](TZipComponent*, const std::string& name, std::int64_t size, std::int64_t,
                                     std::int64_t done, int, int, bool completed) {
            events.Progress.emplace_back(name, done);
            if (completed) {
                EXPECT_EQ(done, size);
                events.CompletedBytes += size;
                events.Order.push_back("done " + name);
            }
        };
        zip.OnSkippingFile = [&events](TZipComponent*, const std::string& name, const std::string&,
                                       const std::string&, std::int64_t, std::int64_t, int, std::uint32_t,
                                       TDateTime, TDateTime, TDateTime, int, bool, int reason) {
            ++events.SkippedFiles;
            events.Order.push_back("skip " + name + " " + std::to_string(reason));
        };
        zip.OnWarning = [&events](TZipComponent*, const std::string& name, int code) {
            events.Order.push_back("warn " + name + " " + std::to_string(code));
        };
    }

    int Compress(const std::vector<std::string>& names, TEvents& events, const std::string& password = "",
                 const std::function<void(TZipComponent&)>& adjust = {}) {
        TZipComponent zip;
        Watch(zip, events);
        zip.ZipFilename = m_archive;
        zip.EncryptionPassword = password;
        zip.TempFolder = m_dir.Path();
        for (const std::string& name : names)
            zip.AddFileSpec(name.front() == '/' ? name : m_src + name);
        if (adjust)
            adjust(zip);
        return zip.CompressFiles();
    }

    int Compress(const std::vector<std::string>& names) {
        TEvents events;
        return Compress(names, events);
    }

    // No temporary file of ours is left beside the archive or in the temporary folder.
    void ExpectNoLeftovers() {
        for (const std::string& name : TreeOf(m_dir.Path()))
            EXPECT_EQ(platform::ExtractFileName(name).rfind('.', 0), std::string::npos) << name;
    }

    TempDir m_dir;
    std::string m_src = m_dir / "src/";
    std::string m_archive = m_dir / "out/backup.zip";
};

TEST_F(ZipComponentTest, NewArchiveHoldsEveryFileWithItsTimeAndEventsInOrder) {
    ScopedEnv tz("TZ", "Europe/Berlin");
    WriteFile(m_src + "a.txt", TextLike(3 << 20));
    WriteFile(m_src + "sub/b.bin", RandomBytes(100000));
    WriteFile(m_src + "empty.txt", "");
    SetModified(m_src + "a.txt", 1700000001); // an odd second: stored as the even one before it
    TEvents events;
    ASSERT_EQ(Compress({"a.txt", "sub/b.bin", "empty.txt"}, events), ZipResult::Success);

    EXPECT_EQ(events.Order, (std::vector<std::string>{"pre a.txt", "pre sub/b.bin", "pre empty.txt",
                                                      "done a.txt", "done sub/b.bin", "done empty.txt"}));
    std::int64_t last = -1;
    for (const auto& [name, done] : events.Progress) {
        if (name != "a.txt")
            continue;
        EXPECT_GT(done, last);
        last = done;
    }
    EXPECT_GT(std::count_if(events.Progress.begin(), events.Progress.end(),
                            [](const auto& p) { return p.first == "a.txt"; }),
              2);
    EXPECT_EQ(events.CompletedBytes, (3 << 20) + 100000);

    const std::vector<TEntry> entries = ReadEntries(m_archive);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Name, "a.txt");
    EXPECT_EQ(entries[0].Method, ZIP_CM_DEFLATE);
    EXPECT_LT(entries[0].CompressedSize, entries[0].Size / 2);
    EXPECT_EQ(entries[0].Modified, 1700000000);
    EXPECT_EQ(entries[2].Name, "empty.txt");
    EXPECT_EQ(entries[2].Method, ZIP_CM_STORE);
    EXPECT_EQ(ReadEntry(m_archive, "sub/b.bin"), RandomBytes(100000));
    const TCommandResult test = RunCommand("unzip -t " + Quote(m_archive));
    EXPECT_EQ(test.ExitCode, 0) << test.Output;
    const TCommandResult list = RunCommand("unzip -Z -l " + Quote(m_archive));
    EXPECT_NE(list.Output.find("-rw"), std::string::npos) << list.Output; // Unix permissions kept
    ExpectNoLeftovers();
}

TEST_F(ZipComponentTest, StoredNamesNeverBeginWithASlashNorClimbOut) {
    WriteFile(m_src + "a.txt", "a");
    WriteFile(m_src + "b.txt", "b");
    WriteFile(m_src + "c.txt", "c");
    TZipComponent zip;
    zip.ZipFilename = m_archive;
    std::vector<std::string> proposals;
    zip.OnZipPreprocessingFile = [&](TZipComponent* sender, std::string& name, const std::string&,
                                     const std::string& source, std::int64_t, int, TDateTime, TDateTime,
                                     TDateTime, int, bool, const std::string&, bool&, int&, bool) {
        proposals.push_back(name);
        if (proposals.size() == 1) {
            EXPECT_EQ(sender->CompressFiles(), ZipResult::Busy);
            EXPECT_EQ(sender->ExtractFiles(), ZipResult::Busy);
        }
        if (source == m_src + "b.txt")
            name = "/../x/./../b.txt";
        if (source == m_src + "c.txt")
            name = "Docs//c.txt";
    };
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        zip.AddFileSpec(m_src + name);
    ASSERT_EQ(zip.CompressFiles(), ZipResult::Success);
    EXPECT_EQ(proposals[0], (m_src + "a.txt").substr(1));
    EXPECT_EQ(EntryNames(m_archive),
              (std::vector<std::string>{(m_src + "a.txt").substr(1), "x/b.txt", "Docs/c.txt"}));
}

TEST_F(ZipComponentTest, UpdateKeepsEntriesNotHandedOverOrExcludedByteForByte) {
    WriteFile(m_src + "a.txt", TextLike(50000, 1));
    WriteFile(m_src + "b.txt", TextLike(50000, 2));
    WriteFile(m_src + "c.txt", TextLike(50000, 3));
    ASSERT_EQ(Compress({"a.txt", "b.txt", "c.txt"}), ZipResult::Success);
    const std::vector<TEntry> before = ReadEntries(m_archive);

    WriteFile(m_src + "a.txt", "changed a");
    WriteFile(m_src + "b.txt", "changed b, but left out");
    WriteFile(m_src + "d.txt", "new d");
    TEvents events;
    const int result = Compress({"a.txt", "b.txt", "d.txt"}, events, "", [&](TZipComponent& zip) {
        auto rename = zip.OnZipPreprocessingFile;
        zip.OnZipPreprocessingFile =
            [rename](TZipComponent* sender, std::string& name, const std::string& comment,
                     const std::string& source, std::int64_t size, int attributes, TDateTime modified,
                     TDateTime accessed, TDateTime created, int method, bool encrypted,
                     const std::string& password, bool& excluded, int& reason, bool existing) {
                rename(sender, name, comment, source, size, attributes, modified, accessed, created, method,
                       encrypted, password, excluded, reason, existing);
                EXPECT_FALSE(existing); // the proposal, the full path, is not what the first run stored
                TZipEntryInfo entry;
                EXPECT_EQ(sender->FindExistingEntry(name, entry), name != "d.txt");
                if (name == "b.txt") {
                    excluded = true;
                    reason = ZipSkipReason::FileUnChanged;
                }
            };
    });
    EXPECT_EQ(result, ZipResult::FilesSkipped);
    EXPECT_EQ(events.Order, (std::vector<std::string>{"pre a.txt", "pre b.txt", "skip b.txt 12", "pre d.txt",
                                                      "done a.txt", "done d.txt"}));

    const std::vector<TEntry> after = ReadEntries(m_archive);
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after[0].Name, "a.txt");
    EXPECT_EQ(ReadEntry(m_archive, "a.txt"), "changed a");
    for (std::size_t i : {1u, 2u}) {
        EXPECT_EQ(after[i].Name, before[i].Name);
        EXPECT_EQ(after[i].Crc, before[i].Crc);
        EXPECT_EQ(after[i].Modified, before[i].Modified);
        EXPECT_EQ(after[i].Stored, before[i].Stored);
    }
    EXPECT_EQ(after[3].Name, "d.txt");
    EXPECT_EQ(RunCommand("unzip -tq " + Quote(m_archive)).ExitCode, 0);
}

TEST_F(ZipComponentTest, NothingToWriteLeavesTheArchiveAsItIs) {
    WriteFile(m_src + "a.txt", "a");
    EXPECT_EQ(Compress({}), ZipResult::NothingToDo);
    EXPECT_FALSE(platform::PathExists(m_archive));
    ASSERT_EQ(Compress({"a.txt"}), ZipResult::Success);
    const std::string before = ReadFile(m_archive);
    SetModified(m_archive, 1000000000);
    TEvents events;
    const int result = Compress({"a.txt"}, events, "", [](TZipComponent& zip) {
        zip.OnZipPreprocessingFile = [](TZipComponent* sender, std::string& name, const std::string&,
                                        const std::string&, std::int64_t, int, TDateTime, TDateTime,
                                        TDateTime, int, bool, const std::string&, bool& excluded, int&,
                                        bool) {
            name.erase(0, name.rfind('/') + 1);
            TZipEntryInfo entry;
            excluded = sender->FindExistingEntry(name, entry);
        };
    });
    EXPECT_EQ(result, ZipResult::FilesSkipped); // all unchanged: the archive is current
    EXPECT_EQ(events.Order, std::vector<std::string>{"skip a.txt 1"});
    EXPECT_EQ(ReadFile(m_archive), before);
    struct stat st {};
    ::stat(m_archive.c_str(), &st);
    EXPECT_EQ(st.st_mtime, 1000000000);
}

TEST_F(ZipComponentTest, AbortLeavesTheOldArchiveByteIdenticalAndNoTemporaryFiles) {
    for (int i = 0; i < 4; ++i)
        WriteFile(m_src + "f" + std::to_string(i), TextLike(3 << 20, static_cast<unsigned>(i)));
    ASSERT_EQ(Compress({"f0"}), ZipResult::Success);
    const std::string before = ReadFile(m_archive);
    struct TCase {
        const char* Name;
        std::function<void(TZipComponent&)> Arm;
    };
    const TCase cases[] = {
        {"in preprocessing",
         [](TZipComponent& zip) {
             auto inner = zip.OnZipPreprocessingFile;
             zip.OnZipPreprocessingFile = [inner](TZipComponent* sender, std::string& name, auto&&... rest) {
                 inner(sender, name, rest...);
                 if (name == "f2")
                     sender->Abort = true;
             };
         }},
        {"in the progress of a file",
         [](TZipComponent& zip) {
             zip.OnFileStatus = [](TZipComponent* sender, const std::string& name, std::int64_t, std::int64_t,
                                   std::int64_t done, int, int, bool) {
                 if (name == "f1" && done > 0)
                     sender->Abort = true;
             };
         }},
        {"while the archive is written",
         [](TZipComponent& zip) {
             int calls = 0;
             zip.OnGlobalStatus = [calls](TZipComponent* sender, std::int64_t, std::int64_t processed,
                                          auto&&...) mutable {
                 if (processed == 4 && ++calls > 5) // the files are done: the archive is being written
                     sender->Abort = true;
             };
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TEvents events;
        EXPECT_EQ(Compress({"f0", "f1", "f2", "f3"}, events, "", c.Arm), ZipResult::UserAbort);
        EXPECT_EQ(ReadFile(m_archive), before);
        ExpectNoLeftovers();
    }
}

TEST_F(ZipComponentTest, AnUnreadableFileIsSkippedAndTheOthersGoIn) {
    WriteFile(m_src + "a.txt", "a");
    WriteFile(m_src + "locked.txt", "no access");
    WriteFile(m_src + "vanishing.txt", "gone before it is read");
    WriteFile(m_src + "z.txt", "z");
    const ScopedFaultHook fault([this](platform::FaultOp op, const std::string& path) {
        return op == platform::FaultOp::OpenRead && path == m_src + "locked.txt" ? EACCES : 0;
    });
    TEvents events;
    const int result =
        Compress({"a.txt", "missing.txt", "locked.txt", "vanishing.txt", "z.txt"}, events, "",
                 [this](TZipComponent& zip) {
                     auto inner = zip.OnZipPreprocessingFile;
                     zip.OnZipPreprocessingFile = [this, inner](TZipComponent* sender, std::string& name,
                                                                auto&&... rest) {
                         inner(sender, name, rest...);
                         if (name == "z.txt") // after vanishing.txt was examined and named
                             ::unlink((m_src + "vanishing.txt").c_str());
                     };
                 });
    EXPECT_EQ(result, ZipResult::FilesSkipped);
    const std::string missing = (m_src + "missing.txt").substr(1);
    EXPECT_EQ(events.Order,
              (std::vector<std::string>{"pre a.txt", "skip " + missing + " 103", "pre locked.txt",
                                        "pre vanishing.txt", "pre z.txt", "done a.txt", "skip locked.txt 103",
                                        "skip vanishing.txt 103", "done z.txt"}));
    EXPECT_EQ(EntryNames(m_archive), (std::vector<std::string>{"a.txt", "z.txt"}));
    EXPECT_EQ(RunCommand("unzip -tq " + Quote(m_archive)).ExitCode, 0);
}

// So many files that they are looked up ahead in several batches: the ones missing at either end of a batch
// are reported in their place, and every other file goes in with its own content.
TEST_F(ZipComponentTest, FilesMissingAmongManyAreSkippedInTheirPlace) {
    constexpr int Count = 2100;
    const std::set<int> missing = {0, 1023, 1024, 2047, 2048, Count - 1};
    std::vector<std::string> names, expected;
    for (int i = 0; i < Count; ++i) {
        const std::string name = "f" + std::to_string(i);
        names.push_back(name);
        if (missing.count(i)) {
            expected.push_back("skip " + (m_src + name).substr(1) + " 103");
            continue;
        }
        WriteFile(m_src + name, name);
        expected.push_back("pre " + name);
    }
    TEvents events;
    EXPECT_EQ(Compress(names, events), ZipResult::FilesSkipped);
    events.Order.resize(std::min(events.Order.size(), expected.size())); // the pre and skip events
    EXPECT_EQ(events.Order, expected);
    EXPECT_EQ(EntryNames(m_archive).size(), Count - missing.size());
    for (const char* name : {"f1", "f1022", "f1025", "f2046", "f2049", "f2098"})
        EXPECT_EQ(ReadEntry(m_archive, name), name);
}

// An entry that a file would replace stays exactly as it was when the file cannot be read.
TEST_F(ZipComponentTest, AFileThatCannotBeReadLeavesItsOldEntry) {
    WriteFile(m_src + "a.txt", TextLike(5000));
    WriteFile(m_src + "b.txt", "old b");
    ASSERT_EQ(Compress({"a.txt", "b.txt"}), ZipResult::Success);
    const std::string before = ReadEntries(m_archive)[0].Stored;
    WriteFile(m_src + "a.txt", "new a");
    WriteFile(m_src + "b.txt", "new b");
    const ScopedFaultHook fault([this](platform::FaultOp op, const std::string& path) {
        return op == platform::FaultOp::OpenRead && path == m_src + "a.txt" ? EACCES : 0;
    });
    EXPECT_EQ(Compress({"a.txt", "b.txt"}), ZipResult::FilesSkipped);
    EXPECT_EQ(EntryNames(m_archive), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(ReadEntries(m_archive)[0].Stored == before);
    EXPECT_EQ(ReadEntry(m_archive, "b.txt"), "new b");
    EXPECT_EQ(RunCommand("unzip -tq " + Quote(m_archive)).ExitCode, 0);
}

TEST_F(ZipComponentTest, DuplicateStoredNamesAndFoldersAreNotStored) {
    WriteFile(m_src + "one/a.txt", "first");
    WriteFile(m_src + "two/a.txt", "second");
    (void)platform::ForceDirectories(m_src + "folder");
    TEvents events;
    const int result = Compress({"one/a.txt", "two/a.txt", "folder"}, events, "", [](TZipComponent& zip) {
        auto inner = zip.OnZipPreprocessingFile;
        zip.OnZipPreprocessingFile = [inner](TZipComponent* sender, std::string& name, auto&&... rest) {
            inner(sender, name, rest...);
            name.erase(0, name.rfind('/') + 1);
        };
    });
    EXPECT_EQ(result, ZipResult::FilesSkipped);
    EXPECT_EQ(events.Order, (std::vector<std::string>{"pre one/a.txt", "pre two/a.txt", "skip a.txt 13",
                                                      "warn " + m_src + "folder 323", "done a.txt"}));
    EXPECT_EQ(ReadEntry(m_archive, "a.txt"), "first");
}

TEST_F(ZipComponentTest, PasswordEncryptsWithAes256AndDecidesWhatMayBeKept) {
    WriteFile(m_src + "a.txt", TextLike(20000));
    WriteFile(m_src + "b.txt", "short");
    ASSERT_EQ(Compress({"a.txt", "b.txt"}, *std::make_unique<TEvents>(), "s3cret"), ZipResult::Success);
    for (const TEntry& entry : ReadEntries(m_archive))
        EXPECT_EQ(entry.Encryption, ZIP_EM_AES_256) << entry.Name;
    EXPECT_EQ(ReadEntry(m_archive, "a.txt", "s3cret"), TextLike(20000));
    EXPECT_EQ(ReadEntry(m_archive, "a.txt", "wrong"), "<cannot open a.txt>");
    const TCommandResult test = RunCommand("7z t -ps3cret " + Quote(m_archive));
    EXPECT_EQ(test.ExitCode, 0) << test.Output;
    EXPECT_NE(RunCommand("7z t -pwrong " + Quote(m_archive)).ExitCode, 0);

    struct TCase {
        const char* Password;
        bool Matches;
    };
    for (const TCase& c : {TCase{"s3cret", true}, TCase{"other", false}, TCase{"", false}}) {
        SCOPED_TRACE(c.Password);
        std::vector<bool> answers;
        TEvents events;
        Compress({"a.txt"}, events, c.Password, [&](TZipComponent& zip) {
            zip.OnZipPreprocessingFile = [&](TZipComponent* sender, std::string&, const std::string&,
                                             const std::string&, std::int64_t, int, TDateTime, TDateTime,
                                             TDateTime, int, bool encrypted, const std::string&,
                                             bool& excluded, int&, bool) {
                EXPECT_EQ(encrypted, *c.Password != 0);
                answers.push_back(sender->ExistingEntryMatchesEncryption("a.txt"));
                answers.push_back(sender->ExistingEntryMatchesEncryption("b.txt"));
                answers.push_back(sender->ExistingEntryMatchesEncryption("none.txt"));
                excluded = true;
            };
        });
        EXPECT_EQ(answers, (std::vector<bool>{c.Matches, c.Matches, false}));
    }
    // Handed over again, an entry takes the encryption of the run: none, or the new password.
    Compress({"a.txt"}, *std::make_unique<TEvents>(), "");
    EXPECT_EQ(ReadEntries(m_archive)[0].Encryption, ZIP_EM_NONE);
    EXPECT_EQ(ReadEntries(m_archive)[1].Encryption, ZIP_EM_AES_256);
    Compress({"b.txt"}, *std::make_unique<TEvents>(), "n3w");
    EXPECT_EQ(ReadEntry(m_archive, "b.txt", "n3w"), "short");
    EXPECT_EQ(RunCommand("7z t -pn3w " + Quote(m_archive)).ExitCode, 0);

    // An unencrypted archive does not match a run that asks for a password.
    ::unlink(m_archive.c_str());
    Compress({"a.txt"}, *std::make_unique<TEvents>());
    TZipComponent zip;
    zip.ZipFilename = m_archive;
    zip.EncryptionPassword = "s3cret";
    zip.AddFileSpec(m_src + "b.txt");
    bool matches = true;
    TZipEntryInfo entry;
    zip.OnZipPreprocessingFile = [&](TZipComponent* sender, auto&&...) {
        matches = sender->ExistingEntryMatchesEncryption("a.txt");
        EXPECT_TRUE(sender->FindExistingEntry("a.txt", entry));
    };
    zip.CompressFiles();
    EXPECT_FALSE(matches);
    EXPECT_EQ(entry.Size, 20000);
    EXPECT_EQ(entry.Encryption, TZipEncryption::None);
}

// Kept entries are checked one after another through one reused buffer per thread: entries larger and
// smaller than it, empty ones and a damaged one between them must each get their own answer.
TEST_F(ZipComponentTest, KeptEntriesOfEverySizeAreEachCheckedOnTheirOwn) {
    const std::vector<std::pair<std::string, std::size_t>> files = {
        {"a.bin", 600000}, {"b.bin", 10}, {"c.bin", 0}, {"d.bin", 300000}, {"e.bin", 70000}, {"f.bin", 1}};
    std::vector<std::string> names;
    for (const auto& [name, size] : files) {
        WriteFile(m_src + name, RandomBytes(size, static_cast<unsigned>(size)));
        names.push_back(name);
    }
    ASSERT_EQ(Compress(names), ZipResult::Success);
    std::string bytes = ReadFile(m_archive);
    const std::string stored = ReadEntries(m_archive)[4].Stored; // e.bin
    const std::size_t at = bytes.find(stored);
    ASSERT_NE(at, std::string::npos);
    bytes[at + stored.size() / 2] ^= 0x20;
    WriteFile(m_archive, bytes);

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::string> answers;
        TEvents events;
        Compress(names, events, "", [&](TZipComponent& zip) {
            zip.OnZipPreprocessingFile = [&](TZipComponent* sender, std::string& name, const std::string&,
                                             const std::string& source, std::int64_t, int, TDateTime,
                                             TDateTime, TDateTime, int, bool, const std::string&,
                                             bool& excluded, int&, bool) {
                name = source.substr(m_src.size());
                answers.push_back(name + (sender->ExistingEntryIntact(name) ? " intact" : " damaged"));
                excluded = true;
            };
        });
        EXPECT_EQ(answers, (std::vector<std::string>{"a.bin intact", "b.bin intact", "c.bin intact",
                                                     "d.bin intact", "e.bin damaged", "f.bin intact"}));
    }
}

// The archive with the signature of its central directory overwritten.
std::string DamageCentralDirectory(std::string archive) {
    const unsigned char* end = reinterpret_cast<const unsigned char*>(archive.data() + archive.size() - 22);
    const std::size_t offset =
        end[16] | end[17] << 8 | end[18] << 16 | static_cast<std::size_t>(end[19]) << 24;
    archive[offset] = 'X';
    return archive;
}

TEST_F(ZipComponentTest, CorruptOrForeignExistingArchiveIsLeftUntouched) {
    WriteFile(m_src + "a.txt", "a");
    ASSERT_EQ(Compress({"a.txt"}), ZipResult::Success);
    const std::string valid = ReadFile(m_archive);
    struct TCase {
        const char* Name;
        std::string Content;
    };
    const TCase cases[] = {
        {"random bytes", RandomBytes(5000)},
        {"a cut-off archive", valid.substr(0, valid.size() - 10)},
        {"a damaged directory", DamageCentralDirectory(valid)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteFile(m_archive, c.Content);
        EXPECT_EQ(Compress({"a.txt"}), ZipResult::InvalidZipFile);
        EXPECT_EQ(ReadFile(m_archive), c.Content);
        ExpectNoLeftovers();
    }
    EXPECT_EQ(ZipErrorText(ZipResult::InvalidZipFile), "Invalid zip file");
    WriteFile(m_archive, ""); // an empty file holds nothing to keep: it is replaced
    EXPECT_EQ(Compress({"a.txt"}), ZipResult::Success);
    EXPECT_EQ(EntryNames(m_archive), std::vector<std::string>{"a.txt"});
}

class SelfExtractorTest : public ZipComponentTest {
protected:
    int CompressSfx(const std::vector<std::string>& names, const std::string& password = "") {
        TEvents events;
        return Compress(names, events, password, [this](TZipComponent& zip) {
            zip.ZipFilename = m_exe;
            zip.SfxBinaryModule = BuildResourceDir() + "xcdsfx32.bin";
        });
    }
    std::string m_exe = m_dir / "out/backup.exe";
};

TEST_F(SelfExtractorTest, RunsAndExtractsIntoTheGivenFolderAndSurvivesAnUpdate) {
    WriteFile(m_src + "a.txt", TextLike(10000));
    WriteFile(m_src + "sub/b.bin", RandomBytes(5000));
    ASSERT_EQ(CompressSfx({"a.txt", "sub/b.bin"}), ZipResult::Success);
    EXPECT_EQ(::access(m_exe.c_str(), X_OK), 0);
    const TCommandResult list = RunCommand("unzip -l " + Quote(m_exe));
    EXPECT_NE(list.Output.find("sub/b.bin"), std::string::npos) << list.Output;
    EXPECT_EQ(EntryNames(m_exe), (std::vector<std::string>{"a.txt", "sub/b.bin"}));

    WriteFile(m_src + "c.txt", "added later");
    ASSERT_EQ(CompressSfx({"c.txt"}), ZipResult::Success);
    EXPECT_EQ(EntryNames(m_exe), (std::vector<std::string>{"a.txt", "sub/b.bin", "c.txt"}));

    const std::string target = m_dir / "extracted here";
    const TCommandResult run =
        RunCommand("cd " + Quote(m_dir.Path()) + " && " + Quote(m_exe) + " " + Quote(target));
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_EQ(ReadFile(target + "/a.txt"), TextLike(10000));
    EXPECT_EQ(ReadFile(target + "/sub/b.bin"), RandomBytes(5000));
    EXPECT_EQ(ReadFile(target + "/c.txt"), "added later");

    const std::string cwd = m_dir / "cwd/";
    (void)platform::ForceDirectories(cwd);
    EXPECT_EQ(RunCommand("cd " + Quote(cwd) + " && " + Quote(m_exe)).ExitCode, 0);
    EXPECT_EQ(TreeOf(cwd), (std::vector<std::string>{"a.txt", "c.txt", "sub/", "sub/b.bin"}));
}

// Runs the self-extractor on a terminal of its own and types Password when asked.
TCommandResult RunOnTerminal(const std::string& program, const std::string& folder,
                             const std::string& password) {
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        ::execl(program.c_str(), program.c_str(), folder.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    TCommandResult result;
    char buffer[1024];
    bool answered = false;
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.Output.append(buffer, static_cast<std::size_t>(n));
        if (!answered && result.Output.find("Password: ") != std::string::npos) {
            const std::string line = password + "\n";
            (void)!::write(master, line.data(), line.size());
            answered = true;
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(master);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST_F(SelfExtractorTest, AsksForThePasswordOnTheTerminal) {
    WriteFile(m_src + "secret.txt", "only with the password");
    ASSERT_EQ(CompressSfx({"secret.txt"}, "pa55"), ZipResult::Success);
    const TCommandResult right = RunOnTerminal(m_exe, m_dir / "right", "pa55");
    EXPECT_EQ(right.ExitCode, 0) << right.Output;
    EXPECT_EQ(right.Output.find("pa55"), std::string::npos) << "the password is not echoed";
    EXPECT_EQ(ReadFile(m_dir / "right/secret.txt"), "only with the password");
    const TCommandResult wrong = RunOnTerminal(m_exe, m_dir / "wrong", "guess");
    EXPECT_EQ(wrong.ExitCode, 1) << wrong.Output;
    EXPECT_NE(wrong.Output.find("InvalidPassword"), std::string::npos) << wrong.Output;
    EXPECT_EQ(TreeOf(m_dir / "wrong"), std::vector<std::string>{});
}

TEST_F(SelfExtractorTest, MissingOrUnreadableModuleFailsBeforeAnythingIsWritten) {
    WriteFile(m_src + "a.txt", "a");
    TEvents events;
    const auto withModule = [](const std::string& module) {
        return [module](TZipComponent& zip) { zip.SfxBinaryModule = module; };
    };
    EXPECT_EQ(Compress({"a.txt"}, events, "", withModule(m_dir / "nowhere/xcdsfx32.bin")),
              ZipResult::SfxBinaryNotFound);
    const std::string module = m_dir / "xcdsfx32.bin";
    WriteFile(module, "stub");
    const ScopedFaultHook fault([module](platform::FaultOp op, const std::string& path) {
        return op == platform::FaultOp::OpenRead && path == module ? EACCES : 0;
    });
    EXPECT_EQ(Compress({"a.txt"}, events, "", withModule(module)), ZipResult::ReadSfxBinary);
    EXPECT_FALSE(platform::PathExists(m_archive));
    EXPECT_TRUE(events.Order.empty());
    EXPECT_EQ(ZipErrorText(513), "Could not find the self-extractor binary");
    EXPECT_EQ(ZipErrorText(514), "An error occurred while reading data from the self-extractor binary");
}

TEST(ZipCodes, TablesGiveTextsNamesAndKinds) {
    std::string text = "unchanged";
    ZipErrorText(0, text);
    ZipErrorText(526, text);
    ZipErrorText(527, text);
    ZipErrorText(530, text);
    EXPECT_EQ(text, "unchanged");
    ZipErrorText(509, text);
    EXPECT_EQ(text, "No files ended up being processed");
    EXPECT_EQ(ZipErrorText(532), "Some files could not be extracted");
    EXPECT_EQ(ZipErrorText(999), "Compression library had an internal error");
    ASSERT_NE(FindZipSkipReason(12), nullptr);
    EXPECT_STREQ(FindZipSkipReason(12)->Name, "FileUnChanged");
    EXPECT_FALSE(FindZipSkipReason(12)->IsError);
    EXPECT_TRUE(FindZipSkipReason(13)->IsError);
    EXPECT_STREQ(FindZipSkipReason(122)->Name, "Uncompress");
    EXPECT_EQ(FindZipSkipReason(115), nullptr);
    EXPECT_STREQ(FindZipWarning(323)->Name, "NoFilesMatched");
    EXPECT_EQ(FindZipWarning(321), nullptr);
    EXPECT_EQ(ZipSkipReasons().size(), 37u);
    EXPECT_EQ(ZipWarnings().size(), 23u);
}

} // namespace

namespace {

// Zip64: more entries than the classic directory can count.
TEST_F(ZipComponentTest, Zip64ArchiveWithMoreThan65535Entries) {
    constexpr int Count = 65536 + 64;
    for (int i = 0; i < Count; ++i) {
        platform::File file;
        (void)file.Create(m_src + std::to_string(i));
    }
    {
        TZipComponent zip;
        zip.ZipFilename = m_archive;
        for (int i = 0; i < Count; ++i)
            zip.AddFileSpec(m_src + std::to_string(i));
        ASSERT_EQ(zip.CompressFiles(), ZipResult::Success);
    }
    std::vector<TZipEntryInfo> entries;
    ASSERT_EQ(ReadZipDirectory(m_archive, entries), ZipResult::Success);
    EXPECT_EQ(entries.size(), static_cast<std::size_t>(Count));
    const TCommandResult test = RunCommand("unzip -tq " + Quote(m_archive));
    EXPECT_EQ(test.ExitCode, 0) << test.Output.substr(0, 2000);
}

// Deflating 4 GiB takes about half a minute even when it is all zeros: run with BRIMVALE_HEAVY_TESTS=1.
TEST_F(ZipComponentTest, Zip64EntryOverFourGigabytes) {
    if (!std::getenv("BRIMVALE_HEAVY_TESTS"))
        GTEST_SKIP() << "heavy: set BRIMVALE_HEAVY_TESTS=1 to compress a 4 GiB file";
    const std::int64_t size = (std::int64_t{1} << 32) + 4096;
    const std::string huge = m_src + "huge.img";
    {
        platform::File file;
        (void)file.Create(huge);
        ASSERT_EQ(::ftruncate(file.Fd(), size), 0);
    }
    WriteFile(m_src + "small.txt", "small");
    TEvents events;
    ASSERT_EQ(Compress({"huge.img", "small.txt"}, events), ZipResult::Success);
    EXPECT_EQ(events.CompletedBytes, size + 5);
    const std::vector<TEntry> entries = ReadEntries(m_archive);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Size, size);
    EXPECT_EQ(ReadEntry(m_archive, "small.txt"), "small");
    const TCommandResult list = RunCommand("unzip -l " + Quote(m_archive));
    EXPECT_NE(list.Output.find("4294971392"), std::string::npos) << list.Output;
}

} // namespace

// Files above two blocks are deflated block by block on several workers and joined into one stream; every
// reader must take the entry as an ordinary one, whether the last block is whole, short or a single byte.
TEST_F(ZipComponentTest, LargeFilesDeflatedInBlocksReadBackEverywhere) {
    constexpr std::size_t Block = TParallelCompressor::BlockSize;
    struct TCase {
        const char* Name;
        std::string Content;
    };
    const std::vector<TCase> cases = {
        {"text.txt", TextLike(5 * Block + 12345)},
        {"random.bin", RandomBytes(3 * Block)},
        {"split-edge.txt", TextLike(2 * Block)},
        {"one-byte-tail.txt", TextLike(2 * Block + 1, 7)},
        {"mixed.dat", TextLike(Block + 100, 3) + RandomBytes(Block, 4) + TextLike(Block, 5)},
    };
    std::vector<std::string> names;
    for (const TCase& c : cases) {
        WriteFile(m_src + c.Name, c.Content);
        names.push_back(c.Name);
    }
    for (const std::string password : {"", "s3cret"}) {
        SCOPED_TRACE(password);
        ::unlink(m_archive.c_str());
        ASSERT_EQ(Compress(names, *std::make_unique<TEvents>(), password), ZipResult::Success);
        for (const TCase& c : cases)
            EXPECT_TRUE(ReadEntry(m_archive, c.Name, password) == c.Content) << c.Name;
        const TCommandResult sevenZip = RunCommand("7z t -p" + Quote(password) + " " + Quote(m_archive));
        EXPECT_EQ(sevenZip.ExitCode, 0) << sevenZip.Output;
        if (password.empty()) { // unzip cannot read AES entries
            const TCommandResult unzip = RunCommand("unzip -tq " + Quote(m_archive));
            EXPECT_EQ(unzip.ExitCode, 0) << unzip.Output;
        }
    }
    ExpectNoLeftovers();
}

// A large file rewritten between its examination and its compression goes in as it then is, whole.
TEST_F(ZipComponentTest, LargeFileChangedAfterItWasExaminedGoesInAsItIs) {
    constexpr std::size_t Block = TParallelCompressor::BlockSize;
    for (const std::size_t newSize : {Block / 2, 3 * Block + 7, 8 * Block}) {
        SCOPED_TRACE(newSize);
        ::unlink(m_archive.c_str());
        WriteFile(m_src + "big.txt", TextLike(5 * Block));
        const std::string rewritten = TextLike(newSize, 9);
        TEvents events;
        ASSERT_EQ(Compress({"big.txt"}, events, "",
                           [&](TZipComponent& zip) {
                               auto watched = zip.OnZipPreprocessingFile;
                               zip.OnZipPreprocessingFile = [&, watched](auto&&... args) {
                                   watched(args...);
                                   WriteFile(m_src + "big.txt", rewritten);
                               };
                           }),
                  ZipResult::Success);
        EXPECT_TRUE(ReadEntry(m_archive, "big.txt") == rewritten);
        EXPECT_EQ(RunCommand("unzip -tq " + Quote(m_archive)).ExitCode, 0);
    }
}
