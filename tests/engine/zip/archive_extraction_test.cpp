// Tests of archive extraction: chosen entries, the replace-newer rule, result texts and refused or failing
// entries.
#include "engine/zip/archive_extraction.h"
#include "engine/zip/zip_codes.h"
#include "platform/fault_injection.h"
#include "platform/file_io.h"

#include "tests/engine/zip_test_util.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace zip_testing;
using testing_support::ReadFile;
using testing_support::ScopedFaultHook;
using testing_support::SetModified;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr std::int64_t EntryTime = 1700000000;

class ArchiveExtractionTest : public ::testing::Test {
protected:
    // Builds Archive with the component: every file under its stored name, all of the same time.
    void Build(const std::map<std::string, std::string>& files, const std::string& password = "") {
        TZipComponent zip;
        zip.ZipFilename = m_archive;
        zip.EncryptionPassword = password;
        const std::string src = m_dir / "src/";
        for (const auto& [name, content] : files) {
            WriteFile(src + name, content);
            SetModified(src + name, EntryTime);
            zip.AddFileSpec(src + name);
        }
        zip.OnZipPreprocessingFile = [src](TZipComponent*, std::string& name, const std::string&,
                                           const std::string& source,
                                           auto&&...) { name = source.substr(src.size()); };
        ASSERT_EQ(zip.CompressFiles(), ZipResult::Success);
    }

    // Builds Archive with Python's zipfile from lines of Python that use the open archive "z".
    void BuildWithPython(const std::string& body) {
        const std::string script =
            "import zipfile\nz = zipfile.ZipFile(" + Quote(m_archive) + ", 'w')\n" + body + "\nz.close()\n";
        WriteFile(m_dir / "build.py", script);
        const TCommandResult result = RunCommand("/usr/bin/python3 " + Quote(m_dir / "build.py"));
        ASSERT_EQ(result.ExitCode, 0) << result.Output;
    }

    std::string Unzip(const std::string& files, bool replaceNewer = true, const std::string& password = "",
                      const TZipGlobalStatusEvent& global = {}, const TZipFileStatusEvent& status = {}) {
        std::string error;
        UnzipArchive(m_archive, files, m_target, password, replaceNewer, global, status, error);
        return error;
    }

    // No file or folder of ours is left anywhere outside what the test expects: no hidden temporaries.
    void ExpectNoTemporaries() {
        for (const std::string& name : TreeOf(m_target))
            EXPECT_NE(platform::ExtractFileName(platform::ExcludeTrailingPathDelimiter(name)).front(), '.')
                << name;
    }

    TempDir m_dir;
    std::string m_archive = m_dir / "backup.zip";
    std::string m_target = m_dir / "target/";
};

TEST_F(ArchiveExtractionTest, ExtractsTheChosenEntriesUnderTheirStoredPaths) {
    Build({{"Data/Docs/a.txt", "a"},
           {"Data/Docs/b.bin", "b"},
           {"Data/Docs/Sub/a.txt", "sub a"},
           {"Data/Docs2/c.txt", "c"},
           {"Data/top.txt", "top"}});
    struct TCase {
        const char* Pattern;
        std::vector<std::string> Files;
        const char* Error;
    };
    const TCase cases[] = {
        {"Data/Docs/*", {"Data/Docs/Sub/a.txt", "Data/Docs/a.txt", "Data/Docs/b.bin"}, ""},
        {"Data/Docs/a.txt", {"Data/Docs/a.txt"}, ""},
        {"Data/Docs/*.txt", {"Data/Docs/Sub/a.txt", "Data/Docs/a.txt"}, ""},
        {"",
         {"Data/Docs/Sub/a.txt", "Data/Docs/a.txt", "Data/Docs/b.bin", "Data/Docs2/c.txt", "Data/top.txt"},
         ""},
        {"Data/Docs", {}, "No files ended up being processed"},
        {"data/docs/*", {}, "No files ended up being processed"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Pattern);
        testing_support::RemoveTree(m_target);
        std::int64_t completed = 0;
        const std::string error = Unzip(c.Pattern, true, "", {},
                                        [&](TZipComponent*, const std::string&, std::int64_t, std::int64_t,
                                            std::int64_t, int, int, bool done) { completed += done; });
        EXPECT_EQ(error, c.Error);
        std::vector<std::string> files;
        if (platform::DirectoryExists(m_target))
            for (const std::string& name : TreeOf(m_target))
                if (name.back() != '/')
                    files.push_back(name);
        EXPECT_EQ(files, c.Files);
        EXPECT_EQ(completed, static_cast<std::int64_t>(c.Files.size()));
    }
    EXPECT_EQ(Unzip(""), "");
    EXPECT_EQ(ReadFile(m_target + "Data/Docs/Sub/a.txt"), "sub a");
    struct stat st {};
    ::stat((m_target + "Data/top.txt").c_str(), &st);
    EXPECT_EQ(st.st_mtime, EntryTime);
}

