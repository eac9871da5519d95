// app/disk/modHDD.cpp
#include "disk/modHDD.h"
#include "core/AppEnvironment.h"
#include "core/ClassHandler.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/modCheckOS.h"
#include "errors/clsError.h"
#include "registry/clsKeyFunc.h"
#include "journal/ChangeJournal.h"
#include <initguid.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <algorithm>
#include <cwctype>

const wchar_t* const kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

namespace {

struct FileHandle {
    HANDLE h;
    ~FileHandle() { if (h != INVALID_HANDLE_VALUE) CloseHandle(h); }
};

void WriteBytes(const std::wstring& file, const std::string& bytes, DWORD disposition) {
    FileHandle f{CreateFileW(file.c_str(), disposition == OPEN_ALWAYS ? FILE_APPEND_DATA : GENERIC_WRITE,
                             FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (f.h == INVALID_HANDLE_VALUE) RaiseWin32(GetLastError());
    DWORD written = 0;
    if (!bytes.empty() && (!WriteFile(f.h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                           written != bytes.size()))
        RaiseWin32(GetLastError());
}

// A folder as it is compared: the full long path in lower case, without a trailing "\".
std::wstring Comparable(const std::wstring& folder) {
    if (folder.empty()) return L"";
    std::wstring full(GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr), L'\0');
    if (!full.empty()) full.resize(GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (full.empty()) full = folder;
    // A short (8.3) name of an existing folder must not slip past its long name.
    std::wstring longName(GetLongPathNameW(full.c_str(), nullptr, 0), L'\0');
    if (!longName.empty() && GetLongPathNameW(full.c_str(), longName.data(), static_cast<DWORD>(longName.size())))
        full = longName.c_str();
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return ToLower(full);
}

// True when `inner` is `outer` or lies below it (both comparable).
bool Within(const std::wstring& inner, const std::wstring& outer) {
    if (outer.empty() || inner.size() < outer.size() || inner.compare(0, outer.size(), outer) != 0) return false;
    return inner.size() == outer.size() || inner[outer.size()] == L'\\' || outer.back() == L'\\';
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path) out = path;
    CoTaskMemFree(path);
    return out;
}

// A folder that is protected, and how: the text when a folder is it, when a folder holds it,
// and whether everything below it is protected too.
struct Protected {
    std::wstring folder;  // comparable
    const wchar_t* isIt;
    const wchar_t* holdsIt;
    bool below;
};

std::vector<Protected> ProtectedFolders() {
    const AppEnvironmentRecord& env = AppEnvironment;
    std::vector<Protected> list;
    auto add = [&](const std::wstring& folder, const wchar_t* isIt, const wchar_t* holdsIt, bool below) {
        if (!folder.empty()) list.push_back({Comparable(folder), isIt, holdsIt, below});
    };
    const wchar_t* windows = L"ist der Windows-Ordner";
    const wchar_t* holdsWindows = L"enthält den Windows-Ordner";
    add(env.WinDir, windows, holdsWindows, false);
    add(KnownFolder(FOLDERID_Windows), windows, holdsWindows, false);
    const wchar_t* system = L"ist ein Systemordner von Windows";
    const wchar_t* holdsSystem = L"enthält einen Systemordner von Windows";
    for (const std::wstring& f : {env.SysDir, env.SysWow64Dir, KnownFolder(FOLDERID_System),
                                  KnownFolder(FOLDERID_SystemX86), KnownFolder(FOLDERID_Fonts)})
        add(f, system, holdsSystem, true);
    const wchar_t* programs = L"enthält installierte Programme";
    for (const std::wstring& f : {env.ProgramFilesDir, env.ProgramFilesX86Dir, KnownFolder(FOLDERID_ProgramFiles),
                                  KnownFolder(FOLDERID_ProgramFilesX86), KnownFolder(FOLDERID_ProgramFilesX64),
                                  KnownFolder(FOLDERID_ProgramFilesCommon), KnownFolder(FOLDERID_ProgramFilesCommonX86)})
        add(f, programs, programs, true);
    add(KnownFolder(FOLDERID_Profile), L"ist Ihr Benutzerprofil", L"enthält Ihr Benutzerprofil", false);
    add(KnownFolder(FOLDERID_UserProfiles), L"enthält die Benutzerprofile", L"enthält die Benutzerprofile", false);
    add(KnownFolder(FOLDERID_Public), L"enthält die öffentlichen Ordner", L"enthält die öffentlichen Ordner", false);
    const wchar_t* personal = L"ist ein persönlicher Ordner Ihres Benutzerprofils";
    const wchar_t* holdsPersonal = L"enthält persönliche Ordner Ihres Benutzerprofils";
    for (REFKNOWNFOLDERID id :
         {FOLDERID_Desktop, FOLDERID_Documents, FOLDERID_Downloads, FOLDERID_Music, FOLDERID_Pictures,
          FOLDERID_Videos, FOLDERID_Favorites, FOLDERID_Contacts, FOLDERID_Links, FOLDERID_SavedGames,
          FOLDERID_RoamingAppData, FOLDERID_LocalAppData, FOLDERID_LocalAppDataLow,
          FOLDERID_StartMenu, FOLDERID_Programs, FOLDERID_Startup, FOLDERID_SendTo, FOLDERID_Templates,
          FOLDERID_Recent, FOLDERID_NetHood, FOLDERID_PrintHood, FOLDERID_ProgramData, FOLDERID_PublicDesktop,
          FOLDERID_PublicDocuments, FOLDERID_CommonStartMenu, FOLDERID_CommonPrograms, FOLDERID_CommonStartup,
          FOLDERID_CommonTemplates})
        add(KnownFolder(id), personal, holdsPersonal, false);
    const wchar_t* program = L"enthält dieses Programm";
    add(env.InstallDir, program, program, false);
    add(ProgramFolder(), program, program, false);
    add(env.BackupDir, L"enthält die Sicherungsdateien dieses Programms", program, false);
    return list;
}

std::wstring ProgramFileName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    if (const size_t dot = name.find_last_of(L'.'); dot != std::wstring::npos) name.resize(dot);
    return name + L".exe";
}

bool CanWrite(RootKey root) {
    RegKey k;
    return k.Open(ToHkey(root), kRunKey, KEY_SET_VALUE) == ERROR_SUCCESS ||
           k.Create(ToHkey(root), kRunKey, KEY_SET_VALUE) == ERROR_SUCCESS;
}

}  // namespace

std::wstring TmpDirsFile() { return AppEnvironment.InstallDir + L"tmpdirs.txt"; }

std::vector<std::wstring> ReadListLines(const std::wstring& file) {
    FileHandle f{CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr)};
    if (f.h == INVALID_HANDLE_VALUE) RaiseWin32(GetLastError());
    std::string bytes;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(f.h, buf, sizeof buf, &n, nullptr) && n) bytes.append(buf, n);
    const std::wstring text = FromAnsi(bytes);
    std::vector<std::wstring> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!Trim(line).empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void WriteListLines(const std::wstring& file, const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const std::wstring& line : lines)
        if (!Trim(line).empty()) text += (text.empty() ? L"" : L"\r\n") + line;
    text += L"\r\n";
    WriteBytes(file, ToAnsi(text), CREATE_ALWAYS);
}

