// app/scan/FolderListing.h
#pragma once
#include <string>
#include <unordered_map>
#include <vector>

// Answers "is there a file or folder at this path" for many paths in few folders: each folder is
// listed once and each distinct path answered once, until Clear(). The answers are the ones
// GetFileAttributesW gives: names compare without regard to case as the file system compares
// them, and links are entries like any other (never followed). Whatever a listing cannot answer
// exactly so — short (8.3) names, names Windows trims or treats as devices, relative or UNC paths,
// folders that cannot be listed — is asked of the file system directly.
class FolderListing {
public:
    bool Exists(const std::wstring& path);
    void Clear();

    // For the benchmark: folders listed, and paths asked of the file system one by one.
    size_t FoldersListed() const { return listed_; }
    size_t SingleChecks() const { return single_; }

    // Whether `path` has the form the listing answers for: "X:\folder\name", the name free of
    // everything the file system would trim, expand or resolve on its own. `folder` receives
    // "X:\folder" (the part before the last backslash), `name` the last part.
    static bool Listable(const std::wstring& path, std::wstring& folder, std::wstring& name);

private:
    struct Folder {
        bool listed = false;
        std::vector<std::wstring> names;  // sorted as the file system compares them
    };
    const Folder& Listing(const std::wstring& folder);
    bool Single(const std::wstring& path);

    std::unordered_map<std::wstring, Folder> folders_;  // by the folder's path as written
    std::unordered_map<std::wstring, bool> answers_;    // by the path as written
    size_t listed_ = 0, single_ = 0;
};
