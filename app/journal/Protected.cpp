// app/journal/Protected.cpp
#include "journal/Protected.h"
#include "core/Service.h"
#include "core/Text.h"
#include "core/UniqueHandle.h"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include <algorithm>
#include <cwchar>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <vector>

// ---- Folders ----------------------------------------------------------------------------------
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include <initguid.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <algorithm>
#include <vector>

namespace {

// How far a protected folder's protection reaches. A folder that holds a protected folder is
// protected as well, whatever the reach.
enum class Reach {
    Itself,    // the folder alone
    Below,     // the folder and everything below it
    Children,  // the folder and its direct sub-folders
    Free,      // nothing below it is protected by a folder around it
};

struct FolderRow {
    std::wstring (*where)();  // "" when the system has no such folder
    Reach reach;
    const wchar_t* is;      // said of the folder itself
    const wchar_t* inside;  // said of what lies below it (Below) or of a direct sub-folder (Children)
    const wchar_t* holds;   // said of a folder that holds it
};

template <const KNOWNFOLDERID& id>
std::wstring Known() {
    UniqueCoTaskMem<PWSTR> path;
    std::wstring out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, path.put())) && path) out = path.get();
    return out;
}

std::wstring TempOf(const std::wstring& windows) { return windows.empty() ? L"" : WithBackslash(windows) + L"Temp"; }

// A folder below a system folder is a system folder as well.
const wchar_t* const kSystem[] = {L"ist ein Systemordner von Windows", L"ist ein Systemordner von Windows",
                                  L"enthält einen Systemordner von Windows"};
const wchar_t* const kWindows[] = {L"ist der Windows-Ordner", L"liegt im Windows-Ordner", L"enthält den Windows-Ordner"};
const wchar_t* const kPrograms[] = {L"enthält installierte Programme", L"gehört zu den installierten Programmen",
                                    L"enthält installierte Programme"};
const wchar_t* const kThisProgram[] = {L"enthält dieses Programm", nullptr, L"enthält dieses Programm"};

