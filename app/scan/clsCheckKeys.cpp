// app/scan/clsCheckKeys.cpp
#include "scan/clsCheckKeys.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "registry/ValueText.h"
#include "registry/clsKeyFunc.h"
#include "scan/ScanEngine.h"
#include "files/clsFiles.h"

namespace {
const wchar_t kModule[] = L"clsCheckKeys";

// The text occurs somewhere after the first character.
bool After1(const std::wstring& s, const wchar_t* what) {
    size_t p = s.find(what);
    return p != std::wstring::npos && p >= 1;
}

void ReplaceAll(std::wstring& s, const std::wstring& what, const std::wstring& with) {
    if (what.empty()) return;
    for (size_t p = 0; (p = s.find(what, p)) != std::wstring::npos; p += with.size()) s.replace(p, what.size(), with);
}

bool SameText(const std::wstring& a, const wchar_t* b) { return lstrcmpiW(a.c_str(), b) == 0; }

// Data as the file rule shows it: backslashes doubled, double quotes gone.
std::wstring FileRuleData(const std::wstring& data) {
    std::wstring out;
    out.reserve(data.size() + 8);
    for (wchar_t c : data) {
        if (c == L'"') continue;
        out += c;
        if (c == L'\\') out += L'\\';
    }
    return out;
}

// A default value that holds nothing: absent, or a string of length zero.
bool EmptyDefault(const ScanHit& e) {
    if (!e.name.empty() || !e.data.empty()) return false;
    return e.bytes == 0 || e.type == REG_SZ || e.type == REG_EXPAND_SZ;
}

bool Contains(const std::vector<std::wstring>& list, const std::wstring& s) {
    for (const auto& x : list)
        if (lstrcmpiW(x.c_str(), s.c_str()) == 0) return true;
    return false;
}
}  // namespace

std::wstring clsCheckKeys::CleanPath(const std::wstring& data, bool wow32, RegistrySource* source) {
    const SystemFolders env = source ? source->Folders() : RunningSystemFolders();
    std::wstring p = ToLower(data);
    ReplaceAll(p, L"%systemroot%\\", env.WinDir);
    if (!env.ProgramFilesX86Dir.empty()) ReplaceAll(p, L"%programfiles(x86)%\\", env.ProgramFilesX86Dir);
    const std::wstring& programs = wow32 && !env.ProgramFilesX86Dir.empty() ? env.ProgramFilesX86Dir : env.ProgramFilesDir;
    if (!programs.empty()) ReplaceAll(p, L"%programfiles%\\", programs);
    ReplaceAll(p, L"%windir%\\", env.WinDir);
    std::erase(p, L'"');
    size_t q = p.find(L":\\");
    if (q != std::wstring::npos && q >= 1) p.erase(0, q - 1);
    for (const wchar_t* ext : {L".exe", L".dll", L".ocx", L".tlb"}) {
        size_t e = p.find(ext);
        if (e != std::wstring::npos && e >= 1) p.resize(e + 4);
    }
    return p;
}

bool clsCheckKeys::Wow32(const ScanHit& hit) {
    const std::wstring k = ToLower(hit.key);
    if (k.find(L"\\wow6432node\\") != std::wstring::npos) return true;
    return StartsWith(k, L"software\\classes\\typelib\\") && k.ends_with(L"\\win32");
}

bool clsCheckKeys::BothViews(const ScanHit& hit) {
    const std::wstring k = ToLower(hit.key);
    return StartsWith(k, L"software\\classes\\typelib\\") && k.ends_with(L"\\win32");
}

