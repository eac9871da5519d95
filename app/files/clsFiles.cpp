// app/files/clsFiles.cpp
#include "files/clsFiles.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/UniqueHandle.h"
#include "journal/Protected.h"
#include <shellapi.h>
#include <shlobj.h>
#include <winnetwk.h>

// Declared by the platform SDK, missing from the mingw headers.
extern "C" __declspec(dllimport) HRESULT WINAPI SHUpdateRecycleBinIcon(void);

namespace {
constexpr const wchar_t* kModule = L"clsFiles";

// The W functions take paths beyond MAX_PATH only in the \\?\ form, which skips all
// normalisation, so the path is made absolute first.
std::wstring ApiPath(const std::wstring& path) {
    if (path.size() < MAX_PATH - 12 || StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) return path;
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    if (full.empty()) return path;
    full.resize(GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(ApiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES ||
           error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH || error == ERROR_INVALID_DRIVE;
}

// Calls f for every entry of folder (ending in "\") that matches pattern, "." and ".." left out.
// A folder that does not exist has no entries; any other failure is raised.
template <class F>
void ForEachEntry(const std::wstring& folder, const std::wstring& pattern, F&& f) {
    WIN32_FIND_DATAW fd;
    UniqueHFind find{FindFirstFileExW(ApiPath(folder + pattern).c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                     nullptr, 0)};
    if (!find) {
        const DWORD error = GetLastError();
        if (IsNotFound(error)) return;
        RaiseWin32(error);
    }
    do {
        const std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") f(fd);
    } while (FindNextFileW(find.get(), &fd));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) RaiseWin32(error);
}

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool IsRealFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(attributes);
}

bool OnWine() {
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}
// Wine marks every file as archive, since a Unix file system cannot keep that flag: there it says
// nothing, and a read-only or hidden file must still come out as such.
bool ArchiveIsInvented() { return OnWine(); }
// Wine does not mark a link to a file, and DeleteFileW on one deletes the file it points to.
bool UnmarkedFileLinks() { return OnWine(); }

int32_t KindOf(DWORD attributes) {
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    if (ArchiveIsInvented() && attributes != FILE_ATTRIBUTE_ARCHIVE) attributes &= ~FILE_ATTRIBUTE_ARCHIVE;
    for (DWORD kind : {FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_ARCHIVE,
                       FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_TEMPORARY})
        if (attributes == kind) return static_cast<int32_t>(kind);
    return 0;
}
// Exactly read-only or exactly temporary: such entries are never deleted.
bool IsProtected(DWORD attributes) {
    const int32_t kind = KindOf(attributes);
    return kind == FILE_ATTRIBUTE_READONLY || kind == FILE_ATTRIBUTE_TEMPORARY;
}

std::wstring FinalPath(HANDLE h) {
    std::wstring out(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
    if (n >= out.size()) {
        out.resize(n);
        n = GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
    }
    out.resize(n < out.size() ? n : 0);
    return out;
}

std::wstring WithoutTrailingBackslash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

// True when the handle opened for path is not the entry itself but what a link there points to.
// Wine follows its links even when asked not to and does not mark a linked file at all; the
// resolved name is the only thing that gives it away.
bool LeadsElsewhere(HANDLE h, const std::wstring& path) {
    const std::wstring self = FinalPath(h);
    const std::wstring trimmed = WithoutTrailingBackslash(path);
    const size_t cut = trimmed.find_last_of(L'\\');
    if (self.empty() || cut == std::wstring::npos) return false;
    std::wstring name = trimmed.substr(cut + 1);
    if (name.find(L'~') != std::wstring::npos) {  // maybe a short name: the file system holds the long one
        WIN32_FIND_DATAW fd;
        UniqueHFind find{FindFirstFileExW(ApiPath(trimmed).c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0)};
        if (find) name = fd.cFileName;
    }
    // Emptying a folder asks for the same parent entry after entry. A stale answer can only
    // differ from what the handle shows and so refuse, never let a link pass.
    static std::wstring lastParent, lastParentPath;
    const std::wstring parent = trimmed.substr(0, cut + 1);
    if (parent != lastParent) {
        UniqueHFile dir{CreateFileW(ApiPath(parent).c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
        if (!dir) return false;
        lastParentPath = FinalPath(dir.get());
        lastParent = parent;
    }
    if (lastParentPath.empty()) return false;
    const std::wstring expected = WithBackslash(lastParentPath) + name;
    return CompareStringOrdinal(self.c_str(), -1, expected.c_str(), -1, TRUE) != CSTR_EQUAL;
}

// Deletes one file, one empty folder or one link itself, never what a link points to. The
// attributes, when the caller has just read them (from the folder listing), save asking again.
void RemoveEntry(const std::wstring& path, DWORD attributes = INVALID_FILE_ATTRIBUTES) {
    UniqueHFile h{CreateFileW(ApiPath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (!h) RaiseWin32(GetLastError());
    FILE_BASIC_INFO info{};
    info.FileAttributes = attributes;
    if (attributes == INVALID_FILE_ATTRIBUTES && !GetFileInformationByHandleEx(h.get(), FileBasicInfo, &info, sizeof info))
        RaiseWin32(GetLastError());
    if (!IsLink(info.FileAttributes) && LeadsElsewhere(h.get(), path)) Raise(Err::PermissionDenied);
    if (info.FileAttributes & FILE_ATTRIBUTE_READONLY) {
        // A read-only entry cannot be deleted; the caller has already decided that it may go.
        FILE_BASIC_INFO writable{};  // zero times: left as they are
        writable.FileAttributes = info.FileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                         FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (!writable.FileAttributes) writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(h.get(), FileBasicInfo, &writable, sizeof writable);
    }
    FILE_DISPOSITION_INFO dispose{TRUE};
    if (!SetFileInformationByHandle(h.get(), FileDispositionInfo, &dispose, sizeof dispose)) {
        const DWORD error = GetLastError();
        if (error == ERROR_DIR_NOT_EMPTY) Raise(Err::PathFileAccess);
        RaiseWin32(error);
    }
}

// Removes a folder with everything below it, children first. Links are removed, never entered;
// entries that are exactly read-only or temporary stay, and with them their folders. Goes on
// after a failure and raises the first one at the end.
void RemoveTree(const std::wstring& folder) {
    struct Pending {
        std::wstring path;
        DWORD attributes;
        bool opened;
    };
    std::vector<Pending> stack{{WithBackslash(folder), INVALID_FILE_ATTRIBUTES, false}};
    RuntimeError first{};
    auto attempt = [&](auto&& step) {
        try {
            step();
        } catch (...) {
            if (!first.number) first = CurrentError();
        }
    };
    while (!stack.empty()) {
        if (stack.back().opened) {
            const Pending done = stack.back();
            stack.pop_back();
            attempt([&] { RemoveEntry(done.path, done.attributes); });
            continue;
        }
        stack.back().opened = true;
        const std::wstring path = stack.back().path;
        // Read the whole folder before deleting in it.
        std::vector<std::pair<std::wstring, DWORD>> entries;
        attempt([&] {
            ForEachEntry(path, L"*", [&](const WIN32_FIND_DATAW& fd) {
                entries.emplace_back(path + fd.cFileName, fd.dwFileAttributes);
            });
        });
        for (const auto& [child, attributes] : entries) {
            if (IsRealFolder(attributes)) stack.push_back({child + L"\\", attributes, false});
            else if (!IsProtected(attributes)) attempt([&] { RemoveEntry(child, attributes); });
        }
        DoEventsIfDue();
    }
    if (first.number) throw first;
}

// True when a link lies anywhere below the folder (links themselves are not entered).
bool HoldsLink(const std::wstring& folder) {
    std::vector<std::wstring> pending{WithBackslash(folder)};
    bool found = false;
    while (!pending.empty() && !found) {
        const std::wstring path = pending.back();
        pending.pop_back();
        ForEachEntry(path, L"*", [&](const WIN32_FIND_DATAW& fd) {
            if (IsLink(fd.dwFileAttributes)) found = true;
            else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) pending.push_back(path + fd.cFileName + L"\\");
        });
    }
    return found;
}

std::wstring ConnectionText(DWORD code) {
    switch (code) {
    case 50: return L"Funktion nicht unterstützt";
    case 234: return L"Zu viele Daten";
    case 1200: return L"Unbekanntes Laufwerk";
    case 1201: return L"Verbindung nicht verfügbar";
    case 1203: return L"Kein Netzwerk verfügbar oder unbekannter Verweis";
    case 1208: return L"Erweiterter Fehler";
    case 1222: return L"Kein Netzwerk verfügbar";
    case 2250: return L"Keine Verbindung";
    default: return L"";
    }
}

// A failed deletion ends in one of these; anything else is an error of its own kind.
bool IsFailedDeletion(int number) {
    return number == Err::FileNotFound || number == Err::FileAlreadyOpen || number == Err::PermissionDenied ||
           number == Err::PathFileAccess || number == Err::PathNotFound;
}
}  // namespace

std::wstring clsFiles::StripNull(const std::wstring& text) {
    return text.substr(0, text.find(L'\0'));
}

int16_t clsFiles::GetDrive(const std::wstring& root, DriveQuestions* questions) {
    int16_t kind = 0;
    lastNetMessage_.clear();
    Trap(kModule, L"GetDrive", [&] {
        // An empty root would name the current drive.
        if (root.empty()) return;
        const UINT type = DriveType ? DriveType(root) : GetDriveTypeW(root.c_str());
        kind = (type >= DRIVE_REMOVABLE && type <= DRIVE_RAMDISK) ? static_cast<int16_t>(type) : 0;
        if (kind != DRIVE_REMOTE) return;
        GetUNCPath(root.substr(0, root.size() - 1));
        if (lastNetMessage_.empty() || bErrorNetPath) return;
        const std::wstring text =
            L"Es wurde ein Registryeintrag gefunden, der auf das Netzlaufwerk " + root + L"verweist.\r\n" +
            L"Der Versuch ein Verbindung zu " + root + L" herzustellen, wurde mit der Meldung '" + lastNetMessage_ +
            L"' abgebrochen.\r\n\r\nWenn " + root +
            L" nicht mehr vorhanden ist, kann der Eintrag gelöscht werden.\r\nWollen Sie das tun?";
        lastAnswer_ = questions && questions->AskNetworkDrive(text, root) ? IDYES : IDNO;
        if (lastAnswer_ == IDYES) bErrorNetPath = true;
    }, Style::Warning, false, L"suche LW: " + root);
    lastNetMessage_.clear();
    return kind;
}

std::wstring clsFiles::GetUNCPath(const std::wstring& drive) {
    std::wstring path;
    lastNetMessage_.clear();
    Trap(kModule, L"GetUNCPath", [&] {
        DWORD size = 256;
        DWORD rc = ERROR_MORE_DATA;
        // A connection path may be longer than any fixed buffer: grow to the size the call asks for.
        for (int tries = 0; rc == ERROR_MORE_DATA && tries < 4; ++tries) {
            path.assign(size, L'\0');
            rc = WNetGetConnectionW(drive.c_str(), path.data(), &size);
        }
        if (rc == NO_ERROR) {
            path = StripNull(path);
            return;
        }
        path.clear();
        lastNetMessage_ = ConnectionText(rc);
        if (lastNetMessage_.empty()) RaiseWin32(rc);
        Trace(kModule, L"fGetUNCPath", L"Suche LW: " + drive + L" UNC-Meldung: " + lastNetMessage_);
    }, Style::Warning, false, drive);
    return path;
}

uint64_t clsFiles::FindFilesAPI(const std::wstring& path, const std::wstring& pattern, bool recurse,
                                std::vector<std::wstring>& list) {
    uint64_t total = 0;
    if (list.empty()) list.emplace_back();
    // An empty path would search the root of the current drive.
    if (path.empty()) return 0;
    // Depth first without recursion, so a deep tree cannot exhaust the stack; the order is that of
    // a recursive walk: a folder's own matches, then each sub-folder in turn.
    std::vector<std::wstring> pending{WithBackslash(path)};
    while (!pending.empty()) {
        const std::wstring folder = pending.back();
        pending.pop_back();
        std::vector<std::wstring> subFolders;
        Trap(kModule, L"FindFilesAPI", [&] {
            if (recurse)
                ForEachEntry(folder, L"*", [&](const WIN32_FIND_DATAW& fd) {
                    // A link is listed below but never entered: it may lead anywhere, on Wine up
                    // to the whole Unix file system.
                    if (IsRealFolder(fd.dwFileAttributes)) subFolders.push_back(folder + fd.cFileName + L"\\");
                });
            ForEachEntry(folder, pattern, [&](const WIN32_FIND_DATAW& fd) {
                total += (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
                list.push_back(folder + fd.cFileName);
            });
        }, Style::Warning, false, folder);
        pending.insert(pending.end(), subFolders.rbegin(), subFolders.rend());
        DoEventsIfDue();
    }
    return total;
}

DeleteCount clsFiles::FileDel(const std::wstring& path, const DeleteProgress& progress) {
    DeleteCount count;
    auto tally = [&](bool gone) { ++(gone ? count.deleted : count.kept); };
    Trace(kModule, L"FileDel", L"Dateien in Papierkorb=" + std::to_wstring(AppSwitches.Recycler));
    if (!EndsWith(path, L"\\")) {
        if (Exists(path)) tally(DoFileDel(path));
        return count;
    }
    if (!Exists(path)) return count;
    if (const std::wstring reason = WhyNotEmptied(path); !reason.empty()) {
        Refuse(L"FileDel", path + L" " + reason + L" und wurde nicht geleert.");
        return count;
    }
    // Everything below the folder, each folder listed before what it holds; links are listed,
    // never entered. Deleted from the end, so every folder is empty when its turn comes.
    std::vector<std::pair<std::wstring, DWORD>> entries;
    std::vector<std::wstring> pending{path};
    while (!pending.empty()) {
        const std::wstring folder = pending.back();
        pending.pop_back();
        Trap(kModule, L"FileDel", [&] {
            ForEachEntry(folder, L"*", [&](const WIN32_FIND_DATAW& fd) {
                entries.emplace_back(folder + fd.cFileName, fd.dwFileAttributes);
                if (IsRealFolder(fd.dwFileAttributes)) pending.push_back(entries.back().first + L"\\");
            });
        }, Style::Warning, false, folder);
        DoEventsIfDue();
    }
    const size_t total = entries.size();
    for (size_t done = 1; done <= total; ++done) {
        const auto& [entry, attributes] = entries[total - done];
        tally(DeleteEntry(entry, attributes));
        if (progress) progress(done, total);
        DoEventsIfDue();
    }
    return count;
}

bool clsFiles::DoFileDel(const std::wstring& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(ApiPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (!IsNotFound(error)) Trap(kModule, L"DoFileDel", [&] { RaiseWin32(error); }, Style::Warning, false, path);
        return false;
    }
    if (const std::wstring reason = WhyPathProtected(path); !reason.empty()) {
        Refuse(L"DoFileDel", path + L" " + reason + L" und wurde nicht gelöscht.");
        return false;
    }
    return DeleteEntry(path, attributes);
}

std::vector<WIN32_FIND_DATAW> clsFiles::ListFolder(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<WIN32_FIND_DATAW> entries;
    if (folder.empty()) return entries;  // would list the current folder
    Trap(kModule, L"FindFilesAPI", [&] {
        ForEachEntry(WithBackslash(folder), pattern, [&](const WIN32_FIND_DATAW& fd) { entries.push_back(fd); });
    }, Style::Warning, false, folder);
    return entries;
}

bool clsFiles::DeleteListed(const FolderEntries& entries, const std::wstring& folder, const WIN32_FIND_DATAW& entry) {
    const std::wstring path = WithBackslash(folder) + entry.cFileName;
    if (const std::wstring reason = entries.WhyEntry(entry.cFileName); !reason.empty()) {
        Refuse(L"DoFileDel", path + L" " + reason + L" und wurde nicht gelöscht.");
        return false;
    }
    return DeleteEntry(path, entry.dwFileAttributes);
}

void clsFiles::Refuse(const wchar_t* procedure, const std::wstring& message) {
    // Written with logging off too: a refusal is no trace but the answer to the caller's request.
    HandleError(kModule, procedure, message, 0, L"", Style::Warning, false);
}

bool clsFiles::DeleteEntry(const std::wstring& path, DWORD attributes) {
    if (IsProtected(attributes)) return false;
    // A link holds no data and the shell would follow it: links always go for good.
    const bool toRecycler = AppSwitches.Recycler == 1 && !IsLink(attributes);
    try {
        if (toRecycler) DeleteToRecycler(path, attributes);
        else DeleteForGood(path, attributes);
        return true;
    } catch (...) {
        const RuntimeError e = CurrentError();
        if (IsFailedDeletion(e.number))
            ReportError(kModule, L"DoFileDel", e, Style::Warning, false,
                        path + (toRecycler ? L" wurde nicht in Papierkorb verschoben; Zugriff verweigert"
                                           : L" wurde nicht gelöscht; Zugriff verweigert"));
        else
            ReportError(kModule, L"DoFileDel", e, Style::Warning, false, path);
        return false;
    }
}

void clsFiles::DeleteToRecycler(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        // When the shell cannot recycle, it deletes for good, and through any link inside.
        if (HoldsLink(path)) Raise(Err::PermissionDenied);
    } else {
        UniqueHFile h{CreateFileW(ApiPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
        if (h && LeadsElsewhere(h.get(), path)) Raise(Err::PermissionDenied);
    }
    std::wstring from = path;
    from.push_back(L'\0');  // the list ends with two zeros
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    DoEvents();
    const int rc = SHFileOperationW(&op);
    DoEvents();
    if (rc != 0 || op.fAnyOperationsAborted || Exists(path)) Raise(Err::PermissionDenied);
    Trace(kModule, L"DoFileDel", path + L" wurde in Papierkorb verschoben");
}

void clsFiles::DeleteForGood(const std::wstring& path, DWORD attributes) {
    // A plain file or an empty folder goes in one call, as fast as the system deletes; what is
    // read-only, a link or a folder with contents takes the careful way.
    const std::wstring api = ApiPath(path);
    const bool plain = !IsLink(attributes) && !(attributes & FILE_ATTRIBUTE_READONLY);
    if (IsRealFolder(attributes)) {
        if (!plain || !RemoveDirectoryW(api.c_str())) {
            RemoveTree(path);
            if (Exists(path)) Raise(Err::PathFileAccess);
        }
    } else if (!plain || UnmarkedFileLinks() || !DeleteFileW(api.c_str())) {
        RemoveEntry(path, attributes);
    }
    if (Logging()) Trace(kModule, L"DoFileDel", path + L" wurde dauerhaft gelöscht");
}

std::wstring clsFiles::SelFolder() {
    std::wstring folder;
    Trap(kModule, L"SelFolder", [&] {
        wchar_t displayName[MAX_PATH] = L"";
        BROWSEINFOW info{};
        info.hwndOwner = GetActiveWindow();
        info.pszDisplayName = displayName;
        info.lpszTitle = L"Wähle den Ordner, aus den die Dateien gelöscht werden sollen.";
        info.ulFlags = BIF_RETURNONLYFSDIRS;
        UniqueCoTaskMem<PIDLIST_ABSOLUTE> item(SHBrowseForFolderW(&info));
        if (!item) return;
        // Asks the shell for the whole path, not a MAX_PATH buffer.
        UniqueCoTaskMem<PWSTR> name;
        const HRESULT hr = SHGetNameFromIDList(item.get(), SIGDN_FILESYSPATH, name.put());
        item.reset();
        if (FAILED(hr)) RaiseWin32(HRESULT_CODE(hr));
        folder = StripNull(name.get());
    });
    return folder;
}

std::wstring clsFiles::FileDate(const std::wstring& path) {
    std::wstring date;
    Trap(kModule, L"FileDate", [&] {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(ApiPath(path).c_str(), GetFileExInfoStandard, &data)) RaiseWin32(GetLastError());
        SYSTEMTIME utc, local;
        // The time zone rules of that date, not today's daylight-saving offset.
        if (!FileTimeToSystemTime(&data.ftLastWriteTime, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
            RaiseWin32(GetLastError());
        date = std::to_wstring(local.wDay) + L"." + std::to_wstring(local.wMonth) + L"." + std::to_wstring(local.wYear);
    }, Style::Warning, false, path);
    return date;
}

int32_t clsFiles::FileKind(const std::wstring& path) {
    int32_t kind = 0;
    Trap(kModule, L"FileKind", [&] { kind = KindOf(GetFileAttributesW(ApiPath(path).c_str())); });
    return kind;
}

void clsFiles::EmptyRecycler(HWND owner, const std::function<void()>& emptied) {
    Trap(kModule, L"EmptyRecycler", [&] {
        const DWORD flags = AppSwitches.RecyclerSecurity != 0 ? SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI : 0;
        const HRESULT hr = SHEmptyRecycleBinW(owner, nullptr, flags);
        SHUpdateRecycleBinIcon();
        // An already empty bin and the user's "No" are no errors.
        if (FAILED(hr) && hr != E_UNEXPECTED && hr != HRESULT_FROM_WIN32(ERROR_CANCELLED) && hr != E_ABORT)
            RaiseWin32(HRESULT_CODE(hr));
        // Without a question nothing may be left; Wine's bin, for one, keeps folders and read-only files.
        SHQUERYRBINFO left{};
        left.cbSize = sizeof left;
        if ((flags & SHERB_NOCONFIRMATION) && SUCCEEDED(SHQueryRecycleBinW(nullptr, &left)) && left.i64NumItems > 0)
            Raise(Err::PermissionDenied);
        // Said only once the bin was emptied: not after the user's "No", nor after a failure (raised above).
        if (emptied && hr != HRESULT_FROM_WIN32(ERROR_CANCELLED) && hr != E_ABORT) emptied();
    });
}