// Checked in this order: the first row that a folder is, then the first it holds, then the first
// it lies in.
const FolderRow kFolders[] = {
    // Windows, all of it but its own Temp folder.
    {[] { return AppEnvironment.SysDir; }, Reach::Below, kSystem[0], kSystem[1], kSystem[2]},
    {[] { return AppEnvironment.SysWow64Dir; }, Reach::Below, kSystem[0], kSystem[1], kSystem[2]},
    {Known<FOLDERID_System>, Reach::Below, kSystem[0], kSystem[1], kSystem[2]},
    {Known<FOLDERID_SystemX86>, Reach::Below, kSystem[0], kSystem[1], kSystem[2]},
    {[] { return AppEnvironment.WinDir; }, Reach::Below, kWindows[0], kWindows[1], kWindows[2]},
    {Known<FOLDERID_Windows>, Reach::Below, kWindows[0], kWindows[1], kWindows[2]},
    {[] { return TempOf(AppEnvironment.WinDir); }, Reach::Free, nullptr, nullptr, nullptr},
    {[] { return TempOf(Known<FOLDERID_Windows>()); }, Reach::Free, nullptr, nullptr, nullptr},
    // The installed programs.
    {[] { return AppEnvironment.ProgramFilesDir; }, Reach::Below, kPrograms[0], kPrograms[1], kPrograms[2]},
    {[] { return AppEnvironment.ProgramFilesX86Dir; }, Reach::Below, kPrograms[0], kPrograms[1], kPrograms[2]},
    {Known<FOLDERID_ProgramFiles>, Reach::Below, kPrograms[0], kPrograms[1], kPrograms[2]},
    {Known<FOLDERID_ProgramFilesX86>, Reach::Below, kPrograms[0], kPrograms[1], kPrograms[2]},
    {Known<FOLDERID_ProgramFilesX64>, Reach::Below, kPrograms[0], kPrograms[1], kPrograms[2]},
    // What programs keep for all users: one folder per program or vendor.
    {Known<FOLDERID_ProgramData>, Reach::Children, L"ist der Ordner ProgramData mit den Daten der Programme für alle Benutzer",
     L"ist ein Ordner mit den Daten eines Programms für alle Benutzer (ProgramData)",
     L"enthält den Ordner ProgramData mit den Daten der Programme für alle Benutzer"},
    // The profiles and the roots of the user's application data.
    {Known<FOLDERID_UserProfiles>, Reach::Itself, L"enthält die Benutzerprofile", nullptr, L"enthält die Benutzerprofile"},
    {Known<FOLDERID_Profile>, Reach::Itself, L"ist Ihr Benutzerprofil", nullptr, L"enthält Ihr Benutzerprofil"},
    {Known<FOLDERID_RoamingAppData>, Reach::Itself, L"ist der Ordner Ihrer Anwendungsdaten (AppData\\Roaming)", nullptr,
     L"enthält den Ordner Ihrer Anwendungsdaten (AppData\\Roaming)"},
    {Known<FOLDERID_LocalAppData>, Reach::Itself, L"ist der Ordner Ihrer lokalen Anwendungsdaten (AppData\\Local)",
     nullptr, L"enthält den Ordner Ihrer lokalen Anwendungsdaten (AppData\\Local)"},
    {Known<FOLDERID_LocalAppDataLow>, Reach::Itself,
     L"ist der Ordner der Anwendungsdaten geschützt laufender Programme (AppData\\LocalLow)", nullptr,
     L"enthält den Ordner der Anwendungsdaten geschützt laufender Programme (AppData\\LocalLow)"},
    // The user's own files, with everything in them.
    {Known<FOLDERID_Desktop>, Reach::Below, L"ist Ihr Desktop", L"liegt auf Ihrem Desktop", L"enthält Ihren Desktop"},
    {Known<FOLDERID_Documents>, Reach::Below, L"ist Ihr Ordner Dokumente", L"liegt in Ihrem Ordner Dokumente",
     L"enthält Ihren Ordner Dokumente"},
    {Known<FOLDERID_Downloads>, Reach::Below, L"ist Ihr Ordner Downloads", L"liegt in Ihrem Ordner Downloads",
     L"enthält Ihren Ordner Downloads"},
    {Known<FOLDERID_Music>, Reach::Below, L"ist Ihr Ordner Musik", L"liegt in Ihrem Ordner Musik",
     L"enthält Ihren Ordner Musik"},
    {Known<FOLDERID_Pictures>, Reach::Below, L"ist Ihr Ordner Bilder", L"liegt in Ihrem Ordner Bilder",
     L"enthält Ihren Ordner Bilder"},
    {Known<FOLDERID_Videos>, Reach::Below, L"ist Ihr Ordner Videos", L"liegt in Ihrem Ordner Videos",
     L"enthält Ihren Ordner Videos"},
    {Known<FOLDERID_Favorites>, Reach::Below, L"ist Ihr Ordner Favoriten", L"liegt in Ihrem Ordner Favoriten",
     L"enthält Ihren Ordner Favoriten"},
    {Known<FOLDERID_Links>, Reach::Below, L"ist Ihr Ordner Links", L"liegt in Ihrem Ordner Links",
     L"enthält Ihren Ordner Links"},
    {Known<FOLDERID_SavedGames>, Reach::Below, L"ist Ihr Ordner Gespeicherte Spiele",
     L"liegt in Ihrem Ordner Gespeicherte Spiele", L"enthält Ihren Ordner Gespeicherte Spiele"},
    {Known<FOLDERID_SavedSearches>, Reach::Below, L"ist Ihr Ordner Suchvorgänge", L"liegt in Ihrem Ordner Suchvorgänge",
     L"enthält Ihren Ordner Suchvorgänge"},
    {Known<FOLDERID_Contacts>, Reach::Below, L"ist Ihr Ordner Kontakte", L"liegt in Ihrem Ordner Kontakte",
     L"enthält Ihren Ordner Kontakte"},
    {Known<FOLDERID_Templates>, Reach::Below, L"ist Ihr Ordner Vorlagen", L"liegt in Ihrem Ordner Vorlagen",
     L"enthält Ihren Ordner Vorlagen"},
    {Known<FOLDERID_SkyDrive>, Reach::Below, L"ist Ihr OneDrive-Ordner", L"liegt in Ihrem OneDrive-Ordner",
     L"enthält Ihren OneDrive-Ordner"},
    {Known<FOLDERID_SendTo>, Reach::Below, L"ist Ihr Ordner Senden an", L"liegt in Ihrem Ordner Senden an",
     L"enthält Ihren Ordner Senden an"},
    {Known<FOLDERID_Startup>, Reach::Below, L"ist Ihr Autostart-Ordner", L"liegt in Ihrem Autostart-Ordner",
     L"enthält Ihren Autostart-Ordner"},
    {Known<FOLDERID_StartMenu>, Reach::Below, L"ist Ihr Startmenü", L"liegt in Ihrem Startmenü", L"enthält Ihr Startmenü"},
    {Known<FOLDERID_PublicDesktop>, Reach::Below, L"ist der gemeinsame Desktop aller Benutzer",
     L"liegt auf dem gemeinsamen Desktop aller Benutzer", L"enthält den gemeinsamen Desktop aller Benutzer"},
    {Known<FOLDERID_PublicDocuments>, Reach::Below, L"ist der Ordner Öffentliche Dokumente",
     L"liegt im Ordner Öffentliche Dokumente", L"enthält den Ordner Öffentliche Dokumente"},
    {Known<FOLDERID_CommonStartMenu>, Reach::Below, L"ist das Startmenü aller Benutzer",
     L"liegt im Startmenü aller Benutzer", L"enthält das Startmenü aller Benutzer"},
    // This program; its log and undo files in there are its own to delete, wherever it is installed.
    {[] { return AppEnvironment.InstallDir; }, Reach::Itself, kThisProgram[0], kThisProgram[1], kThisProgram[2]},
    {ProgramFolder, Reach::Itself, kThisProgram[0], kThisProgram[1], kThisProgram[2]},
    {[] { return AppEnvironment.BackupDir; }, Reach::Itself, L"enthält die Sicherungsdateien dieses Programms", nullptr,
     L"enthält die Sicherungsdateien dieses Programms"},
    {[] { return AppEnvironment.InstallDir; }, Reach::Free, nullptr, nullptr, nullptr},
    {ProgramFolder, Reach::Free, nullptr, nullptr, nullptr},
};

