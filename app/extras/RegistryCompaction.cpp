// app/extras/RegistryCompaction.cpp
#include "extras/RegistryCompaction.h"
#include "core/AppEnvironment.h"
#include "core/ClassHandler.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include <windows.h>
#include <sddl.h>
#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <map>

namespace RegistryCompaction {
namespace {
const wchar_t* kModule = L"frmExtraScan";
const wchar_t* kSection = L"Optionen\\ExtraScan";
// Room left free beside the copies, so the system itself does not run out of space.
constexpr unsigned long long kReserve = 64ull << 20;
// Clocks drift: two boot times this close are the same start.
constexpr long long kSameBoot = 120;

std::wstring Get(const wchar_t* key, const wchar_t* def = L"") {
    return ClassHandler().KeyFunc().GetSetting(kSection, key, def);
}
void Put(const wchar_t* key, const std::wstring& value) { ClassHandler().KeyFunc().SaveSetting(kSection, key, value); }

std::vector<std::wstring> Split(const std::wstring& s, wchar_t sep) {
    std::vector<std::wstring> out;
    if (s.empty()) return out;
    size_t start = 0;
    for (size_t p; (p = s.find(sep, start)) != std::wstring::npos; start = p + 1) out.push_back(s.substr(start, p - start));
    out.push_back(s.substr(start));
    return out;
}

// One armed (or last made) copy: name, identity of the copy's file, its size, the hive's size before.
struct Copy {
    std::wstring name, fileId;
    long long size = -1, before = -1;
};
std::vector<Copy> ReadCopies(const wchar_t* key) {
    std::vector<Copy> out;
    for (const std::wstring& entry : Split(Get(key), L';')) {
        std::vector<std::wstring> f = Split(entry, L'|');
        if (f.size() != 4) continue;
        Copy c{f[0], f[1]};
        c.size = std::wcstoll(f[2].c_str(), nullptr, 10);
        c.before = std::wcstoll(f[3].c_str(), nullptr, 10);
        out.push_back(c);
    }
    return out;
}
void WriteCopies(const wchar_t* key, const std::vector<Copy>& copies) {
    std::wstring text;
    for (const Copy& c : copies)
        text += (text.empty() ? L"" : L";") + c.name + L"|" + c.fileId + L"|" + std::to_wstring(c.size) + L"|" +
                std::to_wstring(c.before);
    Put(key, text);
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
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return L"";
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) return L"";
    wchar_t buf[40];
    swprintf(buf, 40, L"%08lx:%08lx%08lx", info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow);
    return buf;
}

// A registry file of the system's own format begins with "regf".
bool IsHiveFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char sig[4] = {};
    DWORD n = 0;
    const BOOL ok = ReadFile(h, sig, 4, &n, nullptr);
    CloseHandle(h);
    return ok && n == 4 && memcmp(sig, "regf", 4) == 0;
}

std::wstring SystemMessage(long code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring s = text ? Trim(text) : L"";
    if (text) LocalFree(text);
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
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return L"";
    std::wstring sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buf(size);
    wchar_t* text = nullptr;
    if (size && GetTokenInformation(token, TokenUser, buf.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid, &text)) {
        sid = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return sid;
}

std::vector<Hive> SystemHives() {
    // The system names the file of each loaded hive in "hivelist".
    const std::wstring list = L"System\\CurrentControlSet\\Control\\hivelist";
    clsSearch& search = ClassHandler().Search();
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
    HANDLE token = nullptr;
    bool ok = OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token) &&
              EnablePrivilege(token, SE_BACKUP_NAME) && EnablePrivilege(token, SE_RESTORE_NAME);
    if (token) CloseHandle(token);
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

void RemoveCopies(const std::vector<Hive>& hives) {
    for (const Hive& h : hives) DeleteFileW((Folder() + h.name + L".kompakt").c_str());
}

const std::wstring kNothingChanged = L"\r\n\r\nEs wurde nichts geändert.";
}  // namespace

