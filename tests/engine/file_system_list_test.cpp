#include "engine/exception.h"
#include "engine/file_system_list.h"

#include "platform/dos_time.h"
#include "platform/fault_injection.h"
#include "platform/file_attributes.h"
#include "platform/file_io.h"
#include "tests/support/seams.h"
#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using testing_support::ScopedFaultHook;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Every element below the root in walking order, relative to the root, walked with the cursor.
std::vector<std::string> Walk(TFileSystemList& list) {
    std::vector<std::string> names;
    list.First();
    const std::string root = list.GetFullName();
    if (!list.Down())
        return names;
    for (;;) {
        names.push_back(list.GetFullName().substr(root.size()));
        if (list.Down())
            continue;
        while (!list.Next()) {
            list.Up();
            if (list.GetFullName() == root)
                return names;
        }
    }
}

struct FoundEntry {
    std::string Path; // relative to the root
    bool Excluded;
    bool operator==(const FoundEntry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const FoundEntry& e) {
    return out << (e.Excluded ? "excluded " : "kept ") << e.Path;
}

// Records every OnFileFound call as the parent's path + the entry's name.
struct Recorder {
    explicit Recorder(std::string root) : Root(std::move(root)) {}
    std::string Root;
    std::vector<FoundEntry> Found;
    std::vector<std::pair<std::string, int>> FolderErrors;

    void Attach(TFileSystemList& list) {
        list.OnFileFound = [this](const TSearchRec& rec, TFileSystemElement* parent, bool excluded) {
            Found.push_back({(parent->Name + rec.Name).substr(Root.size()), excluded});
        };
        list.OnFolderError = [this](const std::string& folder, int error) {
            FolderErrors.emplace_back(folder.substr(Root.size()), error);
        };
    }
    std::vector<std::string> Excluded() const {
        std::vector<std::string> names;
        for (const auto& e : Found)
            if (e.Excluded)
                names.push_back(e.Path);
        return names;
    }
};

void MakeFolder(const std::string& path, mode_t mode = 0755) {
    ASSERT_EQ(::mkdir(path.c_str(), mode), 0) << path;
}

// Runs Body as an unprivileged user: in a child process that drops to nobody when the test runs as root
// (root reads every folder), else in this process. True when Body returned true.
bool RunUnprivileged(const std::function<bool()>& body) {
    if (::geteuid() != 0)
        return body();
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped && body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

// The everyday fixture: dot-names, a read-only file, empty and nested folders, a FIFO, links to the
// parent folder, to a file and to nothing, and a sparse file beyond 4 GiB.
TEST(FileSystemList, ScansEveryKindOfEntry) {
    TempDir dir;
    WriteFile(dir / "a.txt", "12345");
    WriteFile(dir / ".profile", "xy");
    WriteFile(dir / "readonly.txt", "abc");
    ::chmod((dir / "readonly.txt").c_str(), 0444);
    WriteFile(dir / "sub/nested/deep.txt", "1234567");
    WriteFile(dir / "sub/z.txt", "1");
    MakeFolder(dir / "empty");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("..", (dir / "sub/up").c_str()), 0);
    ASSERT_EQ(::symlink("a.txt", (dir / "link.txt").c_str()), 0);
    ASSERT_EQ(::symlink("gone", (dir / "dangling").c_str()), 0);
    const std::int64_t big = 5LL << 30;
    {
        const int fd = ::open((dir / "big.bin").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, big), 0);
        ::close(fd);
    }

    TFileSystemList list;
    Recorder recorder{dir.Path()};
    recorder.Attach(list);
    list.Open(dir.Path(), false);

    EXPECT_EQ(Walk(list),
              (std::vector<std::string>{".profile", "a.txt", "big.bin", "empty/", "link.txt", "readonly.txt",
                                        "sub/", "sub/nested/", "sub/nested/deep.txt", "sub/z.txt"}));
    EXPECT_EQ(recorder.Found, (std::vector<FoundEntry>{{".profile", false},
                                                       {"a.txt", false},
                                                       {"big.bin", false},
                                                       {"dangling", true},
                                                       {"link.txt", false},
                                                       {"pipe", true},
                                                       {"readonly.txt", false},
                                                       {"sub/nested/deep.txt", false},
                                                       {"sub/up", true},
                                                       {"sub/z.txt", false}}));
    EXPECT_TRUE(recorder.FolderErrors.empty());