void AppendListLine(const std::wstring& file, const std::wstring& line) {
    WriteBytes(file, ToAnsi(line + L"\r\n"), OPEN_ALWAYS);
}

bool AnsiHolds(const std::wstring& text) {
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                        &lossy);
    return !lossy;
}

bool IsTempFolderPath(const std::wstring& folder) {
    const std::wstring lower = ToLower(folder);
    for (size_t start = 0; start <= lower.size();) {
        size_t end = lower.find(L'\\', start);
        if (end == std::wstring::npos) end = lower.size();
        const std::wstring part = lower.substr(start, end - start);
        for (const std::wstring word : {L"temp", L"tmp"})
            if (StartsWith(part, word) && (part.size() == word.size() || !std::iswalpha(part[word.size()]))) return true;
        start = end + 1;
    }
    return false;
}

std::wstring WhyNotEmptied(const std::wstring& folder) {
    const bool unc = StartsWith(folder, L"\\\\");
    const bool absolute = unc || (folder.size() >= 3 && folder[1] == L':' && folder[2] == L'\\');
    if (!absolute) return L"ist kein vollständiger Pfad";
    const std::wstring self = Comparable(folder);
    const size_t separators = std::count(self.begin(), self.end(), L'\\');
    // Never a whole drive or share (under Wine a drive can be the whole Linux file system).
    if ((!unc && (separators < 1 || (separators == 1 && self.back() == L'\\'))) || (unc && separators <= 3))
        return L"ist ein ganzes Laufwerk";
    // What a folder is says more than what it holds: C:\Users is the profiles' folder first.
    const std::vector<Protected> protectedFolders = ProtectedFolders();
    for (const Protected& p : protectedFolders)
        if (self == p.folder) return p.isIt;
    for (const Protected& p : protectedFolders) {
        if (Within(p.folder, self)) return p.holdsIt;
        if (p.below && Within(self, p.folder)) return p.isIt;
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return L"ist nicht vorhanden";
    // Emptying a link would empty whatever it points to.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return L"ist eine Verknüpfung auf einen anderen Ordner";
    return L"";
}

EmptyResult EmptyListedFolder(const std::wstring& line, const wchar_t* module, const wchar_t* procedure,
                              const DeleteProgress& progress) {
    EmptyResult result;
    const std::wstring folder = WithBackslash(line);
    result.reason = WhyNotEmptied(folder);
    if (!result.reason.empty()) {
        ClassHandler().Error().HandleError(module, procedure, folder + L" " + result.reason + L" und wurde übergangen.",
                                           0, L"", Style::Warning, false);
        return result;
    }
    result.count = ClassHandler().Files().FileDel(folder, progress);
    // Written whether logging is on or not: nobody watches the run at system start.
    ClassHandler().Error().WriteLog(module, procedure,
                                    folder + L" geleert: " + std::to_wstring(result.count.deleted) +
                                        L" Einträge gelöscht, " + std::to_wstring(result.count.kept) +
                                        L" übergangen",
                                    0, L"");
    return result;
}

std::wstring StartEntryData() {
    return L"\"" + AppEnvironment.InstallDir + ProgramFileName() + L"\" /d";
}

RootKey StartEntryRoot() {
    if (!IsNTFamily() && CanWrite(kHKLM)) return kHKLM;
    return kHKCU;
}

std::wstring ReadStartEntry() {
    clsKeyFunc& keys = ClassHandler().KeyFunc();
    for (RootKey root : {kHKCU, kHKLM}) {
        std::wstring data = keys.ReadKeyValue(root, kRunKey, AppEnvironment.AppTitle);
        if (!data.empty()) return data;
    }
    return L"";
}

bool WriteStartEntry() {
    ChangeJournal journal(L"AutoRun", L"modHDD", L"WriteStartEntry");
    RegChange entry = RegChange::SetText(StartEntryRoot(), kRunKey, AppEnvironment.AppTitle, StartEntryData());
    entry.ownEntry = true;
    const JournalResult result = journal.Apply({entry});
    return result.items[0].done;
}

bool RemoveStartEntry(std::wstring& problem) {
    clsKeyFunc& keys = ClassHandler().KeyFunc();
    const std::wstring& name = AppEnvironment.AppTitle;
    std::vector<RegChange> changes;
    for (RootKey root : {kHKCU, kHKLM})
        if (!keys.ReadKeyValue(root, kRunKey, name).empty()) changes.push_back(RegChange::DeleteValue(root, kRunKey, name));
    if (changes.empty()) return true;
    // The value goes, never the key; each saved first.
    ChangeJournal journal(L"AutoRun", L"modHDD", L"RemoveStartEntry");
    const JournalResult result = journal.Apply(changes);
    if (result.undoProblem != JournalResult::UndoProblem::None) {
        problem = L"Die Sicherungsdatei konnte nicht geschrieben werden (" + result.undoError.description + L").";
        return false;
    }
    for (size_t i = 0; i < changes.size(); ++i)
        if (!result.items[i].done) {
            problem = L"Der Eintrag unter " + clsKeyFunc::HiveName(changes[i].root) + L"\\" + kRunKey +
                      L" konnte nicht gelöscht werden.";
            return false;
        }
    return true;
}
