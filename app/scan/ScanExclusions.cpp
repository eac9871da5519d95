// app/scan/ScanExclusions.cpp
#include "scan/ScanExclusions.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"

namespace {
const wchar_t kModule[] = L"ScanExclusions";

std::wstring SectionPath() { return L"Software\\" + AppEnvironment.AppTitle + L"\\" + ScanExclusions::kSection; }
}  // namespace

const wchar_t* const ScanExclusions::kSection = L"Ausnahmen";

bool ScanExclusions::Parse(const std::wstring& text, RootKey& root, std::wstring& key) {
    if (text.size() < 3 || text.front() != L'[' || text.back() != L']') return false;
    const std::wstring inner = text.substr(1, text.size() - 2);
    const size_t slash = inner.find(L'\\');
    if (slash == std::wstring::npos) return false;
    const std::wstring rootName = inner.substr(0, slash);
    std::wstring path = inner.substr(slash + 1);
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    // A whole root is never excluded: that would silence the scan altogether.
    if (path.empty() || path.front() == L'\\') return false;
    for (RootKey r : {kHKCR, kHKCU, kHKLM, kHKU, kHKCC}) {
        if (lstrcmpiW(clsKeyFunc::HiveName(r).c_str(), rootName.c_str()) == 0) {
            root = r;
            key = std::move(path);
            return true;
        }
    }
    return false;
}

void ScanExclusions::Load() {
    entries_.clear();
    clsKeyFunc& keys = Service<clsKeyFunc>();
    for (const std::wstring& name : Service<clsSearch>().Get_KeyValues(kHKCU, SectionPath())) {
        const std::wstring text = keys.GetSetting(kSection, name, L"");
        if (name.empty() && text.empty()) continue;  // no values at all, or an unset default value
        Entry e;
        e.valueName = name;
        e.text = text;
        std::wstring key;
        if (!Parse(text, e.root, key)) {
            ReportError(kModule, L"Load", RuntimeError{Err::InvalidProperty, ErrorDescription(Err::InvalidProperty)}, Style::Warning, false,
                        L"Ausnahme \"" + name + L"\" ist kein Registryschlüssel und wird übergangen: " + text);
            continue;
        }
        e.lowerKey = ToLower(key);
        entries_.push_back(std::move(e));
    }
    if (Logging()) Trace(kModule, L"Load", std::to_wstring(entries_.size()) + L" Ausnahmen gelesen");
}

bool ScanExclusions::Excludes(RootKey root, const std::wstring& key) const {
    if (entries_.empty()) return false;
    const std::wstring k = ToLower(key);
    for (const Entry& e : entries_) {
        if (e.root != root || k.size() < e.lowerKey.size() || k.compare(0, e.lowerKey.size(), e.lowerKey) != 0) continue;
        // "{A}" covers "{A}\x" but not "{AB}".
        if (k.size() == e.lowerKey.size() || k[e.lowerKey.size()] == L'\\') return true;
    }
    return false;
}

bool ScanExclusions::Add(const std::wstring& text) {
    RootKey root = 0;
    std::wstring key;
    if (!Parse(text, root, key)) return false;
    // Named by its own text: the same key (in any case) is stored once.
    Service<clsKeyFunc>().SaveSetting(kSection, text, text);
    return true;
}

void ScanExclusions::Remove(const std::wstring& valueName) {
    Service<clsKeyFunc>().DelKeyValue(kHKCU, SectionPath(), valueName);
}