Platform RealSystem() {
    Platform p;
    p.hives = SystemHives;
    p.saveCopy = [](const Hive& h, const std::wstring& copy) {
        return static_cast<long>(ClassHandler().KeyFunc().SaveKeyCopy(h.root, h.key, copy));
    };
    p.replace = [](const Hive& h, const std::wstring& newFile, const std::wstring& oldFile) {
        return static_cast<long>(ClassHandler().KeyFunc().ReplaceKeyFile(h.root, h.key, newFile, oldFile));
    };
    p.privileges = SystemPrivileges;
    p.freeBytes = [](const std::wstring& folder) {
        ULARGE_INTEGER free{};
        return GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr) ? free.QuadPart : 0ull;
    };
    p.bootTime = [] { return NowSeconds() - static_cast<long long>(GetTickCount64() / 1000); };
    return p;
}

Platform& System() {
    static Platform p = RealSystem();
    return p;
}

std::wstring Folder() { return AppEnvironment.InstallDir + L"Defrag\\"; }

bool Pending() { return SameBoot(Get(L"RegistryDefragBoot")) && !ReadCopies(L"RegistryDefragArmed").empty(); }

std::wstring DfrgType() {
    std::wstring mode = L"-n";
    Trap(kModule, L"DfrgType", [&] {
        const std::wstring stored = Get(L"RegistryDefrag", L"-n");
        if (Pending()) mode = stored == L"-e" ? L"-e" : L"-o";
        else if (stored == L"-e") mode = L"-e";
    });
    return mode;
}

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

std::vector<HiveSize> Sizes() {
    std::vector<HiveSize> out;
    std::map<std::wstring, long long> compact;
    for (const Copy& c : ReadCopies(L"RegistryDefragLast")) compact[c.name] = c.size;
    for (const Hive& h : System().hives()) {
        HiveSize s{h, FileSize(h.file)};
        if (auto it = compact.find(h.name); it != compact.end()) s.compact = it->second;
        out.push_back(s);
    }
    return out;
}

