// app/extras/RegistryCompaction.cpp
#include "extras/RegistryCompaction.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/UniqueHandle.h"
#include "core/modReboot.h"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include <sddl.h>
#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <map>

namespace RegistryCompaction {
namespace {
const wchar_t* kModule = L"frmExtraScan";
const wchar_t* kSection = L"Optionen\\ExtraScan";
const wchar_t* kWatchClass = L"TorvaneRegistryDefrag";
// Room left free beside the copies, so the system itself does not run out of space.
constexpr unsigned long long kReserve = 64ull << 20;
// Clocks drift: two boot times this close are the same start.
constexpr long long kSameBoot = 120;

// Wanted in this run only: the restart the user confirmed with "-o".
bool once = false;
// When the program last started a restart (0: not in this run).
long long ownRestart = 0;
HWND watch = nullptr;

std::wstring Get(const wchar_t* key, const wchar_t* def = L"") {
    return Service<clsKeyFunc>().GetSetting(kSection, key, def);
}
void Put(const wchar_t* key, const std::wstring& value) { Service<clsKeyFunc>().SaveSetting(kSection, key, value); }

std::vector<std::wstring> Split(const std::wstring& s, wchar_t sep) {
    std::vector<std::wstring> out;
    if (s.empty()) return out;
    size_t start = 0;
    for (size_t p; (p = s.find(sep, start)) != std::wstring::npos; start = p + 1) out.push_back(s.substr(start, p - start));
    out.push_back(s.substr(start));
    return out;
}

// One armed hive: its name, the identity and size of the file the system loaded it from so far.
// After the restart a hive runs on its compact copy when its file is another one.
struct Armed {
    std::wstring name, fileId;
    long long before = -1;
};
std::vector<Armed> ReadArmed() {
    std::vector<Armed> out;
    for (const std::wstring& entry : Split(Get(L"RegistryDefragArmed"), L';')) {
        std::vector<std::wstring> f = Split(entry, L'|');
        if (f.size() != 3) continue;
        out.push_back({f[0], f[1], std::wcstoll(f[2].c_str(), nullptr, 10)});
    }
    return out;
}
void WriteArmed(const std::vector<Armed>& armed) {
    std::wstring text;
    for (const Armed& a : armed)
        text += (text.empty() ? L"" : L";") + a.name + L"|" + a.fileId + L"|" + std::to_wstring(a.before);
    Put(L"RegistryDefragArmed", text);
}

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (path.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return -1;
    return static_cast<long long>((static_cast<unsigned long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow);
}

// Volume and file number: the same file under any name (the system renames the copy into place).
std::wstring FileId(const std::wstring& path) {
    if (path.empty()) return L"";
    // Only the attributes are asked for, so a hive the system holds open can still be looked at.
    const UniqueHFile h(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h) return L"";
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h.get(), &info)) return L"";
    wchar_t buf[40];
    swprintf(buf, 40, L"%08lx:%08lx%08lx", info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
    return buf;
}

// A registry file of the system's own format begins with "regf".
bool IsHiveFile(const std::wstring& path) {
    const UniqueHFile h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!h) return false;
    char sig[4] = {};
    DWORD n = 0;
    const BOOL ok = ReadFile(h.get(), sig, 4, &n, nullptr);
    return ok && n == 4 && memcmp(sig, "regf", 4) == 0;
}

std::wstring SystemMessage(long code) {
    UniqueLocalMem<wchar_t*> text;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(text.put()), 0, nullptr);
    const std::wstring s = text ? Trim(text.get()) : L"";
    return s + L" (" + std::to_wstring(code) + L")";
}

bool SameBoot(const std::wstring& recorded) {
    if (recorded.empty()) return false;
    const long long then = std::wcstoll(recorded.c_str(), nullptr, 10), now = System().bootTime();
    return (then > now ? then - now : now - then) <= kSameBoot;
}