bool clsCheckKeys::FileThere(const std::wstring& cleanPath, bool wow32, std::wstring& lookedFor, FolderListing* listing,
                             RegistrySource* source) {
    // `lookedFor` names the file where it was looked for: for another installation, where its path is reached from here.
    auto exists = [&](const std::wstring& p) {
        lookedFor = source ? source->Reach(p) : p;
        return listing ? listing->Exists(lookedFor) : GetFileAttributesW(lookedFor.c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    const SystemFolders env = source ? source->Folders() : RunningSystemFolders();
    if (!wow32 || env.WinDir.empty()) return exists(cleanPath);
    const std::wstring lower = ToLower(cleanPath);
    auto under = [&](const std::wstring& folder) { return !folder.empty() && StartsWith(lower, ToLower(folder)); };
    const std::wstring system32 = env.WinDir + L"system32\\", sysnative = env.WinDir + L"sysnative\\";
    std::wstring seen = cleanPath;  // the path as the registration's programs see it
    if (!env.SysWow64Dir.empty() && under(system32))
        seen = env.SysWow64Dir + cleanPath.substr(system32.size());
    else if (under(sysnative))
        seen = system32 + cleanPath.substr(sysnative.size());
    if (exists(seen)) return true;
    const std::wstring missing = lookedFor;
    // "Program Files" in a 32-bit registration may mean the 32-bit program folder.
    if (!env.ProgramFilesX86Dir.empty() && under(env.ProgramFilesDir) && !under(env.ProgramFilesX86Dir)) {
        if (exists(env.ProgramFilesX86Dir + cleanPath.substr(env.ProgramFilesDir.size()))) return true;
    }
    lookedFor = missing;
    return false;
}

namespace {
// The lower-case path of the type library's {GUID} key that a key lies in or is, or "".
std::wstring TypeLibOf(const std::wstring& lowerKey) {
    static const std::wstring area = L"software\\classes\\typelib\\{";
    if (!StartsWith(lowerKey, area)) return L"";
    const size_t close = lowerKey.find(L'}', area.size());
    if (close == std::wstring::npos || (close + 1 < lowerKey.size() && lowerKey[close + 1] != L'\\')) return L"";
    return lowerKey.substr(0, close + 1);
}
}  // namespace

std::wstring clsCheckKeys::DeriveGroupKey(const std::wstring& k, bool withBackslash) {
    // A type library is judged per version: its group is one version key (with everything below
    // it), and the {GUID} key on its own is a group of exactly that key.
    if (const std::wstring lib = TypeLibOf(k.substr(0, k.size() - 1)); !lib.empty()) {
        if (k.size() == lib.size() + 1) return k;
        const size_t end = k.find_first_of(L"\\]", lib.size() + 1);
        return k.substr(0, end);
    }
    size_t brace = k.find(L'}');
    if (brace != std::wstring::npos && brace >= 1) return k.substr(0, brace + 1);
    if (After1(k, withBackslash ? L"app paths\\" : L"app paths")) return k.substr(0, k.size() - 1);
    return k;
}

// A hit belongs to the open group when it lies in the group's key (or is that key) under the
// same root. A bare substring test would let "App Paths\a.exe.bak" join "App Paths\a.exe", and a
// class of the same GUID under the other root join this one.
bool clsCheckKeys::InGroup(const ScanHit& hit, const std::wstring& k) const {
    // Same root, and the hit lies in the group's key. A {GUID} group takes every key that starts
    // with it; an App Paths entry only itself and its sub-keys (so "a.exe.bak" does not join
    // "a.exe"); an uninstall group is exactly one key.
    if (hit.root != groupRoot_ || hit.part != groupPart_ || groupKey_.empty() || k.compare(0, groupKey_.size(), groupKey_) != 0) return false;
    if (groupKey_.back() == L']') return k.size() == groupKey_.size();
    if (groupKey_.back() == L'}' || k.size() == groupKey_.size()) return true;
    const wchar_t next = k[groupKey_.size()];
    return next == L'\\' || next == L']';
}

void clsCheckKeys::CheckReg(const ScanHit& hit) {
    Trap(kModule, L"CheckReg", [&] {
        const std::wstring k = ToLower(hit.KeyText());
        size_t brace = k.find(L'}');
        const bool relevant = (brace != std::wstring::npos && brace >= 1) || After1(k, L"app paths\\") ||
                              After1(k, L"uninstall\\");
        if (!relevant) {
            // A line outside any registration ends the group: judge it now, so that its entries
            // are never judged together with the next registration's.
            if (!group_.empty()) CheckGroup();
            groupOpen_ = false;
            return;
        }
        if (!groupOpen_) {
            groupKey_ = DeriveGroupKey(k, true);
            groupRoot_ = hit.root;
            groupPart_ = hit.part;
        }
        if (InGroup(hit, k)) {
            group_.push_back(hit);
            groupOpen_ = true;
            return;
        }
        groupKey_ = DeriveGroupKey(k, false);
        groupRoot_ = hit.root;
        groupPart_ = hit.part;
        NotNext = true;
        CheckGroup();
    });
}

void clsCheckKeys::CheckGroup() {
    if (group_.empty()) return;
    const std::wstring first = ToLower(group_.front().key);
    const std::wstring lib = TypeLibOf(first);
    if (lib.empty() || lib != typeLib_.key || group_.front().root != typeLib_.root || group_.front().part != typeLib_.part) {
        FinishTypeLib();
        typeLib_.key = lib;
        typeLib_.root = group_.front().root;
        typeLib_.part = group_.front().part;
    }
    const bool libKeyItself = !lib.empty() && first == lib;
    if (libKeyItself && !(group_.size() == 1 && EmptyDefault(group_.front()) && group_.front().subKeys == 0)) {
        // Judged with its versions, when the last of them has been checked.
        typeLib_.own.insert(typeLib_.own.end(), group_.begin(), group_.end());
        group_.clear();
        return;
    }
    reported_ = false;
    const size_t n = group_.size();
    for (size_t i = 0; i < n && !group_.empty(); ++i) {
        DoEventsIfDue();
        CheckFile(i);
    }
    group_.clear();
    if (!lib.empty() && !libKeyItself) {
        ++typeLib_.versions;
        if (reported_) ++typeLib_.broken;
    }
}

void clsCheckKeys::FinishTypeLib() {
    TypeLib lib = std::move(typeLib_);
    typeLib_ = TypeLib{};
    // Only when every version went is the {GUID} key itself of no use any more.
    if (lib.own.empty() || lib.versions == 0 || lib.broken < lib.versions || Service<clsSearch>().StopSearch) return;
    for (size_t i = lib.own.size(); i-- > 0;) {
        const ScanHit& e = lib.own[i];
        Flag(e, e.data, Finding::TypeLibWithoutVersion, L"");
    }
}

void clsCheckKeys::FinishGroup() {
    Trap(kModule, L"CheckReg", [&] {
        CheckGroup();
        FinishTypeLib();
    });
    groupOpen_ = false;
    groupKey_.clear();
}

void clsCheckKeys::Reset() {
    group_.clear();
    typeLib_ = TypeLib{};
    groupOpen_ = false;
    groupKey_.clear();
    NotNext = false;
    cToDelDrive.clear();
    cNotToDelDrive.clear();
    registered_.clear();
    files_.Clear();
    driveKinds_.clear();
}

void clsCheckKeys::AddRow(const ScanHit& entry, const std::wstring& data, RootKey rowRoot, Finding finding,
                          const std::wstring& lookedFor) {
    ResultRow row;
    row.finding = finding;
    row.lookedFor = lookedFor;
    row.item = L"[" + clsKeyFunc::HiveName(rowRoot) + L"\\" + entry.key + L"]";
    row.name = entry.name.empty() ? std::wstring(L"@") : L"\"" + entry.name + L"\"";
    // The checks judge the data as the search read it; the list shows what the value holds.
    row.data = IsTextType(entry.type) ? data : entry.DisplayData();
    row.rootText = std::to_wstring(rowRoot);
    row.hit = entry;
    row.hit.root = rowRoot;
    if (sink_) sink_(std::move(row));
}

bool clsCheckKeys::DriveMayGo(const std::wstring& drive, int kind) {
    if (Contains(cToDelDrive, drive)) return true;
    if (Contains(cNotToDelDrive, drive)) return false;
    const std::wstring text =
        kind == 4 ? L"Es wurde ein Registryeintrag gefunden, der auf das Netzlaufwerk " + drive + L" verweist.\r\n"
                    L"Wenn " + drive + L" nicht mehr vorhanden ist, kann der Eintrag gelöscht werden.\r\n"
                    L"Wollen Sie das tun?"
                  : L"Es wurde ein Registryeintrag gefunden, der auf das Laufwerk " + drive + L" verweist.\r\n"
                    L"Dieses Laufwerk ist Windows jedoch unbekannt.\r\n"
                    L"Wenn " + drive + L" nicht vorhanden ist, kann der Eintrag gelöscht werden.\r\n"
                    L"Wollen Sie das tun?";
    const bool yes = questions_ && questions_->AskDrive(text, drive);
    (yes ? cToDelDrive : cNotToDelDrive).push_back(drive);
    return yes;
}

void clsCheckKeys::Flag(const ScanHit& e, const std::wstring& data, Finding finding, const std::wstring& lookedFor) {
    if (Logging())
        Trace(kModule, L"CheckFile",
              clsKeyFunc::HiveName(e.root) + L"\\" + e.KeyText() + L";" + (e.name.empty() ? L"@" : e.name) + L"=" + data +
                  L"; wird zum Entfernen vorgesehen");
    AddRow(e, data, e.root, finding, lookedFor);
}

void clsCheckKeys::Report(const ScanHit& judged, Rule rule, Finding finding, const std::wstring& lookedFor) {
    if (ToLower(judged.key).find(L"}\\clsid\\{") != std::wstring::npos) return;
    reported_ = true;
    // The whole group, last collected first, so that its removal takes the registration as a whole.
    for (size_t i = group_.size(); i-- > 0;) {
        const ScanHit& e = group_[i];
        Flag(e, rule == Rule::File ? FileRuleData(e.data) : e.data, finding, lookedFor);
    }
    group_.clear();
}

void clsCheckKeys::CheckFile(size_t index) {
    Trap(kModule, L"CheckFile", [&] {
        if (Service<clsSearch>().StopSearch || index >= group_.size()) return;
        const ScanHit e = group_[index];

        // A key that holds nothing at all. One with sub-keys is not empty: they are judged on their own.
        if (group_.size() == 1 && EmptyDefault(e) && e.subKeys == 0) {
            Flag(e, e.data, Finding::EmptyKey, L"");
            reported_ = true;
            group_.erase(group_.begin() + index);
            return;
        }

        const std::wstring lk = ToLower(e.key) + L"]";
        const bool fileKey = After1(lk, L"inprocserver32") || After1(lk, L"inprochandler32") ||
                             After1(lk, L"localserver32") || After1(lk, L"win32") ||
                             (e.name.empty() && After1(lk, L"app paths"));
        if (fileKey && !SameText(e.name, L"ThreadingModel")) {
            const bool wow32 = Wow32(e);
            const std::wstring p = CleanPath(e.data, wow32, source_);
            const bool unc = p.starts_with(L"\\\\");
            if (unc || After1(p, L":\\")) {
                // A drive of another installation that is not at hand cannot be judged from here.
                if (source_->Reach(p).empty()) return;
                std::wstring lookedFor, native;
                // A type library's "win32" path serves 64-bit clients too (they fall back to it when
                // there is no "win64"): its file is there when either view has it.
                if (FileThere(p, wow32, lookedFor, &files_, source_) ||
                    (wow32 && BothViews(e) && FileThere(CleanPath(e.data, false, source_), false, native, &files_, source_))) {
                    group_.clear();  // the registration's file is there: the whole group is sound
                    return;
                }
                int kind;
                std::wstring drive;
                if (unc) {
                    // A UNC path lives on a share: ask about "\\server\share\", not its first three characters.
                    size_t s1 = p.find(L'\\', 2), s2 = s1 == std::wstring::npos ? s1 : p.find(L'\\', s1 + 1);
                    drive = p.substr(0, s2 == std::wstring::npos ? p.size() : s2);
                    if (drive.back() != L'\\') drive += L'\\';
                    CharUpperBuffW(drive.data(), static_cast<DWORD>(drive.size()));
                    kind = 4;
                } else {
                    drive = p.substr(0, 3);
                    CharUpperBuffW(drive.data(), static_cast<DWORD>(drive.size()));
                    // The kind of the drive the path is reached on (for the running system: its own).
                    std::wstring reached = source_->Reach(p).substr(0, 3);
                    CharUpperBuffW(reached.data(), static_cast<DWORD>(reached.size()));
                    kind = DriveKind(reached);
                }
                if (kind == 5) return;  // a CD-ROM may simply not be inserted
                if ((kind == 4 || kind == 0) && !DriveMayGo(drive, kind)) return;
                Report(e, Rule::File,
                       kind == 4 ? Finding::NetworkDrive : kind == 0 ? Finding::UnknownDrive : Finding::MissingFile,
                       lookedFor);
                return;
            }
        }

        if (After1(lk, L"uninstall") && group_.size() == 1 && e.subKeys == 0 &&
            !SameText(e.name, L"SystemComponent") && !SameText(e.name, L"UninstallString"))
            Report(e, Rule::Plain, Finding::Uninstall, L"");
    });
}

int clsCheckKeys::DriveKind(const std::wstring& root) {
    // Asked once a scan for each drive; a network drive every time, as asking may mean asking the user.
    if (auto it = driveKinds_.find(root); it != driveKinds_.end()) return it->second;
    const int kind = Service<clsFiles>().GetDrive(root, questions_);
    if (kind != DRIVE_REMOTE) driveKinds_.emplace(root, kind);
    return kind;
}

bool clsCheckKeys::Registered(const std::wstring& target, uint16_t part) {
    // Many registrations name the same few type libraries and classes: each is asked for once a scan.
    if (registered_.size() <= part) registered_.resize(part + 1);
    auto [it, added] = registered_[part].try_emplace(target, false);
    if (added) it->second = source_->KeyExists(kHKLM, target, part) || source_->KeyExists(kHKCU, target, part);
    return it->second;
}

void clsCheckKeys::CheckQuerVerbindung(const ScanHit& hit) {
    Trap(kModule, L"CheckQuerVerbindung", [&] {
        if (Service<clsSearch>().StopSearch) return;
        const std::wstring& d = hit.data;
        if (!hit.name.empty() || d.size() < 2 || d.front() != L'{' || d.back() != L'}') return;
        const std::wstring lk = ToLower(hit.KeyText());
        // A 32-bit registration's classes and interfaces are looked for in the 32-bit view first
        // and then, as one that is found in the other view is not gone, in the 64-bit view too.
        // Type libraries are shared by both.
        const bool wow32 = Wow32(hit);
        std::vector<std::wstring> targets;
        Finding finding;
        if (lk.find(L"}\\typelib]") != std::wstring::npos) {
            targets = {L"Software\\Classes\\TypeLib\\" + d};
            finding = Finding::UnregisteredTypeLib;
        } else if (lk.find(L"}\\clsid]") != std::wstring::npos) {
            targets = {L"Software\\Classes\\clsid\\" + d};
            finding = Finding::UnregisteredClass;
        } else if (lk.find(L"}\\interface]") != std::wstring::npos) {
            targets = {L"Software\\Classes\\interface\\" + d};
            finding = Finding::UnregisteredInterface;
        } else {
            return;
        }
        if (wow32 && finding != Finding::UnregisteredTypeLib)
            targets.insert(targets.begin(), L"Software\\Classes\\Wow6432Node\\" + targets.front().substr(17));
        for (const std::wstring& target : targets)
            if (Registered(target, hit.part)) return;
        if (group_.size() <= 2) {
            for (size_t i = group_.size(); i-- > 0;)
                AddRow(group_[i], group_[i].data, group_[i].root, finding, targets.front());
        } else {
            AddRow(hit, hit.data, hit.root, finding, targets.front());
        }
    });
}