    list.First();
    EXPECT_EQ(list.GetFullName(), dir.Path());
    EXPECT_EQ(list.GetAttributes(), faDirectory);
    EXPECT_EQ(list.GetSize(), 5 + 2 + 3 + 7 + 1 + 5 + big);
    EXPECT_EQ(list.GetFileCount(true), 7);
    EXPECT_EQ(list.GetFileCount(false), 5);
    ASSERT_TRUE(list.Locate(dir / "sub/"));
    EXPECT_EQ(list.GetSize(), 8);
    EXPECT_EQ(list.GetName(), "sub");
    ASSERT_TRUE(list.Locate(dir / "empty/"));
    EXPECT_FALSE(list.HasChildren());
    EXPECT_EQ(list.GetSize(), 0);
    EXPECT_EQ(list.GetFileCount(true), 0);
    ASSERT_TRUE(list.Locate(dir / ".profile"));
    EXPECT_EQ(list.GetName(), ".profile");
    EXPECT_EQ(list.GetAttributes(), faHidden | faArchive);
    ASSERT_TRUE(list.Locate(dir / "readonly.txt"));
    EXPECT_EQ(list.GetAttributes(), faReadOnly | faArchive);
    ASSERT_TRUE(list.Locate(dir / "big.bin"));
    EXPECT_EQ(list.GetSize(), big);
}

TEST(FileSystemList, ElementsCarryTheirLinksAndDosTimes) {
    TempDir dir;
    WriteFile(dir / "f.txt", "x");
    testing_support::SetModified(dir / "f.txt", 1700000001); // odd second: DOS times step by two
    MakeFolder(dir / "g");
    TFileSystemElement* root = nullptr;
    const TFileSystemElement* file = nullptr;
    TFileSystemList list;
    list.OnFileFound = [&](const TSearchRec&, TFileSystemElement* parent, bool) {
        root = parent;
        file = parent->FirstChild;
    };
    list.Open(dir.Path().substr(0, dir.Path().size() - 1), false); // without the trailing "/"
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Name, dir.Path());
    EXPECT_EQ(root->Parent, nullptr);
    EXPECT_EQ(root->Modified, 0);
    EXPECT_EQ(file->Name, dir / "f.txt");
    EXPECT_EQ(file->Modified, DosTimeOf(1700000000));
    EXPECT_EQ(file->Accessed, DosTimeOf(1700000000));
    EXPECT_EQ(file->Parent, root);
    EXPECT_EQ(file->Prev, nullptr);
    ASSERT_NE(file->Next, nullptr);
    EXPECT_EQ(file->Next->Name, dir / "g/");
    EXPECT_EQ(file->Next->Prev, file);
    EXPECT_EQ(file->Next->Attributes, faDirectory);
}

TEST(FileSystemList, CursorBeforeOpenRaisesAndAMissingFolderCannotBeOpened) {
    TFileSystemList list;
    const std::string message =
        "Operation not allowed on uninitialized object. Use Open method to initialize object.";
    const std::vector<std::function<void()>> calls = {
        [&] { list.First(); },
        [&] { list.Up(); },
        [&] { list.FirstSibling(); },
        [&] { list.Next(); },
        [&] { list.Down(); },
        [&] { list.IsLast(); },
        [&] { list.HasChildren(); },
        [&] { list.Locate("/"); },
        [&] { list.GetFullName(); },
        [&] { list.GetName(); },
        [&] { list.GetAttributes(); },
        [&] { list.GetSize(); },
        [&] { list.GetFileCount(true); },
    };
    for (std::size_t i = 0; i < calls.size(); ++i) {
        try {
            calls[i]();
            ADD_FAILURE() << "call " << i << " did not raise";
        } catch (const Exception& e) {
            EXPECT_EQ(e.what(), message) << "call " << i;
        }
    }
    TempDir dir;
    WriteFile(dir / "file", "");
    for (const std::string& missing : {dir / "none", dir / "file", std::string()}) {
        try {
            list.Open(missing, false);
            ADD_FAILURE() << missing;
        } catch (const Exception& e) {
            EXPECT_EQ(e.what(), "Invalid directory - " + missing);
        }
    }
    EXPECT_THROW(list.First(), Exception);
}