// "\Device\HarddiskVolume2\Windows\System32\config\SOFTWARE" as a path with a drive letter.
std::wstring DosPath(const std::wstring& device) {
    wchar_t drive[3] = L"A:";
    for (wchar_t d = L'A'; d <= L'Z'; ++d) {
        drive[0] = d;
        wchar_t target[MAX_PATH] = L"";
        if (!QueryDosDeviceW(drive, target, MAX_PATH)) continue;
        const std::wstring t = target;
        if (!t.empty() && device.size() > t.size() && _wcsnicmp(device.c_str(), t.c_str(), t.size()) == 0 &&
            device[t.size()] == L'\\')
            return drive + device.substr(t.size());
    }
    return L"";
}

std::wstring CurrentUserSid() {
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return L"";
    std::wstring sid;
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buf(size);
    UniqueLocalMem<wchar_t*> text;
    if (size && GetTokenInformation(token.get(), TokenUser, buf.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, text.put()))
        sid = text.get();
    return sid;
}

std::vector<Hive> SystemHives() {
    // The system names the file of each loaded hive in "hivelist".
    const std::wstring list = L"System\\CurrentControlSet\\Control\\hivelist";
    clsSearch& search = Service<clsSearch>();
    auto fileOf = [&](const std::wstring& name) {
        return DosPath(search.Get_ValueData(kHKLM, list, name));
    };
    const std::wstring sid = CurrentUserSid();
    return {
        {kHKLM, L"SOFTWARE", L"HKEY_LOCAL_MACHINE\\SOFTWARE", L"SOFTWARE", fileOf(L"\\REGISTRY\\MACHINE\\SOFTWARE")},
        {kHKLM, L"SYSTEM", L"HKEY_LOCAL_MACHINE\\SYSTEM", L"SYSTEM", fileOf(L"\\REGISTRY\\MACHINE\\SYSTEM")},
        {kHKCU, L"", L"HKEY_CURRENT_USER", L"NTUSER", sid.empty() ? L"" : fileOf(L"\\REGISTRY\\USER\\" + sid)},
    };
}

bool EnablePrivilege(HANDLE token, const wchar_t* name) {
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid)) return false;
    return AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
}

bool SystemPrivileges(std::wstring& why) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    BOOL member = FALSE;
    if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins)) {
        if (!CheckTokenMembership(nullptr, admins, &member)) member = FALSE;
        FreeSid(admins);
    }
    if (!member) {
        why = L"Zum Defragmentieren der Registry werden Administratorrechte benötigt.\r\n"
              L"Starten Sie Torvane über \"Als Administrator ausführen\" und versuchen Sie es erneut.";
        return false;
    }
    UniqueKernelHandle token;
    const bool ok = OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()) &&
                    EnablePrivilege(token.get(), SE_BACKUP_NAME) && EnablePrivilege(token.get(), SE_RESTORE_NAME);
    if (!ok)
        why = L"Torvane fehlen die Rechte zum Sichern und Wiederherstellen (SeBackupPrivilege und "
              L"SeRestorePrivilege), ohne die Windows die Registrierungsdateien weder kopieren noch ersetzen lässt.";
    return ok;
}

long long NowSeconds() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const unsigned long long t = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<long long>(t / 10000000ull) - 11644473600ll;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveCopies(const std::vector<Hive>& hives) {
    for (const Hive& h : hives) DeleteFileW((Folder() + h.name + L".kompakt").c_str());
}

const std::wstring kNothingChanged = L"\r\n\r\nEs wurde nichts geändert.";
const std::wstring kUnsupported = L"Die Defragmentierung der Registry wird auf diesem System nicht unterstützt";

// Why a copy written to `copy` with result `rc` cannot be used ("" when it can).
std::wstring CopyFault(const Hive& h, const std::wstring& copy, long rc) {
    if (rc == ERROR_CALL_NOT_IMPLEMENTED || rc == ERROR_NOT_SUPPORTED) return kUnsupported + L".";
    if (rc != ERROR_SUCCESS)
        return L"Von " + h.label + L" konnte keine kompakte Kopie geschrieben werden:\r\n" + SystemMessage(rc);
    // The system wrote something, but no registry file it could start from (Wine writes text).
    if (!IsHiveFile(copy))
        return kUnsupported + L":\r\nWindows schreibt hier keine Registrierungsdateien, die es beim Start laden könnte.";
    return L"";
}

bool Wanted() { return once || Get(L"RegistryDefrag", L"-n") == L"-e"; }

