// app/files/clsFiles.h
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class FolderEntries;

// What one FileDel did: entries (files, folders, links) deleted, and entries that stayed (in use,
// protected, refused).
struct DeleteCount {
    size_t deleted = 0;
    size_t kept = 0;
};
// Told how far a FileDel has got: entries handled, entries in all.
using DeleteProgress = std::function<void(size_t done, size_t total)>;

// What clsFiles asks whoever called it: a window asks the user, the console scan answers itself.
class DriveQuestions {
public:
    virtual ~DriveQuestions() = default;
    // A network drive did not answer; `text` is the complete German question, `driveRoot` e.g.
    // "X:\". True for Yes: the caller agrees to drop entries on unreachable network drives.
    virtual bool AskNetworkDrive(const std::wstring& text, const std::wstring& driveRoot) = 0;
};

// File-system helpers of the scan and the cleanups: drive kinds with the network check, the file
// search, deletion to the recycle bin or for good, folder picker, file date and attribute class.
// No method raises: each writes its own failures to the protocol log and goes on.
class clsFiles {
public:

    // Set once the user has agreed to drop entries on unreachable network drives; GetDrive then
    // no longer asks.
    bool bErrorNetPath = false;

    // Kind of a drive root ("C:\"): 2 removable, 3 fixed, 4 network, 5 CD-ROM, 6 RAM disk, 0 else.
    // A network drive that does not answer is put to `questions` (nobody asked without one).
    int16_t GetDrive(const std::wstring& root, DriveQuestions* questions = nullptr);
    // Network path a drive ("X:") is connected to; empty when it is none or unreachable.
    std::wstring GetUNCPath(const std::wstring& drive);
    // Appends path + name of every entry matching the pattern (recursively if asked) to the list,
    // whose element 0 stays empty, and returns their total size in bytes. Never enters links.
    uint64_t FindFilesAPI(const std::wstring& path, const std::wstring& pattern, bool recurse,
                          std::vector<std::wstring>& list);
    // A path ending in "\" empties that folder (the folder itself stays); any other path is deleted.
    // A folder that must never be emptied (WhyNotEmptied) is left alone and its reason logged.
    DeleteCount FileDel(const std::wstring& path, const DeleteProgress& progress = {});
    // Deletes one file or folder, to the recycle bin when the setting "Recycler" is 1; true when
    // it is gone. A protected path (WhyPathProtected) is left alone and its reason logged.
    bool DoFileDel(const std::wstring& path);
    // The entries of one folder (not below it) that match the pattern, as its listing gives them;
    // none when it does not exist. Failures are logged.
    std::vector<WIN32_FIND_DATAW> ListFolder(const std::wstring& folder, const std::wstring& pattern);
    // DoFileDel for an entry of `folder` as its listing shows it, judged by `entries` (the folder
    // judged once) instead of asking the table again for every file; a link goes as the link itself.
    bool DeleteListed(const FolderEntries& entries, const std::wstring& folder, const WIN32_FIND_DATAW& entry);
    // Folder picker; "" when cancelled.
    std::wstring SelFolder();
    // Last-write date in local time, "d.m.yyyy" without leading zeros; "" on failure.
    std::wstring FileDate(const std::wstring& path);
    // The attribute value when it is exactly one of 4, 1, 32, 16, 2, 256; 0 otherwise.
    int32_t FileKind(const std::wstring& path);
    // Empties the recycle bin; `emptied` is told once it really was (not after the user's "No").
    void EmptyRecycler(HWND owner, const std::function<void()>& emptied = {});

    // The drive type as the system reports it (GetDriveTypeW); tests make a drive look remote.
    std::function<unsigned(const std::wstring& root)> DriveType;
    // The text up to its first zero character.
    static std::wstring StripNull(const std::wstring& text);

private:
    // Deletes one entry whose attributes are known, without asking the protected places.
    bool DeleteEntry(const std::wstring& path, DWORD attributes);
    // Logs why a protected path was left alone.
    void Refuse(const wchar_t* procedure, const std::wstring& message);
    void DeleteToRecycler(const std::wstring& path, DWORD attributes);
    void DeleteForGood(const std::wstring& path, DWORD attributes);

    std::wstring lastNetMessage_;  // German text of the last failed connection query
    int32_t lastAnswer_ = 0;       // answer to the last network question
};