TEST(FileSystemList, CursorWalksSiblingsAndLocateComparesExactly) {
    TempDir dir;
    WriteFile(dir / "Data/x.txt", "1");
    WriteFile(dir / "data/y.txt", "22");
    WriteFile(dir / "ab", "3");            // a file whose name begins a folder's name
    WriteFile(dir / "abc/inner.txt", "4"); // sorted after "ab"
    TFileSystemList list;
    list.Open(dir.Path(), false);

    ASSERT_TRUE(list.Locate(dir / "data/y.txt"));
    EXPECT_EQ(list.GetSize(), 2);
    ASSERT_TRUE(list.Locate(dir / "Data/x.txt"));
    EXPECT_EQ(list.GetSize(), 1);
    ASSERT_TRUE(list.Locate(dir / "abc/inner.txt"));
    EXPECT_EQ(list.GetName(), "inner.txt");
    EXPECT_FALSE(list.Locate(dir / "DATA/x.txt")); // letter case differs
    EXPECT_FALSE(list.Locate(dir / "abc/none"));
    EXPECT_EQ(list.GetFullName(), dir / "abc/inner.txt"); // a failed Locate leaves the cursor

    list.First();
    EXPECT_TRUE(list.IsLast());
    ASSERT_TRUE(list.Down());
    EXPECT_EQ(list.GetName(), "Data"); // byte order: upper case first
    EXPECT_FALSE(list.IsLast());
    ASSERT_TRUE(list.Next());
    ASSERT_TRUE(list.Next());
    ASSERT_TRUE(list.Next());
    EXPECT_EQ(list.GetName(), "data");
    EXPECT_TRUE(list.IsLast());
    EXPECT_FALSE(list.Next());
    list.FirstSibling();
    EXPECT_EQ(list.GetName(), "Data");
    list.Up();
    EXPECT_EQ(list.GetFullName(), dir.Path());
    list.Up(); // the root has no parent: stays
    EXPECT_EQ(list.GetFullName(), dir.Path());
    EXPECT_EQ(list.GetName(), platform::ExtractFileName(platform::ExcludeTrailingPathDelimiter(dir.Path())));

    // The file system's root, with filters that keep nothing, so only its own listing is read.
    TFileSystemList top;
    const std::vector<std::string> none;
    top.SetDirectoryMasks(&none);
    top.SetFileMasks(&none);
    top.Open("/", false);
    EXPECT_EQ(top.GetFullName(), "/");
    EXPECT_EQ(top.GetName(), "");
    EXPECT_FALSE(top.HasChildren());
}