// Takes the copies and arms them: the session is ending, every other program has closed.
Outcome ArmNow() {
    const wchar_t* proc = L"RegistryDefragSessionEnd";
    Outcome o;
    if (!System().privileges(o.message)) return o;
    const std::vector<Hive> hives = System().hives();
    const std::wstring folder = Folder();
    CreateDirectoryW(AppEnvironment.InstallDir.c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    if (hives.empty() || !Exists(folder)) {
        o.message = L"Der Ordner " + folder + L" für die kompakten Kopien der Registry konnte nicht angelegt werden.";
        return o;
    }
    // A compact copy is never larger than the file it comes from.
    unsigned long long need = kReserve;
    for (const Hive& h : hives) need += static_cast<unsigned long long>(std::max(0ll, FileSize(h.file)));
    if (System().freeBytes(folder) < need) {
        o.message = L"Für die kompakten Kopien der Registry ist auf dem Laufwerk von " + folder + L" zu wenig Platz frei.";
        return o;
    }
    // Recorded before the copies are taken, so that the copy of the user's hive, which holds the
    // program's settings, knows about itself after the restart.
    std::vector<Armed> record;
    for (const Hive& h : hives) record.push_back({h.name, FileId(h.file), FileSize(h.file)});
    Put(L"RegistryDefragBoot", std::to_wstring(System().bootTime()));
    WriteArmed(record);
    // First every copy, checked; only then is anything handed to the system.
    for (const Hive& h : hives) {
        const std::wstring copy = folder + h.name + L".kompakt";
        DeleteFileW(copy.c_str());
        o.message = CopyFault(h, copy, System().saveCopy(h, copy));
        if (!o.message.empty()) {
            RemoveCopies(hives);
            Put(L"RegistryDefragArmed", L"");
            return o;
        }
    }
    for (const Hive& h : hives) {
        const std::wstring copy = folder + h.name + L".kompakt", old = folder + h.name + L".alt";
        // The file kept from an earlier compaction: the system has started from its successor since.
        DeleteFileW(old.c_str());
        const long rc = System().replace(h, copy, old);
        if (rc == ERROR_SUCCESS) {
            o.armed = true;
            Trace(kModule, proc, h.label + L": " + copy + L" wird beim nächsten Start geladen, " + old + L" bleibt erhalten");
        } else {
            DeleteFileW(copy.c_str());
            o.message += L"\r\n" + h.label + L": " + SystemMessage(rc);
        }
    }
    if (!o.armed) Put(L"RegistryDefragArmed", L"");
    if (!o.message.empty())
        o.message = (o.armed ? L"Nicht alle Registrierungsdateien werden beim nächsten Start ersetzt:"
                             : L"Windows hat das Ersetzen der Registrierungsdateien abgelehnt:") +
                    o.message;
    return o;
}

LRESULT CALLBACK WatchProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    const wchar_t* proc = L"RegistryDefragSessionEnd";
    switch (msg) {
    case WM_QUERYENDSESSION:
        return TRUE;  // never in the way of the end of the session: the copies come after it
    case WM_ENDSESSION:
        Trap(kModule, proc, [&] {
            const Outcome o = SessionEnd(wp != FALSE, (lp & ENDSESSION_LOGOFF) != 0);
            if (o.armed) Trace(kModule, proc, L"Registry für den nächsten Start defragmentiert");
            if (!o.message.empty())
                ReportError(kModule, proc, RuntimeError{0, L""}, Style::Warning, false,
                            L"Registry nicht defragmentiert: " + o.message);
        });
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

// While a compaction is wanted, a hidden top-level window hears the end of the session and the
// process stands last in the shutdown order.
void Watch(bool on) {
    if (on && !watch) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = WatchProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kWatchClass;
        RegisterClassW(&wc);
        watch = CreateWindowExW(0, kWatchClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
        if (!watch) RaiseWin32(GetLastError());
        System().shutdownLevel(kLevelLast);
    } else if (!on && watch) {
        DestroyWindow(watch);
        watch = nullptr;
        System().shutdownLevel(kLevelDefault);
    }
}
}  // namespace

Platform RealSystem() {
    Platform p;
    p.hives = SystemHives;
    p.saveCopy = [](const Hive& h, const std::wstring& copy) {
        return static_cast<long>(Service<clsKeyFunc>().SaveKeyCopy(h.root, h.key, copy));
    };
    p.replace = [](const Hive& h, const std::wstring& newFile, const std::wstring& oldFile) {
        return static_cast<long>(Service<clsKeyFunc>().ReplaceKeyFile(h.root, h.key, newFile, oldFile));
    };
    p.privileges = SystemPrivileges;
    p.freeBytes = [](const std::wstring& folder) {
        ULARGE_INTEGER free{};
        return GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr) ? free.QuadPart : 0ull;
    };
    p.bootTime = [] { return NowSeconds() - static_cast<long long>(GetTickCount64() / 1000); };
    p.now = NowSeconds;
    p.shutdownLevel = [](unsigned long level) { SetProcessShutdownParameters(level, 0); };
    p.restart = [] { return RebootSystem(); };
    return p;
}

