// app/journal/Areas.cpp
#include "journal/Areas.h"
#include "core/Service.h"
#include "core/Text.h"
#include "core/UniqueHandle.h"
#include "registry/clsSearch.h"
#include <sddl.h>
#include <algorithm>
#include <iterator>

namespace {

// ---- The areas ------------------------------------------------------------------------------

enum Kinds : unsigned {
    kScan = 1, kAutorun = 2, kFileTypes = 4, kHistory = 8, kPrograms = 16, kOffice = 32,
    kEveryKind = 63
};
const struct {
    const wchar_t* name;
    unsigned kinds;
} kKinds[] = {{L"RegScan", kScan},         {L"AutoRun", kAutorun}, {L"Dateierweiterung", kFileTypes},
              {L"Verlauf", kHistory},      {L"Programme", kPrograms}, {L"Office", kOffice},
              // A write-back may change what any tool may change, and nothing else.
              {L"Wiederherstellung", kEveryKind}};

enum class Reach {
    Tree,    // the key, everything below it and every value in it
    Key,     // as Tree, but deleted only whole: a key below it is not deleted on its own
    Values,  // the values of the key (the key may be made for them, never deleted)
};
enum Roots : unsigned { kUser = 1, kMachine = 2, kBoth = 3 };

struct Area {
    unsigned kinds;
    unsigned roots;
    // Lower case, below the root, "*" one part of any name. A key below "Software\" counts in
    // both views: "Software\Wow6432Node\..." and, for classes, "Software\Classes\Wow6432Node\..."
    // are compared as the 64-bit key.
    const wchar_t* key;
    Reach reach;
    const wchar_t* value = nullptr;  // Values: only this one (lower case)
};

#define TV_CV L"software\\microsoft\\windows\\currentversion\\"
#define TV_EXPLORER TV_CV L"explorer\\"
const Area kAreas[] = {
    // The scan: registrations of classes, interfaces and type libraries, App Paths and Uninstall.
    {kScan, kBoth, L"software\\classes\\clsid\\*", Reach::Tree},
    {kScan, kBoth, L"software\\classes\\interface\\*", Reach::Tree},
    {kScan, kBoth, L"software\\classes\\typelib\\*", Reach::Tree},
    {kScan, kBoth, TV_CV L"app paths\\*", Reach::Tree},
    {kScan, kBoth, TV_CV L"uninstall\\*", Reach::Tree},
    // Installed programs: an entry of the list, whole.
    {kPrograms, kBoth, TV_CV L"uninstall\\*", Reach::Key},
    // Autorun (and the disk cleanup's start entry): the values of Run and RunOnce and their
    // on/off state.
    {kAutorun, kBoth, TV_CV L"run", Reach::Values},
    {kAutorun, kBoth, TV_CV L"runonce", Reach::Values},
    {kAutorun, kBoth, TV_EXPLORER L"startupapproved\\run", Reach::Values},
    {kAutorun, kBoth, TV_EXPLORER L"startupapproved\\run32", Reach::Values},
    // File types: the class of an extension or a ProgID, whole.
    {kFileTypes, kBoth, L"software\\classes\\*", Reach::Key},
    // History: the lists it empties.
    {kHistory, kUser, TV_EXPLORER L"fileexts\\*\\openwithlist", Reach::Tree},
    {kHistory, kUser, TV_EXPLORER L"comdlg32\\lastvisitedmru", Reach::Tree},
    {kHistory, kUser, TV_EXPLORER L"comdlg32\\opensavemru", Reach::Tree},
    {kHistory, kUser, TV_EXPLORER L"recentdocs", Reach::Tree},
    {kHistory, kUser, TV_EXPLORER L"runmru", Reach::Tree},
    {kHistory, kUser, TV_EXPLORER L"map network drive mru", Reach::Tree},
    {kHistory, kUser, TV_EXPLORER L"streams", Reach::Tree},
    {kHistory, kUser, TV_EXPLORER L"streammru", Reach::Tree},
    // Office: the user's settings of one application of one version, and the switches it offers.
    {kOffice, kUser, L"software\\microsoft\\office\\*\\*", Reach::Tree},
    {kOffice, kUser, L"software\\microsoft\\shared tools\\outlook\\journaling\\*", Reach::Values, L"enabled"},
    {kOffice, kUser, L"software\\policies\\microsoft\\security", Reach::Values, L"checkadminsettings"},
};
#undef TV_EXPLORER
#undef TV_CV

std::vector<std::wstring> Parts(const std::wstring& lower) {
    std::vector<std::wstring> parts;
    for (size_t start = 0;;) {
        const size_t end = lower.find(L'\\', start);
        parts.push_back(lower.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return parts;
        start = end + 1;
    }
}

// The key as the 64-bit view names it: the two views share the table.
std::wstring OneView(std::wstring lower) {
    for (const wchar_t* view : {L"software\\wow6432node\\classes\\", L"software\\classes\\wow6432node\\"})
        if (StartsWith(lower, view)) return L"software\\classes\\" + lower.substr(wcslen(view));
    if (StartsWith(lower, L"software\\wow6432node\\")) return L"software\\" + lower.substr(21);
    return lower;
}

bool Inside(const Area& a, Touch touch, RootKey root, const std::vector<std::wstring>& key, const std::wstring& value) {
    const unsigned rootBit = root == kHKCU ? kUser : root == kHKLM ? kMachine : 0u;
    if (!(a.roots & rootBit)) return false;
    const std::vector<std::wstring> pattern = Parts(a.key);
    if (key.size() < pattern.size()) return false;
    for (size_t i = 0; i < pattern.size(); ++i)
        if (pattern[i] != L"*" && pattern[i] != key[i]) return false;
    const bool itself = key.size() == pattern.size();
    switch (a.reach) {
    case Reach::Tree: return true;
    case Reach::Key: return touch != Touch::DeleteKey || itself;
    case Reach::Values:
        if (!itself || touch == Touch::DeleteKey) return false;
        return touch == Touch::MakeKey || !a.value || ToLower(value) == a.value;
    }
    return false;
}

// ---- Names ----------------------------------------------------------------------------------

ResolvedName Refused(std::wstring why) {
    ResolvedName r;
    r.why = std::move(why);
    return r;
}

// The rest of a key after its first part ("" when there is none).
std::wstring AfterFirst(const std::wstring& key) {
    const size_t cut = key.find(L'\\');
    return cut == std::wstring::npos ? L"" : key.substr(cut + 1);
}
std::wstring Joined(const std::wstring& base, const std::wstring& rest) { return rest.empty() ? base : base + L"\\" + rest; }

}  // namespace

ResolvedName ResolveRegName(RootKey root, const std::wstring& key, const std::wstring* valueName) {
    // The registry functions end a name at its first NUL: what is judged must be what is acted on.
    if (key.find(L'\0') != std::wstring::npos)
        return Refused(L"enthält ein Nullzeichen im Schlüsselnamen, an dem Windows den Namen abschneidet");
    if (valueName && valueName->find(L'\0') != std::wstring::npos)
        return Refused(L"hat ein Nullzeichen im Wertnamen, an dem Windows den Namen abschneidet");
    if (!key.empty() && (key.front() == L'\\' || key.back() == L'\\' || key.find(L"\\\\") != std::wstring::npos))
        return Refused(L"enthält einen leeren Teil im Schlüsselnamen (\\ am Anfang, am Ende oder doppelt)");
    ResolvedName r;
    r.key = key;
    switch (root) {
    case kHKCU:
    case kHKLM:
        r.root = root;
        return r;
    case kHKCC:
        r.root = kHKLM;
        r.key = Joined(L"System\\CurrentControlSet\\Hardware Profiles\\Current", key);
        return r;
    case kHKCR: {
        // Windows shows the user's class where there is one and the machine's otherwise, and
        // acts on the one it shows.
        r.key = Joined(L"Software\\Classes", key);
        const bool users = Service<clsSearch>().KeyStatus(kHKCU, r.key, KEY_READ) == ERROR_SUCCESS;
        r.root = users ? kHKCU : kHKLM;
        return r;
    }
    case kHKU: {
        if (key.empty()) return Refused(L"ist ein ganzer Zweig der Registry");
        const std::wstring first = ToLower(key.substr(0, key.find(L'\\')));
        const std::wstring own = ToLower(OwnSid());
        if (!own.empty() && first == own) {
            r.root = kHKCU;
            r.key = AfterFirst(key);
        } else if (!own.empty() && first == own + L"_classes") {
            r.root = kHKCU;
            r.key = Joined(L"Software\\Classes", AfterFirst(key));
        } else {
            return Refused(L"gehört zu einem anderen Benutzer oder zum Systemkonto und wird nicht geändert");
        }
        if (r.key.empty()) return Refused(L"ist ein ganzer Zweig der Registry");
        return r;
    }
    default:
        return Refused(L"liegt in einem Zweig der Registry, den Torvane nicht ändert");
    }
}

std::wstring WhyOutsideAreas(const std::wstring& kind, Touch touch, RootKey root, const std::wstring& key,
                             const std::wstring& value) {
    static const wchar_t kOutside[] = L"liegt außerhalb der Bereiche, die Torvane ändert";
    const std::wstring lower = ToLower(key);
    for (const auto& [extraRoot, extraKey] : ExtraAreas()) {
        const std::wstring k = ToLower(extraKey);
        if (extraRoot == root && (lower == k || StartsWith(lower, k + L"\\"))) return L"";
    }
    const auto it = std::find_if(std::begin(kKinds), std::end(kKinds), [&](const auto& k) { return kind == k.name; });
    if (it == std::end(kKinds) || lower.empty()) return kOutside;
    const std::vector<std::wstring> parts = Parts(OneView(lower));
    for (const Area& a : kAreas)
        if ((a.kinds & it->kinds) && Inside(a, touch, root, parts, value)) return L"";
    return kOutside;
}

const std::wstring& OwnSid() {
    static const std::wstring sid = [] {
        std::wstring text;
        UniqueHandle<HANDLE, close_with::CloseHandleFn> token;
        HANDLE t = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &t)) return text;
        token.reset(t);
        DWORD size = 0;
        GetTokenInformation(t, TokenUser, nullptr, 0, &size);
        std::vector<unsigned char> buffer(size);
        LPWSTR s = nullptr;
        if (size && GetTokenInformation(t, TokenUser, buffer.data(), size, &size) &&
            ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &s)) {
            text = s;
            LocalFree(s);
        }
        return text;
    }();
    return sid;
}

std::vector<std::pair<RootKey, std::wstring>>& ExtraAreas() {
    static std::vector<std::pair<RootKey, std::wstring>> extra;
    return extra;
}
