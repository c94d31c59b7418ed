// A recursive folder scan into a tree, filtered by attribute masks and name masks, with a callback for
// every file and every left-out entry and a cursor over the tree.
#pragma once

#include "platform/date_time.h"
#include "platform/directory.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct TFileSystemElement {
    std::string Name; // full path; a folder's ends with "/"
    int Attributes = 0;
    std::int64_t Size = 0; // a folder: the sum of its kept files
    TDateTime Created = 0;
    TDateTime Modified = 0;
    TDateTime Accessed = 0;
    TFileSystemElement* Parent = nullptr;
    TFileSystemElement* Prev = nullptr;
    TFileSystemElement* Next = nullptr;
    TFileSystemElement* FirstChild = nullptr;
};

// Every file, and every left-out entry, as it is found; Parent is the folder being scanned.
using TFileFoundEvent =
    std::function<void(const platform::TSearchRec& searchRec, TFileSystemElement* parent, bool excluded)>;
// A folder that exists but could not be read (Error is the errno value); a folder that vanished is not
// reported.
using TFolderErrorEvent = std::function<void(const std::string& folder, int error)>;

class TFileSystemList {
public:
    TFileSystemList();
    ~TFileSystemList();
    TFileSystemList(const TFileSystemList&) = delete;
    TFileSystemList& operator=(const TFileSystemList&) = delete;

    int DirectoryAttributeMask = 63;
    std::uint8_t DirectoryFilterFlag = 0;
    int FileAttributeMask = 63;
    std::uint8_t FileFilterFlag = 0;
    TFileFoundEvent OnFileFound;
    TFolderErrorEvent OnFolderError;
    // Folders left out whatever the filters say, by full name as the scan builds it (ending in "/"); each is
    // reported as a left-out entry.
    std::vector<std::string> ExcludedFolders;

    // With a list, its masks are appended to the filter (created on first use); with nullptr the filter goes.
    void SetDirectoryMasks(const std::vector<std::string>* list);
    void SetFileMasks(const std::vector<std::string>* list);

    // Builds the tree; raises "Invalid directory - " + Directory when it is not an existing folder, and
    // the wildcard match's exception for a malformed mask.
    void Open(const std::string& directory, bool pruneEmptyDirectories);

    // The cursor. Each raises "Operation not allowed on uninitialized object. Use Open method to
    // initialize object." before the first Open.
    void First();
    void Up();
    void FirstSibling();
    bool Next();
    bool Down();
    bool IsLast();
    bool HasChildren();
    bool Locate(const std::string& fullName);
    std::string GetFullName();
    std::string GetName();
    int GetAttributes();
    std::int64_t GetSize();
    int GetFileCount(bool recursive);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The whole Text against the whole Mask, letter case ignored: "*" any run of characters (also "/"),
// "?" one character, "[a-z]" one of a set, "[!a-z]" one outside it. Raises for an unclosed set.
bool MatchesMask(const std::string& text, const std::string& mask);
