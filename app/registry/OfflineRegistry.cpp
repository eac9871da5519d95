// app/registry/OfflineRegistry.cpp
#include "registry/OfflineRegistry.h"
#include "core/DoEvents.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "registry/ValueText.h"
#include "registry/clsKeyFunc.h"
#include <algorithm>
#include <cwctype>

namespace {
// `key` is `prefix` or lies below it (without regard to case); `rest` receives the part below.
bool Under(const std::wstring& key, const wchar_t* prefix, std::wstring& rest) {
    const size_t n = wcslen(prefix);
    if (key.size() < n || CompareStringOrdinal(key.c_str(), static_cast<int>(n), prefix, static_cast<int>(n), TRUE) != CSTR_EQUAL)
        return false;
    if (key.size() == n) {
        rest.clear();
        return true;
    }
    if (key[n] != L'\\') return false;
    rest = key.substr(n + 1);
    return true;
}

// A string value of a key, "" when it is not there.
std::wstring TextValue(const HiveFile& hive, const std::wstring& key, const wchar_t* name) {
    HiveFile::Key k;
    if (!hive.Find(key, k)) return L"";
    for (const RegValue& v : hive.Values(k))
        if (lstrcmpiW(v.name.c_str(), name) == 0 && IsTextType(v.type))
            return ValueDisplayText(v.type, reinterpret_cast<const BYTE*>(v.data.data()), v.bytes);
    return L"";
}

bool IsFile(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

void ReplaceNoCase(std::wstring& s, const std::wstring& what, const std::wstring& with) {
    const std::wstring lower = ToLower(s);
    const size_t at = lower.find(ToLower(what));
    if (at != std::wstring::npos) s.replace(at, what.size(), with);
}

const wchar_t kCurrentVersion[] = L"Microsoft\\Windows\\CurrentVersion";
const wchar_t kNtCurrentVersion[] = L"Microsoft\\Windows NT\\CurrentVersion";
}  // namespace

OfflineRegistry::OfflineRegistry(const std::wstring& windowsDir) {
    std::wstring dir = windowsDir;
    while (dir.size() > 3 && dir.back() == L'\\') dir.pop_back();
    wchar_t full[MAX_PATH * 2] = L"";
    if (GetFullPathNameW(dir.c_str(), MAX_PATH * 2, full, nullptr)) dir = full;
    const DWORD attributes = GetFileAttributesW(dir.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        Raise(Err::PathNotFound, L"Der Ordner " + dir + L" ist nicht vorhanden.");
    const std::wstring software = dir + L"\\System32\\config\\SOFTWARE";
    if (!IsFile(software))
        Raise(Err::FileNotFound, L"Der Ordner " + dir + L" ist kein Windows-Ordner: " + software + L" fehlt.");
    machine_ = std::make_unique<HiveFile>(software);
    Loaded(*machine_);

    // The installation's own system root; its drive is the drive the given folder lies on, and
    // the folders above the Windows folder are the same on both sides ("C:\Windows" and
    // "D:\Windows", or a folder standing for the drive).
    std::wstring root = TextValue(*machine_, kNtCurrentVersion, L"SystemRoot");
    if (root.size() < 4 || root[1] != L':' || root[2] != L'\\')
        root = L"C:\\" + dir.substr(dir.find_last_of(L'\\') + 1);
    while (root.size() > 3 && root.back() == L'\\') root.pop_back();
    drive_ = static_cast<wchar_t>(towlower(root[0]));
    driveRoot_ = dir;
    for (size_t levels = std::count(root.begin() + 3, root.end(), L'\\') + 1; levels > 0; --levels) {
        const size_t slash = driveRoot_.find_last_of(L'\\');
        if (slash == std::wstring::npos || slash < 2) break;
        driveRoot_.resize(slash);
    }
    driveRoot_ = WithBackslash(driveRoot_);

    folders_.WinDir = WithBackslash(root);
    folders_.ProgramFilesDir = WithBackslash(TextValue(*machine_, kCurrentVersion, L"ProgramFilesDir"));
    folders_.ProgramFilesX86Dir = WithBackslash(TextValue(*machine_, kCurrentVersion, L"ProgramFilesDir (x86)"));
    const std::wstring wow = folders_.WinDir + L"SysWOW64\\";
    const DWORD wowAttributes = GetFileAttributesW(Reach(wow).c_str());
    if (wowAttributes != INVALID_FILE_ATTRIBUTES && (wowAttributes & FILE_ATTRIBUTE_DIRECTORY)) folders_.SysWow64Dir = wow;

    // Every profile whose user hive is there.
    HiveFile::Key list;
    if (!machine_->Find(std::wstring(kNtCurrentVersion) + L"\\ProfileList", list)) return;
    for (HiveFile::Key k : machine_->SubKeys(list)) {
        User user;
        user.sid = machine_->Name(k);
        std::wstring profile =
            TextValue(*machine_, std::wstring(kNtCurrentVersion) + L"\\ProfileList\\" + user.sid, L"ProfileImagePath");
        ReplaceNoCase(profile, L"%SystemDrive%", root.substr(0, 2));
        ReplaceNoCase(profile, L"%SystemRoot%", root);
        ReplaceNoCase(profile, L"%windir%", root);
        if (profile.empty()) continue;
        const std::wstring folder = Reach(profile);
        if (folder.empty()) {
            notes_.push_back(L"Das Profil " + profile + L" (" + user.sid +
                             L") liegt nicht auf dem Laufwerk dieser Installation und wird übergangen.");
            continue;
        }
        const std::wstring ntuser = WithBackslash(folder) + L"NTUSER.DAT";
        if (!IsFile(ntuser)) {
            notes_.push_back(L"Das Profil " + profile + L" (" + user.sid + L") hat keine Datei NTUSER.DAT und wird übergangen.");
            continue;
        }
        user.hive = std::make_unique<HiveFile>(ntuser);
        Loaded(*user.hive);
        const std::wstring classes = WithBackslash(folder) + L"AppData\\Local\\Microsoft\\Windows\\UsrClass.dat";
        if (IsFile(classes)) {
            user.classes = std::make_unique<HiveFile>(classes);
            Loaded(*user.classes);
        }
        users_.push_back(std::move(user));
    }
}

void OfflineRegistry::Loaded(const HiveFile& hive) {
    if (hive.Recovered())
        notes_.push_back(L"Die Registrierungsdatei " + hive.Path() +
                         L" war nicht vollständig geschrieben; ihre Protokolle wurden im Speicher nachgetragen.");
}

std::wstring OfflineRegistry::Reach(const std::wstring& path) const {
    if (path.starts_with(L"\\\\")) return path;  // the network is the same from here
    if (path.size() < 3 || path[1] != L':' || path[2] != L'\\' || towlower(path[0]) != drive_) return L"";
    return driveRoot_ + path.substr(3);
}

const HiveFile* OfflineRegistry::Locate(RootKey root, const std::wstring& key, uint16_t user, std::wstring& inner) const {
    if (root == kHKLM) return Under(key, L"Software", inner) ? machine_.get() : nullptr;
    if (root != kHKCU || user >= users_.size()) return nullptr;
    const User& u = users_[user];
    if (Under(key, L"Software\\Classes", inner)) return u.classes.get();
    inner = key;
    return u.hive.get();
}

std::wstring OfflineRegistry::Origin(const ScanHit& hit) const {
    std::wstring inner;
    const HiveFile* hive = Locate(hit.root, hit.key, hit.part, inner);
    return hive ? hive->Path() : L"";
}

std::wstring OfflineRegistry::RunningName(RootKey root, const std::wstring& key, uint16_t user) const {
    if (root == kHKCU && user < users_.size()) return L"HKEY_USERS\\" + users_[user].sid + (key.empty() ? L"" : L"\\" + key);
    return clsKeyFunc::HiveName(root) + (key.empty() ? L"" : L"\\" + key);
}

bool OfflineRegistry::KeyExists(RootKey root, const std::wstring& key, uint16_t user) {
    std::wstring inner;
    const HiveFile* hive = Locate(root, key, user, inner);
    HiveFile::Key k;
    return hive && hive->Find(inner, k);
}

void OfflineRegistry::ReadTree(RootKey root, const std::wstring& key, uint16_t user, std::vector<ScanHit>& hits,
                               const bool& stop) {
    if (hits.empty()) hits.emplace_back();
    std::wstring inner;
    const HiveFile* hive = Locate(root, key, user, inner);
    HiveFile::Key k;
    if (!hive || !hive->Find(inner, k)) return;
    ScanHit proto;
    proto.root = root;
    proto.key = key;
    proto.part = user;
    Walk(*hive, k, proto, hits, stop);
}

// Values first, then the sub-keys, as the walk over the running registry does. A stack of the
// levels above instead of recursion: the hive has been checked to be a tree no deeper than
// Windows makes, and the walk holds one list of sub-keys per level and one key path.
void OfflineRegistry::Walk(const HiveFile& hive, HiveFile::Key top, ScanHit& proto, std::vector<ScanHit>& hits,
                           const bool& stop) {
    auto visit = [&](HiveFile::Key k) {
        DoEventsIfDue();
        std::vector<HiveFile::Key> subs = hive.SubKeys(k);
        const std::vector<RegValue> values = hive.Values(k);
        for (const RegValue& v : values) {
            ScanHit h;
            h.root = proto.root;
            h.key = proto.key;
            h.part = proto.part;
            h.name = v.name;
            h.type = v.type;
            h.bytes = static_cast<DWORD>(v.bytes);
            h.subKeys = static_cast<DWORD>(subs.size());
            const BYTE* data = reinterpret_cast<const BYTE*>(v.data.data());
            h.data = clsSearch::DataText(v.type, data, v.bytes);
            if (!IsTextType(v.type)) h.raw.assign(data, data + std::min<size_t>(v.bytes, ScanHit::kRawKept));
            hits.push_back(std::move(h));
        }
        if (values.empty()) {
            ScanHit h;
            h.root = proto.root;
            h.key = proto.key;
            h.part = proto.part;
            h.subKeys = static_cast<DWORD>(subs.size());
            hits.push_back(std::move(h));
        }
        return subs;
    };
    struct Level {
        std::vector<HiveFile::Key> subs;
        size_t next;
        size_t keyLength;  // of proto.key at this level
    };
    if (stop) return;
    std::vector<Level> levels;
    levels.push_back({visit(top), 0, proto.key.size()});
    while (!levels.empty()) {
        if (stop) return;
        Level& level = levels.back();
        if (level.next == level.subs.size()) {
            proto.key.resize(level.keyLength);
            levels.pop_back();
            continue;
        }
        const HiveFile::Key sub = level.subs[level.next++];
        proto.key.resize(level.keyLength);
        proto.key += L'\\';
        proto.key += hive.Name(sub);
        std::vector<HiveFile::Key> subs = visit(sub);
        levels.push_back({std::move(subs), 0, proto.key.size()});
    }
}

std::wstring OfflineRegistry::ExportKey(RootKey root, const std::wstring& key, uint16_t user) const {
    std::wstring inner;
    const HiveFile* hive = Locate(root, key, user, inner);
    HiveFile::Key top;
    if (!hive || !hive->Find(inner, top)) return L"";
    std::wstring out;
    struct Frame {
        HiveFile::Key key;
        std::wstring name;
    };
    std::vector<Frame> stack{{top, RunningName(root, key, user)}};
    while (!stack.empty()) {
        Frame f = std::move(stack.back());
        stack.pop_back();
        clsKeyFunc::AppendSectionLine(out, f.name);
        for (const RegValue& v : hive->Values(f.key)) clsKeyFunc::AppendExportLine(out, v, true);
        out += L"\r\n";
        const std::vector<HiveFile::Key> subs = hive->SubKeys(f.key);
        for (size_t i = subs.size(); i-- > 0;) stack.push_back({subs[i], f.name + L"\\" + hive->Name(subs[i])});
    }
    return out;
}