Outcome Arm(const std::wstring& mode) {
    const wchar_t* proc = L"cmdRegistryDefrag_Click";
    Outcome o;
    std::wstring why;
    if (!System().privileges(why)) {
        o.message = why + kNothingChanged;
        return o;
    }
    if (Pending()) {  // the copies for the next start are in place: only the mode changes
        Put(L"RegistryDefrag", mode);
        o.armed = true;
        return o;
    }
    const std::vector<Hive> hives = System().hives();
    const std::wstring folder = Folder();
    CreateDirectoryW(AppEnvironment.InstallDir.c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    if (hives.empty() || GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        o.message = L"Der Ordner " + folder + L" für die kompakten Kopien der Registry konnte nicht angelegt werden." +
                    kNothingChanged;
        return o;
    }
    unsigned long long need = kReserve;
    for (const Hive& h : hives) need += static_cast<unsigned long long>(std::max(0ll, FileSize(h.file)));
    const unsigned long long free = System().freeBytes(folder);
    if (free < need) {
        o.message = L"Für die kompakten Kopien der Registry werden etwa " + SizeText(static_cast<long long>(need)) +
                    L" freier Platz benötigt, auf dem Laufwerk von " + folder + L" sind aber nur " +
                    SizeText(static_cast<long long>(free)) + L" frei." + kNothingChanged;
        return o;
    }
    // First every copy, checked; only then is anything handed to the system.
    std::vector<Copy> copies;
    for (const Hive& h : hives) {
        const std::wstring copy = folder + h.name + L".kompakt";
        DeleteFileW(copy.c_str());
        const long rc = System().saveCopy(h, copy);
        if (rc != ERROR_SUCCESS) {
            RemoveCopies(hives);
            if (rc == ERROR_CALL_NOT_IMPLEMENTED || rc == ERROR_NOT_SUPPORTED) {
                o.unsupported = true;
                o.message = L"Die Defragmentierung der Registry wird auf diesem System nicht unterstützt." + kNothingChanged;
            } else {
                o.message = L"Von " + h.label + L" konnte keine kompakte Kopie geschrieben werden:\r\n" +
                            SystemMessage(rc) + kNothingChanged;
            }
            return o;
        }
        if (!IsHiveFile(copy)) {
            // The system wrote something, but no registry file it could start from.
            RemoveCopies(hives);
            Trace(kModule, proc, copy + L" ist keine Registrierungsdatei");
            o.unsupported = true;
            o.message = L"Die Defragmentierung der Registry wird auf diesem System nicht unterstützt:\r\n"
                        L"Windows schreibt hier keine Registrierungsdateien, die es beim Start laden könnte." +
                        kNothingChanged;
            return o;
        }
        copies.push_back({h.name, FileId(copy), FileSize(copy), FileSize(h.file)});
    }
    Put(L"RegistryDefragLast", L"");
    WriteCopies(L"RegistryDefragLast", copies);
    std::vector<Copy> armed;
    std::wstring failures;
    for (size_t i = 0; i < hives.size(); ++i) {
        const Hive& h = hives[i];
        const std::wstring copy = folder + h.name + L".kompakt", old = folder + h.name + L".alt";
        // The file kept from an earlier compaction: the system has started from its successor since.
        DeleteFileW(old.c_str());
        const long rc = System().replace(h, copy, old);
        if (rc == ERROR_SUCCESS) {
            armed.push_back(copies[i]);
            Trace(kModule, proc, h.label + L": " + copy + L" wird beim nächsten Start geladen, " + old + L" bleibt erhalten");
        } else {
            DeleteFileW(copy.c_str());
            failures += L"\r\n" + h.label + L": " + SystemMessage(rc);
        }
    }
    if (armed.empty()) {
        o.message = L"Windows hat das Ersetzen der Registrierungsdateien abgelehnt:" + failures + kNothingChanged;
        return o;
    }
    Put(L"RegistryDefrag", mode);
    Put(L"RegistryDefragBoot", std::to_wstring(System().bootTime()));
    WriteCopies(L"RegistryDefragArmed", armed);
    o.armed = true;
    if (!failures.empty())
        o.message = L"Nicht alle Registrierungsdateien werden beim nächsten Start ersetzt:" + failures;
    return o;
}

bool Stop() {
    Put(L"RegistryDefrag", L"-n");
    return !Pending();
}

std::wstring AtStart() {
    const wchar_t* proc = L"RegistryDefragAtStart";
    std::wstring report;
    const std::wstring boot = Get(L"RegistryDefragBoot");
    const std::vector<Copy> armed = ReadCopies(L"RegistryDefragArmed");
    if (!boot.empty() && !SameBoot(boot) && !armed.empty()) {
        // The system has started since: it runs on the compact copy when the hive's file is that copy.
        std::map<std::wstring, Hive> hives;
        for (const Hive& h : System().hives()) hives[h.name] = h;
        std::wstring lines;
        bool all = true;
        for (const Copy& c : armed) {
            const Hive& h = hives[c.name];
            const std::wstring label = h.label.empty() ? c.name : h.label;
            if (!c.fileId.empty() && FileId(h.file) == c.fileId) {
                lines += L"\r\n" + label + L": defragmentiert (vorher " + SizeText(c.before) + L", jetzt " +
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
        if (Get(L"RegistryDefrag", L"-n") == L"-o") Put(L"RegistryDefrag", L"-n");
    }
    if (Get(L"RegistryDefrag", L"-n") == L"-e" && !Pending()) {
        const Outcome o = Arm(L"-e");
        if (!o.armed) {
            ReportError(kModule, proc, RuntimeError{Err::PermissionDenied, ErrorDescription(Err::PermissionDenied)}, 48,
                        false, L"Defragmentierung beim nächsten Start nicht vorbereitet: " + o.message);
            if (!report.empty())
                report += L"\r\n\r\nDie Defragmentierung beim nächsten Start konnte nicht vorbereitet werden:\r\n" + o.message;
        } else {
            Trace(kModule, proc, L"Defragmentierung beim nächsten Start vorbereitet");
        }
    }
    return report;
}

std::wstring LastReport() { return Get(L"RegistryDefragResult"); }

void RegistryDefragAtStart() {
    std::wstring report;
    Trap(L"modMain", L"RegistryDefragAtStart", [&] { report = AtStart(); });
    if (!report.empty())
        MessageBoxW(nullptr, report.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONINFORMATION | MB_OK);
}

}  // namespace RegistryCompaction