Platform& System() {
    static Platform p = RealSystem();
    return p;
}

std::wstring Folder() { return AppEnvironment.InstallDir + L"Defrag\\"; }

std::wstring DfrgType() {
    std::wstring mode = L"-n";
    Trap(kModule, L"DfrgType", [&] {
        if (once) mode = L"-o";
        else if (Get(L"RegistryDefrag", L"-n") == L"-e") mode = L"-e";
    });
    return mode;
}

std::wstring RestartPending() {
    clsKeyFunc& keys = Service<clsKeyFunc>();
    std::wstring lines;
    auto add = [&](const wchar_t* line) { lines += L"\r\n– " + std::wstring(line); };
    if (keys.KeyExist(kHKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending",
                      KEY_READ))
        add(L"Wartung der Windows-Komponenten (RebootPending)");
    if (keys.KeyExist(kHKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired",
                      KEY_READ))
        add(L"Windows Update (RebootRequired)");
    RegValue v;
    if (keys.ReadValueRaw(kHKLM, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"PendingFileRenameOperations", v) &&
        v.data.find_first_not_of(L'\0') != std::wstring::npos)
        add(L"Dateien, die beim Start ersetzt werden (PendingFileRenameOperations)");
    if (Exists(AppEnvironment.WinDir + L"WinSxS\\pending.xml"))
        add(L"Installation von Windows-Komponenten (WinSxS\\pending.xml)");
    // Windows still changes the registry in that restart: a copy taken before would lose it.
    return lines.empty() ? L""
                         : L"Windows wartet auf einen Neustart für:" + lines +
                               L"\r\nBis dahin wird die Registry nicht defragmentiert.";
}

bool FastStartup() {
    RegValue v;
    return Service<clsKeyFunc>().ReadValueRaw(kHKLM, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Power",
                                                  L"HiberbootEnabled", v) &&
           v.type == REG_DWORD && v.data.find_first_not_of(L'\0') != std::wstring::npos;
}

bool Pending() { return Wanted() && RestartPending().empty(); }

std::wstring SizeText(long long bytes) {
    if (bytes < 0) return L"unbekannt";
    wchar_t sep[8] = L",";
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8);
    wchar_t buf[64];
    swprintf(buf, 64, L"%.1f", static_cast<double>(bytes) / 1048576.0);
    std::wstring s = buf;
    if (size_t dot = s.find(L'.'); dot != std::wstring::npos) s.replace(dot, 1, sep);
    return s + L" MB";
}

std::vector<HiveSize> Sizes(std::wstring& why) {
    why.clear();
    std::vector<HiveSize> out;
    for (const Hive& h : System().hives()) out.push_back({h, FileSize(h.file)});
    if (!System().privileges(why)) return out;
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    for (HiveSize& s : out) {
        const std::wstring copy = std::wstring(temp) + L"Torvane-" + s.hive.name + L".groesse";
        DeleteFileW(copy.c_str());
        const std::wstring fault = CopyFault(s.hive, copy, System().saveCopy(s.hive, copy));
        if (fault.empty()) s.compact = FileSize(copy);
        else if (why.empty()) why = fault;
        DeleteFileW(copy.c_str());
    }
    return out;
}

