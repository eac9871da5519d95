// tests/scan/FolderListing_test.cpp
#include "scan/FolderListing.h"
#include "support/Sandbox.h"
#include <windows.h>
#include <gtest/gtest.h>
#include <cwchar>
#include <vector>

namespace {
bool Single(const std::wstring& p) { return GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }
void Touch(const std::wstring& p) { CloseHandle(CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)); }
}  // namespace

TEST(FolderListing, AnswersAsTheFileSystemDoes) {
    TempFolder folder;
    const std::wstring d = folder.Path();
    Touch(d + L"Server.DLL");
    Touch(d + L"a long file name.ocx");
    CreateDirectoryW((d + L"Sub").c_str(), nullptr);
    Touch(d + L"Sub\\inner.dll");
    wchar_t shortName[MAX_PATH] = L"";
    GetShortPathNameW((d + L"a long file name.ocx").c_str(), shortName, MAX_PATH);

    FolderListing listing;
    // Answered from the listing of two folders.
    const std::wstring listed[] = {d + L"server.dll", d + L"SERVER.DLL", d + L"Server.DLL", d + L"sub", d + L"other.dll",
                                   d + L"a long file name.ocx", d + L"A LONG FILE NAME.OCX", d + L"server.dl",
                                   d + L"Sub\\INNER.dll", d + L"sub\\missing.dll", d + L"Sub\\..\\server.dll"};
    for (const std::wstring& p : listed) EXPECT_EQ(listing.Exists(p), Single(p)) << p;
    EXPECT_TRUE(listing.Exists(d + L"SERVER.dll"));
    EXPECT_FALSE(listing.Exists(d + L"other.dll"));
    // d, d + "Sub" spelt in two ways and d + "Sub\.." (folders are listed as written; the file
    // system resolves the folder part for the listing as for the single check)
    EXPECT_EQ(listing.FoldersListed(), 4u);
    EXPECT_EQ(listing.SingleChecks(), 0u);

    // Left to the file system: trimmed names, short names, devices, wildcards, relative paths,
    // forward slashes, streams and folders that cannot be listed.
    std::vector<std::wstring> single = {d + L"server.dll.", d + L"server.dll  ", d + L"nul", d + L"COM1.dll",
                                        d + L"serv*.dll", d + L"sub/inner.dll",
                                        d + L"server.dll:stream", d + L"gibtsnicht\\x.dll", L"server.dll", d + L"."};
    if (wcschr(shortName, L'~')) single.push_back(shortName);  // where the file system makes short names
    for (const std::wstring& p : single) {
        const size_t before = listing.SingleChecks();
        EXPECT_EQ(listing.Exists(p), Single(p)) << p;
        EXPECT_EQ(listing.SingleChecks(), before + 1) << p;
    }
    EXPECT_TRUE(listing.Exists(d + L"server.dll."));  // the file system trims the dot

    std::wstring f, n;
    EXPECT_TRUE(FolderListing::Listable(L"c:\\x.dll", f, n));
    EXPECT_EQ(f, L"c:\\");
    EXPECT_EQ(n, L"x.dll");
    EXPECT_FALSE(FolderListing::Listable(L"\\\\server\\share\\x.dll", f, n));
    EXPECT_FALSE(FolderListing::Listable(L"c:\\progra~1\\", f, n));
    EXPECT_FALSE(FolderListing::Listable(L"c:\\lpt3 .txt", f, n));
    EXPECT_TRUE(FolderListing::Listable(L"c:\\lpt10.txt", f, n));
}

TEST(FolderListing, AnswersHoldUntilClearedAndLinksAreEntries) {
    TempFolder folder;
    const std::wstring d = folder.Path();
    Touch(d + L"gone.dll");
    FolderListing listing;
    EXPECT_FALSE(listing.Exists(d + L"new.dll"));
    EXPECT_TRUE(listing.Exists(d + L"gone.dll"));
    Touch(d + L"new.dll");
    DeleteFileW((d + L"gone.dll").c_str());
    // One scan sees the folder as it was listed ...
    EXPECT_FALSE(listing.Exists(d + L"new.dll"));
    EXPECT_TRUE(listing.Exists(d + L"gone.dll"));
    // ... the next one lists it anew.
    listing.Clear();
    EXPECT_TRUE(listing.Exists(d + L"new.dll"));
    EXPECT_FALSE(listing.Exists(d + L"gone.dll"));

    // A link whose target is gone is still an entry of its folder: it is never followed.
    if (!CreateSymbolicLinkW((d + L"link.dll").c_str(), (d + L"target.dll").c_str(), 0))
        GTEST_SKIP() << "no symbolic links here";
    listing.Clear();
    EXPECT_EQ(listing.Exists(d + L"link.dll"), Single(d + L"link.dll"));
    EXPECT_FALSE(listing.Exists(d + L"target.dll"));
}