TEST_F(ArchiveExtractionTest, ReplaceNewerDecidesAboutFilesThatExistAlready) {
    Build({{"older.txt", "archived older"}, {"same.txt", "archived same"}, {"newer.txt", "archived newer"}});
    const auto prepare = [this] {
        for (const auto& [name, time] :
             {std::pair{"older.txt", EntryTime - 10}, std::pair{"same.txt", EntryTime + 1},
              std::pair{"newer.txt", EntryTime + 10}}) {
            WriteFile(m_target + name, "on disk");
            SetModified(m_target + name, time);
        }
    };
    prepare();
    EXPECT_EQ(Unzip("*", false), "");
    EXPECT_EQ(ReadFile(m_target + "older.txt"), "archived older");
    EXPECT_EQ(ReadFile(m_target + "same.txt"), "on disk"); // same two-second step counts as the same age
    EXPECT_EQ(ReadFile(m_target + "newer.txt"), "on disk");
    EXPECT_EQ(Unzip("*", false), "No files ended up being processed");
    prepare();
    EXPECT_EQ(Unzip("*", true), "");
    for (const char* name : {"older.txt", "same.txt", "newer.txt"})
        EXPECT_NE(ReadFile(m_target + name), "on disk") << name;
    ExpectNoTemporaries();
}