// The path as the W functions take it beyond MAX_PATH.
std::wstring Reachable(const std::wstring& path) {
    if (path.size() < MAX_PATH - 12) return path;
    return StartsWith(path, L"\\\\") ? L"\\\\?\\UNC\\" + path.substr(2) : L"\\\\?\\" + path;
}

// A path as it is compared: full, long names, lower case, without a trailing "\" (a drive root
// keeps it) and without the "\\?\" prefix. "" when it is not a full path.
std::wstring Comparable(std::wstring path) {
    if (StartsWith(path, L"\\\\?\\UNC\\")) path = L"\\\\" + path.substr(8);
    else if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) path = path.substr(4);
    const bool unc = StartsWith(path, L"\\\\") && path.size() > 2;
    if (!unc && !(path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/'))) return L"";
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    if (!full.empty()) full.resize(GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (full.empty()) full = path;
    // A short (8.3) name must not slip past the long name of the same folder.
    const std::wstring api = Reachable(full);
    std::wstring longName(GetLongPathNameW(api.c_str(), nullptr, 0), L'\0');
    if (!longName.empty() && GetLongPathNameW(api.c_str(), longName.data(), static_cast<DWORD>(longName.size()))) {
        longName.resize(wcslen(longName.c_str()));
        full = StartsWith(longName, L"\\\\?\\UNC\\") ? L"\\\\" + longName.substr(8)
               : StartsWith(longName, L"\\\\?\\")   ? longName.substr(4)
                                                    : longName;
    }
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return ToLower(full);
}

// True when `inner` is `outer` or lies below it (both comparable).
bool Within(const std::wstring& inner, const std::wstring& outer) {
    if (outer.empty() || inner.size() < outer.size() || inner.compare(0, outer.size(), outer) != 0) return false;
    return inner.size() == outer.size() || inner[outer.size()] == L'\\' || outer.back() == L'\\';
}

bool IsRoot(const std::wstring& comparable) {
    if (StartsWith(comparable, L"\\\\")) return std::count(comparable.begin(), comparable.end(), L'\\') <= 3;
    return comparable.size() <= 3;
}

struct Place {
    std::wstring folder;  // comparable
    const FolderRow* row;
};

std::wstring Unaliased(std::wstring path);
std::wstring Resolved(const std::wstring& comparable);

// The rows' folders on this system. Worked out again only when the program's folders change.
const std::vector<Place>& Places() {
    static std::wstring madeFor;
    static std::vector<Place> places;
    const AppEnvironmentRecord& env = AppEnvironment;
    const std::wstring key = env.InstallDir + L"|" + env.BackupDir + L"|" + env.WinDir + L"|" + env.SysDir + L"|" +
                             env.SysWow64Dir + L"|" + env.ProgramFilesDir + L"|" + env.ProgramFilesX86Dir;
    if (key == madeFor && !places.empty()) return places;
    std::vector<Place> all;
    for (const FolderRow& row : kFolders) {
        const std::wstring folder = Comparable(row.where());
        if (folder.empty()) continue;
        all.push_back({folder, &row});
        // A folder the system keeps elsewhere (a link, a drive of its own) is that folder as well.
        if (const std::wstring resolved = Unaliased(Resolved(folder)); !resolved.empty() && resolved != folder)
            all.push_back({resolved, &row});
    }
    // A free folder frees nothing when it is a root or is or holds a folder that protects what
    // lies below it (this program installed in C:\ or in the Windows folder).
    auto frees = [&](const Place& free) {
        if (IsRoot(free.folder)) return false;
        for (const Place& p : all)
            if ((p.row->reach == Reach::Below || p.row->reach == Reach::Children) && Within(p.folder, free.folder))
                return false;
        return true;
    };
    places.clear();
    for (const Place& p : all)
        if (p.row->reach != Reach::Free || frees(p)) places.push_back(p);
    madeFor = key;
    return places;
}

// True when a folder on the way to the path (the path itself not counted) is a link.
bool LeadsThroughLink(const std::wstring& comparable) {
    size_t from = StartsWith(comparable, L"\\\\") ? comparable.find(L'\\', comparable.find(L'\\', 2) + 1) : 2;
    for (size_t cut; from != std::wstring::npos && (cut = comparable.find(L'\\', from + 1)) != std::wstring::npos;
         from = cut) {
        const DWORD attributes = GetFileAttributesW(Reachable(comparable.substr(0, cut)).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    }
    return false;
}

const wchar_t kThroughLink[] = L"liegt in einem Ordner, der eine Verknüpfung auf einen anderen Ordner ist";

// `base` and what follows it ("\x\y" or ""), comparable.
std::wstring Joined(std::wstring base, const std::wstring& rest) {
    while (!base.empty() && base.back() == L'\\') base.pop_back();
    std::wstring path = base + rest;
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    if (path.size() == 2 && path[1] == L':') path += L'\\';
    return path;
}

std::wstring Child(const std::wstring& folder, const std::wstring& name) { return Joined(folder, L"\\" + name); }

// The names under which this computer answers as a server (lower case).
bool IsThisComputer(const std::wstring& host) {
    static const std::vector<std::wstring> names = [] {
        std::vector<std::wstring> all{L"localhost", L"::1", L"[::1]", L"0--1.ipv6-literal.net"};
        for (COMPUTER_NAME_FORMAT format :
             {ComputerNameNetBIOS, ComputerNameDnsHostname, ComputerNameDnsFullyQualified}) {
            wchar_t name[MAX_COMPUTERNAME_LENGTH + 256] = L"";
            DWORD size = static_cast<DWORD>(std::size(name));
            if (GetComputerNameExW(format, name, &size) && name[0]) all.push_back(ToLower(name));
        }
        // Also the name the process was given, should the registry not answer.
        if (wchar_t name[256] = L""; GetEnvironmentVariableW(L"COMPUTERNAME", name, 256) && name[0])
            all.push_back(ToLower(name));
        return all;
    }();
    if (std::find(names.begin(), names.end(), host) != names.end()) return true;
    // The whole of 127.0.0.0/8 is this computer.
    return StartsWith(host, L"127.") && host.find_first_not_of(L"0123456789.") == std::wstring::npos;
}

std::wstring SystemWindowsFolder() {
    wchar_t folder[MAX_PATH] = L"";
    const UINT n = GetSystemWindowsDirectoryW(folder, MAX_PATH);
    return n && n < MAX_PATH ? ToLower(folder) : L"";
}

// The same place under its local name: an administrative share of this computer (\\localhost\C$,
// \\127.0.0.1\c$, \\<computer name>\C$, ADMIN$ for the Windows folder), a drive that stands for a
// folder (subst) or for a share (a mapped drive), also one after the other. Takes and gives
// comparable paths.
std::wstring Unaliased(std::wstring path) {
    for (int hop = 0; hop < 8; ++hop) {
        if (StartsWith(path, L"\\\\")) {
            const size_t hostEnd = path.find(L'\\', 2);
            if (hostEnd == std::wstring::npos || !IsThisComputer(path.substr(2, hostEnd - 2))) break;
            const size_t shareEnd = path.find(L'\\', hostEnd + 1);
            const bool whole = shareEnd == std::wstring::npos;
            const std::wstring share = path.substr(hostEnd + 1, whole ? std::wstring::npos : shareEnd - hostEnd - 1);
            const std::wstring rest = whole ? L"" : path.substr(shareEnd);
            std::wstring local;
            if (share.size() == 2 && share[1] == L'$' && share[0] >= L'a' && share[0] <= L'z') local = share.substr(0, 1) + L":\\";
            else if (share == L"admin$") local = SystemWindowsFolder();
            if (local.empty()) break;
            path = Joined(local, rest);
            continue;
        }
        if (path.size() < 2 || path[1] != L':') break;
        wchar_t target[1024] = L"";
        if (!QueryDosDeviceW(path.substr(0, 2).c_str(), target, static_cast<DWORD>(std::size(target)))) break;
        const std::wstring t = target;  // the first of the drive's names is the one in use
        std::wstring to;
        if (StartsWith(t, L"\\??\\UNC\\")) to = L"\\\\" + t.substr(8);
        else if (StartsWith(t, L"\\??\\")) to = t.substr(4);
        // A redirector's drive: "\Device\LanmanRedirector\;Z:0000000000012345\server\share".
        else if (const size_t mark = t.rfind(L"\\;"); mark != std::wstring::npos && t.find(L'\\', mark + 2) != std::wstring::npos)
            to = L"\\" + t.substr(t.find(L'\\', mark + 2));
        if (to.size() < 3) break;
        path = Joined(ToLower(to), path.substr(2));
    }
    return path;
}

// Where the file system finally takes the path, comparable: opened without following a link at its
// end, and what does not exist yet at the end added back as written. "" when it cannot be opened.
std::wstring Resolved(const std::wstring& comparable) {
    std::wstring at = comparable, rest;
    while (!at.empty()) {
        UniqueHFile h{CreateFileW(Reachable(at).c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
        if (h) {
            std::wstring final(MAX_PATH, L'\0');
            DWORD n = GetFinalPathNameByHandleW(h.get(), final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
            if (n >= final.size()) {
                final.resize(n);
                n = GetFinalPathNameByHandleW(h.get(), final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED);
            }
            if (!n || n >= final.size()) return L"";
            final.resize(n);
            if (StartsWith(final, L"\\\\?\\UNC\\")) final = L"\\\\" + final.substr(8);
            else if (StartsWith(final, L"\\\\?\\")) final = final.substr(4);
            return Joined(ToLower(final), rest);
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) || IsRoot(at)) return L"";
        const size_t cut = at.find_last_of(L'\\');
        rest = at.substr(cut) + rest;
        at = Joined(at.substr(0, cut), L"");
    }
    return L"";
}

// The names of one path the table is asked about: the text and where an open handle leads, each
// under its local name, and the text as written. A place is protected when any of them is; the
// reason is the first one's, the name the user knows (Wine, for one, gives every personal folder
// that leads to the home folder the same final path).
std::vector<std::wstring> Forms(const std::wstring& comparable) {
    std::vector<std::wstring> forms;
    for (const std::wstring& form : {Unaliased(comparable), Unaliased(Resolved(comparable)), comparable})
        if (!form.empty() && std::find(forms.begin(), forms.end(), form) == forms.end()) forms.push_back(form);
    return forms;
}

// What the table says of one comparable path, links aside.
std::wstring Judge(const std::wstring& self) {
    if (IsRoot(self)) return L"ist ein ganzes Laufwerk";  // a share as much as a drive
    // What a folder is says more than what it holds: C:\Users is the profiles' folder first.
    const std::vector<Place>& places = Places();
    for (const Place& p : places)
        if (p.row->reach != Reach::Free && self == p.folder) return p.row->is;
    for (const Place& p : places)
        if (p.row->reach != Reach::Free && Within(p.folder, self)) return p.row->holds;
    bool free = false;
    for (const Place& p : places) free = free || (p.row->reach == Reach::Free && Within(self, p.folder));
    if (!free)
        for (const Place& p : places) {
            if (p.row->reach == Reach::Below && Within(self, p.folder)) return p.row->inside;
            if (p.row->reach == Reach::Children && Within(self, p.folder) &&
                self.find(L'\\', p.folder.size() + 1) == std::wstring::npos)
                return p.row->inside;
        }
    return L"";
}

}  // namespace

std::wstring WhyPathProtected(const std::wstring& path) {
    const std::wstring self = Comparable(path);
    if (self.empty()) return L"ist kein vollständiger Pfad";
    for (const std::wstring& form : Forms(self))
        if (std::wstring why = Judge(form); !why.empty()) return why;
    if (LeadsThroughLink(self)) return kThroughLink;
    return L"";
}

FolderEntries::FolderEntries(const std::wstring& folder) {
    const std::wstring self = Comparable(folder);
    if (self.empty()) {
        all_ = L"ist kein vollständiger Pfad";
        return;
    }
    // An entry's names are the folder's names with the entry's added: the entry is no link, or it
    // counts as the link itself. An entry that is no protected place, nor holds or frees one, is
    // what any name would be: "?" is none an entry can have.
    const std::vector<std::wstring> forms = Forms(self);
    auto judge = [&](const std::wstring& name) {
        for (const std::wstring& form : forms)
            if (std::wstring why = Judge(Child(form, name)); !why.empty()) return why;
        return std::wstring();
    };
    all_ = judge(L"?");
    for (const Place& p : Places())
        for (const std::wstring& form : forms) {
            if (!Within(p.folder, form) || p.folder.size() <= form.size()) continue;
            const size_t start = form.back() == L'\\' ? form.size() : form.size() + 1;
            const std::wstring name = p.folder.substr(start, p.folder.find(L'\\', start) - start);
            if (std::none_of(named_.begin(), named_.end(), [&](const auto& n) { return n.first == name; }))
                named_.emplace_back(name, judge(name));
        }
    throughLink_ = LeadsThroughLink(Child(self, L"?"));
}

std::wstring FolderEntries::WhyEntry(const std::wstring& name) const {
    const std::wstring lower = ToLower(name);
    std::wstring why = all_;
    for (const auto& [n, reason] : named_)
        if (n == lower) why = reason;
    if (why.empty() && throughLink_) why = kThroughLink;
    return why;
}

std::wstring WhyNotEmptied(const std::wstring& folder) {
    if (std::wstring reason = WhyPathProtected(folder); !reason.empty()) return reason;
    const DWORD attributes = GetFileAttributesW(Reachable(Comparable(folder)).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return L"ist nicht vorhanden";
    // Emptying a link would empty whatever it points to.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return L"ist eine Verknüpfung auf einen anderen Ordner";
    return L"";
}

bool IsTempFolderPath(const std::wstring& folder) {
    const std::wstring lower = ToLower(folder);
    bool named = false;
    for (size_t start = 0; start <= lower.size() && !named;) {
        size_t end = lower.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = lower.size();
        const std::wstring part = lower.substr(start, end - start);
        named = part == L"temp" || part == L"tmp";
        start = end + 1;
    }
    return named && WhyPathProtected(folder).empty();
}




// ---- Registry places --------------------------------------------------------------------------

namespace {

// Below a classes key: names Windows cannot work without, with everything below them (the file
// types of programs, links, scripts and system files, and the shell's own classes).
const wchar_t* const kEssentialClasses[] = {
    L".exe", L".com", L".bat", L".cmd", L".lnk", L".reg", L".msi", L".dll", L".sys", L".txt", L".cpl", L".drv",
    L".inf", L".ini", L".msc", L".ocx", L".pif", L".scr", L"exefile", L"lnkfile", L"batfile", L"cmdfile",
    L"comfile", L"regfile", L"msi.package", L"dllfile", L"sysfile", L"txtfile", L"cplfile", L"inffile", L"inifile",
    L"mscfile", L"piffile", L"scrfile", L"directory", L"folder", L"drive", L"*", L"allfilesystemobjects"};
// Below a classes key: containers whose entries are registered by programs; the container itself stays.
const wchar_t* const kClassContainers[] = {
    L"appid", L"applications", L"clsid", L"component categories", L"directshow", L"filter", L"installer",
    L"interface", L"local settings", L"media type", L"mediafoundation", L"mime", L"protocols", L"record", L"typelib", L"unknown", L"wow6432node", L"http", L"https", L"ftp", L"file",
    L"mailto", L"network", L"printers"};
// Below a classes key: names kept with everything below them for what they are, not for being named.
struct ClassTree {
    const wchar_t* name;  // lower case
    bool prefix;          // every name that begins with it
    const wchar_t* why;
};
const ClassTree kClassTrees[] = {
    {L"systemfileassociations", false,
     L"enthält die Zuordnungen, die Windows allen Dateien einer Art gibt (SystemFileAssociations)"},
    // Packaged apps name their types "AppX" and a hash; Windows keeps them with the app.
    {L"appx", true, L"ist ein Dateityp einer installierten App (AppX), den Windows mit der App verwaltet"},
};
// Keys of every root that only hold others; with their view below Wow6432Node where "software\" begins them.
const wchar_t* const kStructuralKeys[] = {
    L"software", L"software\\classes", L"software\\policies", L"software\\microsoft",
    L"software\\microsoft\\windows", L"software\\microsoft\\windows\\currentversion",
    L"software\\microsoft\\windows\\currentversion\\app paths",
    L"software\\microsoft\\windows\\currentversion\\uninstall",
    L"software\\microsoft\\windows\\currentversion\\run", L"software\\microsoft\\windows\\currentversion\\runonce",
    L"software\\microsoft\\windows\\currentversion\\explorer",
    L"software\\microsoft\\windows\\currentversion\\explorer\\fileexts",
    L"software\\microsoft\\windows\\currentversion\\explorer\\shell folders",
    L"software\\microsoft\\windows\\currentversion\\explorer\\user shell folders",
    L"software\\microsoft\\windows\\currentversion\\policies",
    L"software\\microsoft\\windows\\shell\\associations", L"software\\microsoft\\windows nt",
    L"software\\microsoft\\windows nt\\currentversion", L"software\\microsoft\\windows nt\\currentversion\\winlogon",
    L"software\\microsoft\\office", L"software\\wow6432node", L"system", L"system\\currentcontrolset",
    L"control panel", L"environment", L"console", L"keyboard layout", L"network", L"printers", L"sam", L"security",
    L"hardware"};
// Where Windows keeps the user's own choice of program for a type (hashed, so it cannot be saved
// and written back), and the programs it offers for it.
const wchar_t kFileExts[] = L"software\\microsoft\\windows\\currentversion\\explorer\\fileexts\\";
const wchar_t kAssociations[] = L"software\\microsoft\\windows\\shell\\associations\\";

const wchar_t* ClassTreeWhy(const std::wstring& lowerFirst) {
    for (const ClassTree& t : kClassTrees)
        if (t.prefix ? StartsWith(lowerFirst, t.name) : lowerFirst == t.name) return t.why;
    return nullptr;
}

template <size_t N>
bool Listed(const wchar_t* const (&list)[N], const std::wstring& lower) {
    return std::any_of(std::begin(list), std::end(list), [&](const wchar_t* k) { return lower == k; });
}

// The part of a key below a classes key ("txtfile\shell" of "Software\Classes\txtfile\shell"),
// or nothing when the key is not below one.
std::optional<std::wstring> BelowClasses(RootKey root, const std::wstring& lower) {
    if (root == kHKCR) return lower;
    for (const wchar_t* base :
         {L"software\\classes\\wow6432node\\", L"software\\classes\\", L"software\\wow6432node\\classes\\"})
        if (StartsWith(lower, base)) return lower.substr(wcslen(base));
    return std::nullopt;
}

std::wstring FirstPart(const std::wstring& path) { return path.substr(0, path.find(L'\\')); }

// A name below a classes key that may be a ProgID: no extension, no class ID.
bool MayBeProgId(const std::wstring& first) { return !first.empty() && first[0] != L'.' && first[0] != L'{'; }

bool HasPart(const std::wstring& lower, const wchar_t* part) {
    const std::wstring p = part;
    for (size_t start = 0; start <= lower.size();) {
        size_t end = lower.find(L'\\', start);
        if (end == std::wstring::npos) end = lower.size();
        if (lower.compare(start, end - start, p) == 0 && end - start == p.size()) return true;
        start = end + 1;
    }
    return false;
}

// A structural key: the key itself, its view below Wow6432Node, or a key above one of them.
bool Structural(const std::wstring& lower) {
    static const std::set<std::wstring> keys = [] {
        std::set<std::wstring> all;
        auto add = [&](const std::wstring& k) {
            all.insert(k);
            for (size_t p = k.find(L'\\'); p != std::wstring::npos; p = k.find(L'\\', p + 1)) all.insert(k.substr(0, p));
        };
        for (const wchar_t* k : kStructuralKeys) {
            const std::wstring s = k;
            add(s);
            if (StartsWith(s, L"software\\") && !StartsWith(s, L"software\\wow6432node"))
                add(L"software\\wow6432node\\" + s.substr(9));
        }
        return all;
    }();
    return keys.count(lower) > 0;
}

// The user's choice of program for a type, as Windows 10 and 11 keep it, anywhere in the key.
bool IsUserChoice(const std::wstring& lower) { return HasPart(lower, L"userchoice") || HasPart(lower, L"userchoicelatest"); }

// The user's choice of program or the list of programs offered for a type, below the key (or the key itself).
bool HoldsUserChoice(RootKey root, const std::wstring& key, const std::wstring& lower, int depth = 0) {
    if (IsUserChoice(lower)) return true;
    if (StartsWith(lower, kFileExts) && HasPart(lower.substr(wcslen(kFileExts)), L"openwithprogids")) return true;
    if (depth > 4) return false;
    for (const std::wstring& sub : Service<clsSearch>().Get_SubFolders(root, key))
        if (!sub.empty() && HoldsUserChoice(root, key + L"\\" + sub, lower + L"\\" + ToLower(sub), depth + 1))
            return true;
    return false;
}

}  // namespace

bool IsSystemClass(const std::wstring& name) {
    const std::wstring lower = ToLower(name);
    return Listed(kEssentialClasses, lower) || Listed(kClassContainers, lower) || ClassTreeWhy(lower);
}

namespace {
// How a key names ProgIDs.
enum class Names {
    Data,       // the data of one value
    ValueNames,  // each value's name (OpenWithProgids)
    EveryData,  // the data of each of its values (an application's FileAssociations)
};
// Where a ProgID is named, in both roots: below every sub-key of `parent` (those beginning with
// `only`, when given) the key `below`.
struct NamerPlace {
    const wchar_t* parent;
    const wchar_t* only;
    const wchar_t* below;
    Names names;
    const wchar_t* value;  // for Names::Data
};
const wchar_t kFileExtsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
const wchar_t kUrlAssociationsKey[] = L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations";
const NamerPlace kNamerPlaces[] = {
    // An extension: its default value and its OpenWithProgids.
    {L"Software\\Classes", L".", L"", Names::Data, L""},
    {L"Software\\Classes", L".", L"\\OpenWithProgids", Names::ValueNames, nullptr},
    // A class: its ProgID and VersionIndependentProgID.
    {L"Software\\Classes\\CLSID", nullptr, L"\\ProgID", Names::Data, L""},
    {L"Software\\Classes\\CLSID", nullptr, L"\\VersionIndependentProgID", Names::Data, L""},
    {L"Software\\Classes\\Wow6432Node\\CLSID", nullptr, L"\\ProgID", Names::Data, L""},
    {L"Software\\Classes\\Wow6432Node\\CLSID", nullptr, L"\\VersionIndependentProgID", Names::Data, L""},
    // The Explorer's programs for an extension, and the user's choice for an extension or a protocol.
    {kFileExtsKey, nullptr, L"\\OpenWithProgids", Names::ValueNames, nullptr},
    {kFileExtsKey, nullptr, L"\\UserChoice", Names::Data, L"ProgId"},
    {kFileExtsKey, nullptr, L"\\UserChoiceLatest", Names::Data, L"ProgId"},
    {kFileExtsKey, nullptr, L"\\UserChoiceLatest\\ProgId", Names::Data, L"ProgId"},
    {kUrlAssociationsKey, nullptr, L"\\UserChoice", Names::Data, L"ProgId"},
    {kUrlAssociationsKey, nullptr, L"\\UserChoiceLatest", Names::Data, L"ProgId"},
    {kUrlAssociationsKey, nullptr, L"\\UserChoiceLatest\\ProgId", Names::Data, L"ProgId"},
};
// A registered application names its types and protocols below its Capabilities key, whose path
// from the root is the data of its value here.
const wchar_t kRegisteredApplications[] = L"Software\\RegisteredApplications";
const wchar_t* const kCapabilityLists[] = {L"\\FileAssociations", L"\\URLAssociations"};
}  // namespace

// Who names a ProgID, as kNamerPlaces and the registered applications say.
struct RegistryProtection::Namers {
    struct Namer {
        RootKey root;
        std::wstring key;
        std::wstring value;  // the value that names it
        bool byName;         // the value's name is the ProgID (OpenWithProgids), else its data
    };
    std::map<std::wstring, std::vector<Namer>> byProgId;  // lower case

    Namers() {
        clsSearch& search = Service<clsSearch>();
        for (RootKey root : {kHKCU, kHKLM}) {
            for (const NamerPlace& place : kNamerPlaces)
                for (const std::wstring& sub : search.Get_SubFolders(root, place.parent)) {
                    if (sub.empty() || (place.only && !StartsWith(sub, place.only))) continue;
                    Read(root, place.parent + (L"\\" + sub) + place.below, place.names, place.value);
                }
            for (const std::wstring& app : search.Get_KeyValues(root, kRegisteredApplications)) {
                std::wstring capabilities = search.Get_ValueData(root, kRegisteredApplications, app);
                while (!capabilities.empty() && capabilities.front() == L'\\') capabilities.erase(0, 1);
                if (!capabilities.empty())
                    for (const wchar_t* list : kCapabilityLists) Read(root, capabilities + list, Names::EveryData, nullptr);
            }
        }
    }
    void Read(RootKey root, const std::wstring& key, Names names, const wchar_t* value) {
        clsSearch& search = Service<clsSearch>();
        if (names == Names::Data) {
            Add(search.Get_ValueData(root, key, value), {root, key, value, false});
            return;
        }
        for (const std::wstring& name : search.Get_KeyValues(root, key))
            if (names == Names::ValueNames) Add(name, {root, key, name, true});
            else Add(search.Get_ValueData(root, key, name), {root, key, name, false});
    }
    void Add(const std::wstring& progId, Namer namer) {
        if (!progId.empty()) byProgId[ToLower(progId)].push_back(std::move(namer));
    }
    // The first namer that still names it, as it is now.
    const Namer* StillNamed(const std::wstring& lowerProgId) const {
        auto it = byProgId.find(lowerProgId);
        if (it == byProgId.end()) return nullptr;
        clsSearch& search = Service<clsSearch>();
        for (const Namer& n : it->second) {
            if (n.byName) {
                RegValue v;
                if (Service<clsKeyFunc>().ReadValueRaw(n.root, n.key, n.value, v)) return &n;
            } else if (ToLower(search.Get_ValueData(n.root, n.key, n.value)) == lowerProgId) {
                return &n;
            }
        }
        return nullptr;
    }
};

RegistryProtection::RegistryProtection() = default;
RegistryProtection::~RegistryProtection() { delete namers_; }

std::wstring RegistryProtection::WhyProgId(const std::wstring& progId, bool itself) {
    if (!namers_) namers_ = new Namers;
    const Namers::Namer* n = namers_->StillNamed(ToLower(progId));
    if (!n) return L"";
    return (itself ? L"ist ein Dateityp, den " : L"gehört zu einem Dateityp, den ") + clsKeyFunc::HiveName(n->root) +
           L"\\" + n->key + L" noch nennt";
}

std::wstring RegistryProtection::WhyKey(RootKey root, const std::wstring& key) {
    std::wstring lower = ToLower(key);
    while (!lower.empty() && lower.back() == L'\\') lower.pop_back();
    if (lower.empty()) return L"ist ein ganzer Zweig der Registry";
    if (const std::optional<std::wstring> cls = BelowClasses(root, lower)) {
        const std::wstring first = FirstPart(*cls);
        if (Listed(kEssentialClasses, first)) return L"ist eine Dateiart, ohne die Windows nicht arbeiten kann";
        if (const wchar_t* why = ClassTreeWhy(first)) return why;
        if (Listed(kClassContainers, first)) {
            if (first == *cls) return L"ist ein Grundschlüssel der Registry";
        } else if (MayBeProgId(first)) {
            // A named ProgID keeps all it holds: its shell\open\command is what the name opens.
            if (std::wstring why = WhyProgId(first, first == *cls); !why.empty()) return why;
        }
    }
    if (Structural(lower)) return L"ist ein Grundschlüssel der Registry";
    if ((StartsWith(lower, kFileExts) || StartsWith(lower, kAssociations)) && HoldsUserChoice(root, key, lower))
        return L"enthält die vom Benutzer gewählte Zuordnung eines Dateityps (UserChoice, UserChoiceLatest, OpenWithProgids), "
               L"die Windows nach dem Zurückschreiben nicht wieder anerkennt";
    return L"";
}

bool RegistryProtection::AsksRegistry(RootKey root, const std::wstring& key) {
    const std::wstring lower = ToLower(key);
    if (StartsWith(lower, kFileExts) || StartsWith(lower, kAssociations)) return true;
    const std::optional<std::wstring> cls = BelowClasses(root, lower);
    if (!cls) return false;
    const std::wstring first = FirstPart(*cls);
    return MayBeProgId(first) && !Listed(kEssentialClasses, first) && !Listed(kClassContainers, first) &&
           !ClassTreeWhy(first);
}

std::wstring RegistryProtection::WhyValue(RootKey root, const std::wstring& key, const std::wstring& name) {
    std::wstring lower = ToLower(key);
    if (IsUserChoice(lower) ||
        (StartsWith(lower, kFileExts) && HasPart(lower.substr(wcslen(kFileExts)), L"openwithprogids")))
        return L"gehört zur vom Benutzer gewählten Zuordnung eines Dateityps (UserChoice, UserChoiceLatest, OpenWithProgids), "
               L"die Windows nach dem Zurückschreiben nicht wieder anerkennt";
    return L"";
}
