// app/journal/Protected.cpp
#include "journal/Protected.h"
#include "core/ClassHandler.h"
#include "core/Text.h"
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
    L"interface", L"local settings", L"media type", L"mediafoundation", L"mime", L"protocols", L"record",
    L"systemfileassociations", L"typelib", L"unknown", L"wow6432node", L"http", L"https", L"ftp", L"file",
    L"mailto", L"network", L"printers"};
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

// The user's choice of program or the list of programs offered for a type, below the key (or the key itself).
bool HoldsUserChoice(RootKey root, const std::wstring& key, const std::wstring& lower, int depth = 0) {
    if (HasPart(lower, L"userchoice")) return true;
    if (StartsWith(lower, kFileExts) && HasPart(lower.substr(wcslen(kFileExts)), L"openwithprogids")) return true;
    if (depth > 4) return false;
    for (const std::wstring& sub : ClassHandler().Search().Get_SubFolders(root, key))
        if (!sub.empty() && HoldsUserChoice(root, key + L"\\" + sub, lower + L"\\" + ToLower(sub), depth + 1))
            return true;
    return false;
}

}  // namespace

bool IsSystemClass(const std::wstring& name) {
    const std::wstring lower = ToLower(name);
    return Listed(kEssentialClasses, lower) || Listed(kClassContainers, lower);
}

// Who names a ProgID: an extension (its default value, or a value of its OpenWithProgids) or a
// class (its ProgID or VersionIndependentProgID).
struct RegistryProtection::Namers {
    struct Namer {
        RootKey root;
        std::wstring key;
        std::wstring value;  // the value that names it
        bool byName;         // the value's name is the ProgID (OpenWithProgids), else its data
    };
    std::map<std::wstring, std::vector<Namer>> byProgId;  // lower case

    Namers() {
        clsSearch& search = ClassHandler().Search();
        for (RootKey root : {kHKCU, kHKLM}) {
            for (const std::wstring& ext : search.Get_SubFolders(root, L"Software\\Classes")) {
                if (ext.empty() || ext[0] != L'.') continue;
                const std::wstring key = L"Software\\Classes\\" + ext;
                Add(search.Get_ValueData(root, key, L""), {root, key, L"", false});
                for (const std::wstring& name : search.Get_KeyValues(root, key + L"\\OpenWithProgids"))
                    Add(name, {root, key + L"\\OpenWithProgids", name, true});
            }
            for (const wchar_t* classes : {L"Software\\Classes\\CLSID", L"Software\\Classes\\Wow6432Node\\CLSID"})
                for (const std::wstring& clsid : search.Get_SubFolders(root, classes)) {
                    if (clsid.empty()) continue;
                    for (const wchar_t* part : {L"\\ProgID", L"\\VersionIndependentProgID"}) {
                        const std::wstring key = classes + (L"\\" + clsid) + part;
                        Add(search.Get_ValueData(root, key, L""), {root, key, L"", false});
                    }
                }
        }
    }
    void Add(const std::wstring& progId, Namer namer) {
        if (!progId.empty()) byProgId[ToLower(progId)].push_back(std::move(namer));
    }
    // The first namer that still names it, as it is now.
    const Namer* StillNamed(const std::wstring& lowerProgId) const {
        auto it = byProgId.find(lowerProgId);
        if (it == byProgId.end()) return nullptr;
        clsSearch& search = ClassHandler().Search();
        for (const Namer& n : it->second) {
            if (n.byName) {
                RegValue v;
                if (ClassHandler().KeyFunc().ReadValueRaw(n.root, n.key, n.value, v)) return &n;
            } else if (ToLower(search.Get_ValueData(n.root, n.key, n.value)) == lowerProgId) {
                return &n;
            }
        }
        return nullptr;
    }
};

RegistryProtection::RegistryProtection() = default;
RegistryProtection::~RegistryProtection() { delete namers_; }

std::wstring RegistryProtection::WhyProgId(RootKey root, const std::wstring& progId) {
    if (!namers_) namers_ = new Namers;
    const Namers::Namer* n = namers_->StillNamed(ToLower(progId));
    if (!n) return L"";
    return L"ist ein Dateityp, den " + clsKeyFunc::HiveName(n->root) + L"\\" + n->key + L" noch nennt";
}

std::wstring RegistryProtection::WhyKey(RootKey root, const std::wstring& key) {
    std::wstring lower = ToLower(key);
    while (!lower.empty() && lower.back() == L'\\') lower.pop_back();
    if (lower.empty()) return L"ist ein ganzer Zweig der Registry";
    if (const std::optional<std::wstring> cls = BelowClasses(root, lower)) {
        const std::wstring first = FirstPart(*cls);
        if (Listed(kEssentialClasses, first)) return L"ist eine Dateiart, ohne die Windows nicht arbeiten kann";
        if (Listed(kClassContainers, first) && first == *cls) return L"ist ein Grundschlüssel der Registry";
        if (first == *cls && !first.empty() && first[0] != L'.' && first[0] != L'{')
            if (std::wstring why = WhyProgId(root, key.substr(key.size() - first.size())); !why.empty()) return why;
    }
    if (Structural(lower)) return L"ist ein Grundschlüssel der Registry";
    if ((StartsWith(lower, kFileExts) || StartsWith(lower, kAssociations)) && HoldsUserChoice(root, key, lower))
        return L"enthält die vom Benutzer gewählte Zuordnung eines Dateityps (UserChoice, OpenWithProgids), "
               L"die Windows nach dem Zurückschreiben nicht wieder anerkennt";
    return L"";
}

bool RegistryProtection::AsksRegistry(RootKey root, const std::wstring& key) {
    const std::wstring lower = ToLower(key);
    if (StartsWith(lower, kFileExts) || StartsWith(lower, kAssociations)) return true;
    const std::optional<std::wstring> cls = BelowClasses(root, lower);
    return cls && !cls->empty() && cls->find(L'\\') == std::wstring::npos;
}

std::wstring RegistryProtection::WhyValue(RootKey root, const std::wstring& key, const std::wstring& name) {
    std::wstring lower = ToLower(key);
    if (HasPart(lower, L"userchoice") ||
        (StartsWith(lower, kFileExts) && HasPart(lower.substr(wcslen(kFileExts)), L"openwithprogids")))
        return L"gehört zur vom Benutzer gewählten Zuordnung eines Dateityps (UserChoice, OpenWithProgids), "
               L"die Windows nach dem Zurückschreiben nicht wieder anerkennt";
    return L"";
}