TEST_F(ArchiveExtractionTest, ResultTextsForArchivesThatCannotBeRead) {
    struct TCase {
        const char* Name;
        std::string Content;
        const char* Error;
    };
    const TCase cases[] = {
        {"missing", "", "The zip file could not be opened or found"},
        {"empty file", "", "The zip file is empty"},
        {"archive without entries", std::string("PK\5\6", 4) + std::string(18, '\0'),
         "The zip file is empty"},
        {"random bytes", RandomBytes(3000), "Invalid zip file"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ::unlink(m_archive.c_str());
        if (std::string(c.Name) != "missing")
            WriteFile(m_archive, c.Content);
        EXPECT_EQ(Unzip("*"), c.Error);
    }
}

TEST_F(ArchiveExtractionTest, RefusesEntriesThatWouldLeaveTheTargetAndCreatesNoLinks) {
    const std::string outside = m_dir / "outside/";
    (void)platform::ForceDirectories(outside);
    (void)platform::ForceDirectories(m_target);
    ASSERT_EQ(::symlink(outside.c_str(), (m_target + "via").c_str()), 0);
    BuildWithPython(R"(
for name in ['/abs/evil', '../evil', 'a/../../evil', './evil', 'via/evil', 'good/inside.txt',
             'good/back\\slash', 'good/C:colon']:
    z.writestr(name, 'x')
# Made on another system, where a backslash separates folders and a drive letter leads out.
for name in ['C:/evil', 'C:evil', '..\\evil', '\\evil']:
    info = zipfile.ZipInfo(name)
    info.create_system = 0
    z.writestr(info, 'x')
z.writestr(zipfile.ZipInfo(''), 'an entry without a name')
link = zipfile.ZipInfo('link')
link.create_system = 3
link.external_attr = 0o120777 << 16
z.writestr(link, '../outside/linked')
)");
    TZipComponent zip;
    zip.ZipFilename = m_archive;
    zip.UnzipToFolder = m_target;
    std::map<std::string, int> refused;
    zip.OnSkippingFile = [&](TZipComponent*, const std::string& name, const std::string&, const std::string&,
                             std::int64_t, std::int64_t, int, std::uint32_t, TDateTime, TDateTime, TDateTime,
                             int, bool, int reason) { refused[name] = reason; };
    EXPECT_EQ(zip.ExtractFiles(), ZipResult::FilesNotExtracted);
    EXPECT_EQ(refused, (std::map<std::string, int>{{"", 113},
                                                   {"/abs/evil", 113},
                                                   {"../evil", 113},
                                                   {"a/../../evil", 113},
                                                   {"C:/evil", 113},
                                                   {"C:evil", 113},
                                                   {"..\\evil", 113},
                                                   {"\\evil", 113},
                                                   {"./evil", 113},
                                                   {"via/evil", 112},
                                                   {"link", 113}}));
    // Made on Unix, "\\" and ":" are characters of a name.
    EXPECT_EQ(TreeOf(m_target), (std::vector<std::string>{"good/", "good/C:colon", "good/back\\slash",
                                                          "good/inside.txt", "via"}));
    EXPECT_EQ(TreeOf(outside), std::vector<std::string>{});
    EXPECT_FALSE(platform::PathExists("/abs/evil"));
    EXPECT_FALSE(platform::PathExists(m_dir / "evil"));
    EXPECT_EQ(Unzip(""), "Some files could not be extracted");
}

TEST_F(ArchiveExtractionTest, WrongPasswordOrDamagedDataNeverReadsAsSuccess) {
    Build({{"a.txt", TextLike(30000)}, {"b.txt", "b"}}, "right");
    WriteFile(m_target + "a.txt", "kept");
    for (const char* password : {"wrong", ""}) {
        SCOPED_TRACE(password);
        EXPECT_EQ(Unzip("a.txt", true, password), "The password is not correct.");
        EXPECT_EQ(ReadFile(m_target + "a.txt"), "kept");
    }
    EXPECT_EQ(Unzip("*", true, "right"), "");
    EXPECT_EQ(ReadFile(m_target + "a.txt"), TextLike(30000));

    Build({{"a.txt", TextLike(30000)}});
    std::string damaged = ReadFile(m_archive);
    damaged[200] = static_cast<char>(damaged[200] ^ 0x55); // inside the compressed data of a.txt
    WriteFile(m_archive, damaged);
    WriteFile(m_target + "a.txt", "kept");
    EXPECT_EQ(Unzip("*"), "Some files could not be extracted");
    EXPECT_EQ(ReadFile(m_target + "a.txt"), "kept");
    ExpectNoTemporaries();
}

TEST_F(ArchiveExtractionTest, WriteErrorKeepsTheExistingFile) {
    Build({{"a.txt", "new"}, {"b.txt", "b"}});
    WriteFile(m_target + "a.txt", "old");
    const std::string failing = m_target + "a.txt";
    const ScopedFaultHook fault([failing](platform::FaultOp op, const std::string& path) {
        return op == platform::FaultOp::Write && path == failing ? ENOSPC : 0;
    });
    EXPECT_EQ(Unzip("*"), "Some files could not be extracted");
    EXPECT_EQ(ReadFile(m_target + "a.txt"), "old");
    EXPECT_EQ(ReadFile(m_target + "b.txt"), "b");
    ExpectNoTemporaries();
}

// Every archive cut short, as a broken copy or download leaves it: never a crash, never success, and nothing
// written but below the target.
TEST_F(ArchiveExtractionTest, TruncatedArchivesFailWithoutWritingAnything) {
    Build({{"a.txt", "first"}, {"sub/b.txt", TextLike(300)}});
    const std::string whole = ReadFile(m_archive);
    (void)platform::ForceDirectories(m_target);
    for (std::size_t size = 0; size < whole.size(); ++size) {
        SCOPED_TRACE(size);
        WriteFile(m_archive, whole.substr(0, size));
        std::vector<TZipEntryInfo> entries;
        EXPECT_NE(ReadZipDirectory(m_archive, entries), ZipResult::Success);
        EXPECT_NE(Unzip("*"), "");
        EXPECT_EQ(TreeOf(m_target), std::vector<std::string>{});
    }
}

TEST_F(ArchiveExtractionTest, AbortZipCancelsOnlyThroughTheComponent) {
    Build({{"1.txt", "1"}, {"2.txt", "2"}, {"3.txt", "3"}});
    int calls = 0;
    const std::string error =
        Unzip("*", true, "", [&](TZipComponent* sender, std::int64_t, std::int64_t, auto&&...) {
            AbortZip(nullptr);
            if (++calls == 1)
                AbortZip(sender);
        });
    EXPECT_EQ(error, "User aborted process");
    EXPECT_EQ(TreeOf(m_target), std::vector<std::string>{"1.txt"});
}

TEST_F(ArchiveExtractionTest, ReadsTraditionalAndAesEntriesOfOtherArchivers) {
    const std::string src = m_dir / "src/";
    WriteFile(src + "text.txt", TextLike(200000));
    WriteFile(src + "random.bin", RandomBytes(70000));
    struct TCase {
        const char* Name;
        std::string Command;
        bool Damage;
        const char* Error;
    };
    const TCase cases[] = {
        {"traditional", "zip -q -P pw", false, ""},
        {"AES by 7-Zip", "7z a -bd -tzip -mem=AES256 -ppw", false, ""},
        {"damaged AES by 7-Zip", "7z a -bd -tzip -mem=AES256 -ppw", true,
         "Some files could not be extracted"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ::unlink(m_archive.c_str());
        testing_support::RemoveTree(m_target);
        const TCommandResult made = RunCommand("cd " + Quote(src) + " && " + c.Command + " " +
                                               Quote(m_archive) + " text.txt random.bin");
        ASSERT_EQ(made.ExitCode, 0) << made.Output;
        if (c.Damage) {
            std::string data = ReadFile(m_archive);
            const std::size_t at = data.find("text.txt", 0) + 8 + 11 + 20000; // well inside text.txt's data
            data[at] = static_cast<char>(data[at] ^ 1);
            WriteFile(m_archive, data);
        }
        EXPECT_EQ(Unzip("*", true, "pw"), c.Error);
        if (!c.Damage) {
            EXPECT_EQ(ReadFile(m_target + "text.txt"), TextLike(200000));
            EXPECT_EQ(ReadFile(m_target + "random.bin"), RandomBytes(70000));
        }
    }
}

} // namespace

// Entries are inflated on several threads ahead of their events; the events still come in archive order on
// the calling thread, every file is whole, and an abort leaves exactly what the events had reported done.
TEST_F(ArchiveExtractionTest, ParallelExtractionKeepsTheOrderOfEventsAndAbortsCleanly) {
    std::map<std::string, std::string> files;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "d" + std::to_string(i % 3) + "/f" + std::to_string(100 + i) + ".txt";
        // Every tenth file spans several progress steps.
        files[name] = i % 10 == 5 ? TextLike(3 << 20, i) : TextLike(1000 + 37 * i, i);
    }
    Build(files);
    std::vector<std::string> archiveOrder = EntryNames(m_archive);

    struct TCase {
        const char* What;
        std::size_t AbortAt; // the completed entry whose event aborts; 0 for none
        bool InProgress;     // abort in the first progress event of the entry instead
    };
    for (const TCase& c : {TCase{"whole", 0, false}, TCase{"after an entry", 12, false},
                           TCase{"inside a large entry", 25, true}}) {
        SCOPED_TRACE(c.What);
        testing_support::RemoveTree(m_target);
        std::vector<std::string> completed;
        const std::string error = Unzip("*", true, "", {},
                                        [&](TZipComponent* sender, const std::string& name, std::int64_t,
                                            std::int64_t, std::int64_t, int, int, bool done) {
                                            if (!done) {
                                                // Progress of an entry comes after every earlier entry
                                                // completed.
                                                EXPECT_EQ(name, archiveOrder[completed.size()]);
                                                if (c.InProgress && completed.size() + 1 >= c.AbortAt &&
                                                    files[name].size() > (1u << 20))
                                                    AbortZip(sender);
                                                return;
                                            }
                                            completed.push_back(name);
                                            if (!c.InProgress && completed.size() == c.AbortAt)
                                                AbortZip(sender);
                                        });
        if (c.AbortAt == 0) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(completed, archiveOrder);
        } else {
            EXPECT_EQ(error, "User aborted process");
            EXPECT_EQ(completed, std::vector<std::string>(archiveOrder.begin(),
                                                          archiveOrder.begin() +
                                                              static_cast<std::ptrdiff_t>(completed.size())));
        }
        // On disk: exactly the completed files, each whole, and no temporary file.
        std::vector<std::string> onDisk;
        for (const std::string& name : TreeOf(m_target))
            if (name.back() != '/')
                onDisk.push_back(name);
        std::vector<std::string> expected = completed;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(onDisk, expected);
        for (const std::string& name : completed)
            EXPECT_TRUE(ReadFile(m_target + name) == files[name]) << name;
        ExpectNoTemporaries();
    }
}