TEST(FileSystemList, AttributeMasksLeaveEntriesOut) {
    TempDir dir;
    WriteFile(dir / "plain.txt", "1");
    WriteFile(dir / "locked.txt", "22");
    ::chmod((dir / "locked.txt").c_str(), 0444); // no write permission: read-only
    WriteFile(dir / ".hidden", "333");
    WriteFile(dir / ".git/config", "4444");
    WriteFile(dir / "src/main.c", "55555");
    struct Case {
        const char* name;
        int directoryMask, fileMask;
        std::vector<std::string> kept, excluded;
    } cases[] = {
        {"everything",
         63,
         63,
         {".git/", ".git/config", ".hidden", "locked.txt", "plain.txt", "src/", "src/main.c"},
         {}},
        {"no read-only files",
         63,
         62,
         {".git/", ".git/config", ".hidden", "plain.txt", "src/", "src/main.c"},
         {"locked.txt"}},
        {"archive bit only",
         63,
         32,
         {".git/", ".git/config", "plain.txt", "src/", "src/main.c"},
         {".hidden", "locked.txt"}},
        {"no hidden folders", 16, 63, {".hidden", "locked.txt", "plain.txt", "src/", "src/main.c"}, {".git"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFileSystemList list;
        list.DirectoryAttributeMask = c.directoryMask;
        list.FileAttributeMask = c.fileMask;
        Recorder recorder{dir.Path()};
        recorder.Attach(list);
        list.Open(dir.Path(), false);
        EXPECT_EQ(Walk(list), c.kept);
        EXPECT_EQ(recorder.Excluded(), c.excluded);
    }
}

TEST(FileSystemList, NameFiltersWithBothFlags) {
    TempDir dir;
    WriteFile(dir / "keep.txt", "1");
    WriteFile(dir / "skip.TMP", "22");
    WriteFile(dir / "cache/old.txt", "333");
    WriteFile(dir / "docs/a.txt", "4444");
    using Names = std::vector<std::string>;
    const Names empty, tmp = {"*.tmp"}, cache = {"*/cache/"};
    struct Case {
        const char* name;
        const Names* directoryMasks;
        int directoryFlag;
        const Names* fileMasks;
        int fileFlag;
        Names kept, excluded;
    } cases[] = {
        {"no filters",
         nullptr,
         0,
         nullptr,
         0,
         {"cache/", "cache/old.txt", "docs/", "docs/a.txt", "keep.txt", "skip.TMP"},
         {}},
        {"empty file list, keep matching",
         nullptr,
         0,
         &empty,
         0,
         {"cache/", "docs/"},
         {"cache/old.txt", "docs/a.txt", "keep.txt", "skip.TMP"}},
        {"empty file list, drop matching",
         nullptr,
         0,
         &empty,
         1,
         {"cache/", "cache/old.txt", "docs/", "docs/a.txt", "keep.txt", "skip.TMP"},
         {}},
        {"keep *.tmp",
         nullptr,
         0,
         &tmp,
         0,
         {"cache/", "docs/", "skip.TMP"},
         {"cache/old.txt", "docs/a.txt", "keep.txt"}},
        {"drop *.tmp",
         nullptr,
         0,
         &tmp,
         1,
         {"cache/", "cache/old.txt", "docs/", "docs/a.txt", "keep.txt"},
         {"skip.TMP"}},
        {"any other flag keeps nothing",
         nullptr,
         0,
         &tmp,
         2,
         {"cache/", "docs/"},
         {"cache/old.txt", "docs/a.txt", "keep.txt", "skip.TMP"}},
        {"empty folder list, keep matching",
         &empty,
         0,
         nullptr,
         0,
         {"keep.txt", "skip.TMP"},
         {"cache", "docs"}},
        {"empty folder list, drop matching",
         &empty,
         1,
         nullptr,
         0,
         {"cache/", "cache/old.txt", "docs/", "docs/a.txt", "keep.txt", "skip.TMP"},
         {}},
        {"keep */cache/",
         &cache,
         0,
         nullptr,
         0,
         {"cache/", "cache/old.txt", "keep.txt", "skip.TMP"},
         {"docs"}},
        {"drop */cache/", &cache, 1, &tmp, 1, {"docs/", "docs/a.txt", "keep.txt"}, {"cache", "skip.TMP"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFileSystemList list;
        list.SetDirectoryMasks(c.directoryMasks);
        list.DirectoryFilterFlag = static_cast<std::uint8_t>(c.directoryFlag);
        list.SetFileMasks(c.fileMasks);
        list.FileFilterFlag = static_cast<std::uint8_t>(c.fileFlag);
        Recorder recorder{dir.Path()};
        recorder.Attach(list);
        list.Open(dir.Path(), false);
        EXPECT_EQ(Walk(list), c.kept);
        EXPECT_EQ(recorder.Excluded(), c.excluded);
    }
}

TEST(FileSystemList, MaskListsAppendAndNullRemovesThem) {
    TempDir dir;
    WriteFile(dir / "a.txt", "");
    WriteFile(dir / "b.log", "");
    WriteFile(dir / "c.tmp", "");
    const std::vector<std::string> first = {"*.txt"}, second = {"*.log"};
    TFileSystemList list;
    list.SetFileMasks(&first);
    list.SetFileMasks(&second);
    list.Open(dir.Path(), false);
    EXPECT_EQ(Walk(list), (std::vector<std::string>{"a.txt", "b.log"}));
    list.SetFileMasks(nullptr);
    list.Open(dir.Path(), false); // a second Open builds a new tree
    EXPECT_EQ(Walk(list), (std::vector<std::string>{"a.txt", "b.log", "c.tmp"}));
}

TEST(FileSystemList, MalformedMaskRaisesAndKeepsTheOldTree) {
    TempDir dir;
    WriteFile(dir / "a.txt", "1");
    TFileSystemList list;
    list.Open(dir.Path(), false);
    const std::vector<std::string> masks = {"*.txt", "*.[tx"};
    list.SetFileMasks(&masks);
    try {
        list.Open(dir.Path(), false);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid mask - *.[tx");
    }
    EXPECT_EQ(Walk(list), std::vector<std::string>{"a.txt"});
}

TEST(FileSystemList, PruneLeavesOutFoldersWithNothingKept) {
    TempDir dir;
    WriteFile(dir / "a/keep.txt", "1");
    WriteFile(dir / "b/c/skip.tmp", "1");
    MakeFolder(dir / "d");
    const std::vector<std::string> tmp = {"*.tmp"};
    TFileSystemList list;
    list.SetFileMasks(&tmp);
    list.FileFilterFlag = 1;
    list.Open(dir.Path(), true);
    EXPECT_EQ(Walk(list), (std::vector<std::string>{"a/", "a/keep.txt"}));
    list.Open(dir.Path(), false);
    EXPECT_EQ(Walk(list), (std::vector<std::string>{"a/", "a/keep.txt", "b/", "b/c/", "d/"}));
}

TEST(FileSystemList, UnreadableFolderIsReportedAndAVanishedOneIsNot) {
    TempDir dir;
    WriteFile(dir / "locked/secret.txt", "1");
    WriteFile(dir / "gone/x.txt", "1");
    WriteFile(dir / "open/y.txt", "1");
    ScopedFaultHook hook([&](FaultOp op, const std::string& path) {
        if (op != FaultOp::ListDirectory)
            return 0;
        return path == dir / "locked/" ? EACCES : path == dir / "gone/" ? ENOENT : 0;
    });
    TFileSystemList list;
    Recorder recorder{dir.Path()};
    recorder.Attach(list);
    list.Open(dir.Path(), false);
    EXPECT_EQ(recorder.FolderErrors, (std::vector<std::pair<std::string, int>>{{"locked/", EACCES}}));
    EXPECT_EQ(Walk(list), (std::vector<std::string>{"gone/", "locked/", "open/", "open/y.txt"}));
}

TEST(FileSystemList, FolderWithoutReadPermissionIsReported) {
    TempDir dir;
    ::chmod(dir.Path().c_str(), 0755);
    WriteFile(dir / "tree/locked/secret.txt", "1");
    WriteFile(dir / "tree/open/y.txt", "1");
    ::chmod((dir / "tree/locked").c_str(), 0);
    const std::string root = dir / "tree/";
    EXPECT_TRUE(RunUnprivileged([&] {
        TFileSystemList list;
        Recorder recorder{root};
        recorder.Attach(list);
        list.Open(root, false);
        return recorder.FolderErrors == std::vector<std::pair<std::string, int>>{{"locked/", EACCES}} &&
               Walk(list) == std::vector<std::string>{"locked/", "open/", "open/y.txt"};
    }));
}

// A recursive scan or a recursive freeing of sibling chains would overflow this thread's small stack.
TEST(FileSystemList, LargeAndDeepTreesNeedNoDeepRecursion) {
    TempDir dir;
    std::string path = dir.Path();
    for (int i = 0; i < 300; ++i) {
        path += "d/";
        MakeFolder(path);
    }
    WriteFile(path + "leaf", "12");
    constexpr int siblings = 2000;
    MakeFolder(dir / "many");
    for (int i = 0; i < siblings; ++i) {
        const int fd = ::open((dir / "many/" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    struct Job {
        std::string Root, Leaf;
        int Files = 0;
        bool Located = false;
    } job{dir.Path(), path + "leaf"};
    const auto run = [](void* arg) -> void* {
        auto* listing = static_cast<Job*>(arg);
        TFileSystemList list;
        list.Open(listing->Root, false);
        listing->Files = list.GetFileCount(true);
        listing->Located = list.Locate(listing->Leaf);
        return nullptr;
    };
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, 64 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, run, &job), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_EQ(job.Files, siblings + 1);
    EXPECT_TRUE(job.Located);
}

TEST(MatchesMask, WildcardTable) {
    struct Case {
        const char* text;
        const char* mask;
        bool matches;
    } cases[] = {
        {"/home/u/a.tmp", "*.tmp", true},
        {"/home/u/a.tmp", "*.TMP", true},
        {"/home/u/a.tmp.bak", "*.tmp", false},
        {"/home/u/a.tmp", "a.tmp", false}, // the whole path, not the name
        {"/home/u/v/a.tmp", "/home/*", true},
        {"/home/u/v/a.tmp", "/home/*/a.tmp", true}, // "*" crosses "/"
        {"/x/ab", "/x/a?", true},
        {"/x/a", "/x/a?", false},
        {"/x/abc", "/x/a?", false},
        {"/x/b1", "/x/[a-c]1", true},
        {"/x/B1", "/x/[a-c]1", true},
        {"/x/d1", "/x/[a-c]1", false},
        {"/x/d1", "/x/[!a-c]1", true},
        {"/x/A1", "/x/[!a-c]1", false},
        {"/x/-", "/x/[a-]", true},
        {"/x/A", "/x/[A-_]", true}, // ends that differ in case keep what lies between them
        {"/x/a", "/x/[A-_]", true},
        {"/x/[", "/x/[A-_]", true},
        {"/x/`", "/x/[A-_]", false},
        {"/x/Q", "/x/[!A-_]", false},
        {"/x/q", "/x/[xyzq]", true},
        {"/x/a*b", "/x/a[*]b", true},
        {"/x/aXb", "/x/a[*]b", false},
        {"abc", "a**c", true},
        {"", "*", true},
        {"", "", true},
        {"a", "", false},
        {"", "?", false},
        {"/x/ÄRGER.txt", "*ärger*", true},      // Latin-1
        {"/x/ŁÓDŹ", "*łódź", true},             // Latin Extended-A
        {"/x/ΩΜΕΓΑ", "*ωμεγα", true},           // Greek
        {"/x/ΟΔΟΣ", "*οδος", true},             // final sigma folds with sigma
        {"/x/ПРИВЕТ.doc", "*привет.DOC", true}, // Cyrillic
        {"/x/Ёж", "*ёЖ", true},
        {"/x/é", "/x/?", true}, // "?" is one character, not one byte
        {"/x/é", "/x/??", false},
        {"/x/É", "/x/[à-ÿ]", true},
        {"/x/\xff", "/x/?", true}, // a stray byte is a character of its own
        {"/x/\xff", "/x/\xff", true},
        {"/x/ü", "/x/u", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesMask(c.text, c.mask), c.matches) << c.text << " against " << c.mask;
}

TEST(MatchesMask, PathologicalMaskFinishesAndMalformedMasksRaise) {
    const std::string text(20000, 'a');
    EXPECT_FALSE(MatchesMask(text, "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_TRUE(MatchesMask(text + "b", "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_FALSE(MatchesMask(text, "*?*?*?*?*?*?*?*?*?*?*?*?[!a]"));
    for (const char* mask : {"[abc", "*.[", "[!", "x[a-", "ok*[a-z"}) {
        try {
            MatchesMask("anything", mask);
            ADD_FAILURE() << mask;
        } catch (const Exception& e) {
            EXPECT_EQ(e.what(), std::string("Invalid mask - ") + mask);
        }
    }
}

// Folders are listed ahead on worker threads, a bounded number at a time: a wide and deep tree, with
// folders left out by a mask and by name and a folder that cannot be read, still comes out in the order
// and with the events of a plain depth-first walk, whatever the workers' timing.
TEST(FileSystemList, WideTreeListedAheadComesOutInWalkingOrder) {
    TempDir dir;
    std::vector<std::string> walk;
    std::vector<FoundEntry> found;
    for (int a = 0; a < 3; ++a) {
        const std::string top = "t" + std::to_string(a) + "/";
        walk.push_back(top);
        for (int b = 0; b < 150; ++b) {
            const std::string mid = top + "m" + std::to_string(1000 + b) + "/";
            const bool skipped = b % 50 == 7;     // left out by the mask
            const bool named = a == 1 && b == 20; // left out by name
            const bool locked = a == 2 && b == 30;
            WriteFile(dir / (mid + "f.txt"), "x");
            if (b % 10 == 0)
                WriteFile(dir / (mid + "deep/g.txt"), "y");
            if (skipped || named) {
                found.push_back({mid.substr(0, mid.size() - 1), true});
                continue;
            }
            walk.push_back(mid);
            if (b % 10 == 0 && !locked) {
                walk.push_back(mid + "deep/");
                walk.push_back(mid + "deep/g.txt");
                found.push_back({mid + "deep/g.txt", false});
            }
            if (!locked) {
                walk.push_back(mid + "f.txt");
                found.push_back({mid + "f.txt", false});
            }
        }
    }
    // The events of a folder come as its entries are met: "deep" sorts before "f.txt".
    ScopedFaultHook hook([&](FaultOp op, const std::string& path) {
        return op == FaultOp::ListDirectory && path == dir / "t2/m1030/" ? EACCES : 0;
    });
    const std::vector<std::string> masks = {"*/m1007/", "*/m1057/", "*/m1107/"};
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        TFileSystemList list;
        Recorder recorder{dir.Path()};
        recorder.Attach(list);
        list.SetDirectoryMasks(&masks);
        list.DirectoryFilterFlag = 1;
        list.ExcludedFolders.push_back(dir / "t1/m1020/");
        list.Open(dir.Path(), false);
        EXPECT_EQ(Walk(list), walk);
        EXPECT_EQ(recorder.Found, found);
        EXPECT_EQ(recorder.FolderErrors, (std::vector<std::pair<std::string, int>>{{"t2/m1030/", EACCES}}));
    }
}