std::wstring Check(const std::vector<HiveSize>& sizes, const std::wstring& why) {
    if (!why.empty()) return why + kNothingChanged;
    if (const std::wstring pending = RestartPending(); !pending.empty()) return pending + kNothingChanged;
    unsigned long long need = kReserve;
    for (const HiveSize& s : sizes) need += static_cast<unsigned long long>(std::max(0ll, s.compact));
    // The copies go to the program's folder (Folder() is made only when they are taken).
    const std::wstring folder = AppEnvironment.InstallDir;
    const unsigned long long free = System().freeBytes(folder);
    if (free < need)
        return L"Für die kompakten Kopien der Registry werden etwa " + SizeText(static_cast<long long>(need)) +
               L" freier Platz benötigt, auf dem Laufwerk von " + folder + L" sind aber nur " +
               SizeText(static_cast<long long>(free)) + L" frei." + kNothingChanged;
    return L"";
}

void SetMode(const std::wstring& mode) {
    Put(L"RegistryDefrag", mode == L"-e" ? L"-e" : L"-n");
    once = mode == L"-o";
    Watch(mode != L"-n");
}

bool Restart() {
    ownRestart = System().now();
    if (System().restart()) return true;
    ownRestart = 0;
    if (once) SetMode(L"-n");
    return false;
}

Outcome SessionEnd(bool ending, bool logoff) {
    Outcome o;
    // The session ends in the restart the program started (not in a shutdown fast startup resumes from).
    const bool own = ending && ownRestart && System().now() - ownRestart <= kOwnRestart;
    if (!own) {  // "-o" belonged to the restart confirmed, which was called off
        once = false;
        ownRestart = 0;
    }
    if (!ending || !Wanted() || logoff) return o;
    o.message = RestartPending();
    if (o.message.empty() && !own && FastStartup())
        o.message = L"Der Windows-Schnellstart bewahrt die laufende Registry über das Herunterfahren hinweg auf.";
    if (!o.message.empty()) return o;
    if (HWND w = watch) ShutdownBlockReasonCreate(w, L"Die Registry wird defragmentiert.");
    o = ArmNow();
    if (HWND w = watch) ShutdownBlockReasonDestroy(w);
    return o;
}

HWND WatchWindow() { return watch; }

std::wstring AtStart() {
    const wchar_t* proc = L"RegistryDefragAtStart";
    std::wstring report;
    const std::wstring boot = Get(L"RegistryDefragBoot");
    const std::vector<Armed> armed = ReadArmed();
    if (!boot.empty() && !SameBoot(boot) && !armed.empty()) {
        // The system has started since: it runs on the compact copy when the hive's file is another one.
        std::map<std::wstring, Hive> hives;
        for (const Hive& h : System().hives()) hives[h.name] = h;
        std::wstring lines;
        bool all = true;
        for (const Armed& a : armed) {
            const Hive& h = hives[a.name];
            const std::wstring label = h.label.empty() ? a.name : h.label, now = FileId(h.file);
            if (!now.empty() && !a.fileId.empty() && now != a.fileId) {
                lines += L"\r\n" + label + L": defragmentiert (vorher " + SizeText(a.before) + L", jetzt " +
                         SizeText(FileSize(h.file)) + L")";
            } else {
                all = false;
                lines += L"\r\n" + label + L": nicht ersetzt";
            }
        }
        report = (all ? L"Die Registry wurde beim letzten Windows-Start defragmentiert:"
                      : L"Die für den letzten Windows-Start vorbereitete Defragmentierung der Registry wurde nicht "
                        L"vollständig ausgeführt:") +
                 lines;
        Trace(kModule, proc, report);
        Put(L"RegistryDefragBoot", L"");
        Put(L"RegistryDefragArmed", L"");
        Put(L"RegistryDefragResult", report);
    }
    Watch(Wanted());
    return report;
}

std::wstring LastReport() { return Get(L"RegistryDefragResult"); }

std::wstring RegistryDefragAtStart() {
    std::wstring report;
    Trap(L"modMain", L"RegistryDefragAtStart", [&] { report = AtStart(); });
    return report;
}

}  // namespace RegistryCompaction
