// app/programs/InstalledPrograms.cpp
#include "programs/InstalledPrograms.h"
#include "core/AppEnvironment.h"
#include "core/CommandLine.h"
#include "core/Text.h"
#include "registry/ValueText.h"
#include "registry/clsSearch.h"
#include "scan/clsCheckKeys.h"
#include <algorithm>
#include <map>

const wchar_t* const kUninstallKeys[2] = {
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
};

namespace {

std::wstring Upper(std::wstring s) {
    if (!s.empty()) CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

bool IsGuid(const std::wstring& s) {
    if (s.size() != 38 || s.front() != L'{' || s.back() != L'}') return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? s[i] != L'-' : !iswxdigit(s[i])) return false;
    }
    return true;
}

// A number stored as DWORD, or as text by sloppy installers.
long NumberOf(const ScanHit& h) {
    if ((h.type == REG_DWORD || h.type == REG_QWORD) && h.raw.size() >= 4)
        return static_cast<long>(h.raw[0] | (h.raw[1] << 8) | (h.raw[2] << 16) | (static_cast<unsigned>(h.raw[3]) << 24));
    if (h.type == REG_SZ || h.type == REG_EXPAND_SZ) return wcstol(h.data.c_str(), nullptr, 10);
    return 0;
}

bool UpdateReleaseType(const std::wstring& releaseType) {
    const std::wstring t = ToLower(releaseType);
    for (const wchar_t* word : {L"update", L"hotfix", L"service pack"})
        if (t.find(word) != std::wstring::npos) return true;
    return false;
}


std::wstring SystemFolder() {
    if (!AppEnvironment.SysDir.empty()) return WithBackslash(AppEnvironment.SysDir);
    wchar_t buf[MAX_PATH] = L"";
    GetSystemDirectoryW(buf, MAX_PATH);
    return WithBackslash(buf);
}

bool FileNameIs(const std::wstring& path, const wchar_t* name) {
    std::wstring file = ToLower(path.substr(path.find_last_of(L"\\/") + 1));
    return file == name || file + L".exe" == name;
}
}  // namespace

bool InstalledProgram::Wow32() const { return ToLower(key).find(L"\\wow6432node\\") != std::wstring::npos; }

std::wstring InstalledProgram::ProductCode() const {
    const std::wstring last = key.substr(key.find_last_of(L'\\') + 1);
    if (IsGuid(last)) return Upper(last);
    if (!windowsInstaller) return L"";
    // "MsiExec.exe /X{...}" names the product where the key does not.
    for (size_t open = uninstallString.find(L'{'); open != std::wstring::npos; open = uninstallString.find(L'{', open + 1)) {
        const std::wstring code = uninstallString.substr(open, 38);
        if (IsGuid(code)) return Upper(code);
    }
    return L"";
}

std::vector<InstalledProgram> ReadInstalledPrograms(clsSearch& search, size_t* hits) {
    std::vector<InstalledProgram> programs;
    if (hits) *hits = 0;
    for (RootKey root : {kHKCU, kHKLM}) {
        for (const wchar_t* base : kUninstallKeys) {
            SearchQuery query;
            query.Root = root;
            query.KeyPath = base;
            query.CompareMode = 1;
            query.Recurse = true;
            query.MatchKeyName = query.MatchValueName = query.MatchValueData = true;
            std::vector<ScanHit> found;
            search.FindString(query, found);
            if (hits) *hits += found.size() - 1;
            const std::wstring prefix = std::wstring(base) + L"\\";
            // The walk hands out a key's values together; a map keeps them by key all the same.
            std::map<std::wstring, InstalledProgram> byKey;
            for (size_t i = 1; i < found.size(); ++i) {
                const ScanHit& h = found[i];
                if (h.key.size() <= prefix.size() || _wcsnicmp(h.key.c_str(), prefix.c_str(), prefix.size()) != 0) continue;
                if (h.key.find(L'\\', prefix.size()) != std::wstring::npos) continue;  // deeper keys are the entry's own data
                InstalledProgram& p = byKey[h.key];
                p.root = root;
                p.key = h.key;
                const std::wstring name = ToLower(h.name);
                if (name == L"displayname" && IsTextType(h.type)) {
                    p.displayName = h.data;
                    p.hasDisplayName = !Trim(h.data).empty();
                } else if (name == L"uninstallstring" && IsTextType(h.type)) {
                    p.uninstallString = h.data;
                    p.uninstallType = h.type;
                } else if (name == L"windowsinstaller") {
                    p.windowsInstaller = NumberOf(h) == 1;
                } else if (name == L"systemcomponent") {
                    p.systemComponent = NumberOf(h) == 1;
                } else if (name == L"parentkeyname") {
                    if (!Trim(h.data).empty()) p.update = true;
                } else if (name == L"releasetype") {
                    if (UpdateReleaseType(h.data)) p.update = true;
                }
            }
            for (auto& [k, p] : byKey) programs.push_back(std::move(p));
        }
    }
    // As the sorted hit lines order them: the root in signed decimal, then the key path.
    std::stable_sort(programs.begin(), programs.end(), [](const InstalledProgram& a, const InstalledProgram& b) {
        const std::wstring ra = std::to_wstring(a.root), rb = std::to_wstring(b.root);
        if (ra != rb) return ra < rb;
        return a.KeyText() < b.KeyText();
    });
    return programs;
}

std::function<bool(const std::wstring&)>& ProductInstalled() {
    static std::function<bool(const std::wstring&)> query = [](const std::wstring& code) {
        using QueryState = int(WINAPI*)(const wchar_t*);
        static HMODULE msi = LoadLibraryW(L"msi.dll");
        auto query = msi ? reinterpret_cast<QueryState>(GetProcAddress(msi, "MsiQueryProductStateW")) : nullptr;
        // Without the Windows Installer nothing can be said: the entry counts as installed.
        if (!query) return true;
        const int state = query(code.c_str());
        return state != -1 && state != -2;  // INSTALLSTATE_UNKNOWN, INSTALLSTATE_INVALIDARG
    };
    return query;
}

std::wstring FindInEitherView(const std::wstring& program, bool wow32First) {
    auto native = [&] { return FindProgramFile(program); };
    auto view32 = [&]() -> std::wstring {
        if (program.find(L'\\') == std::wstring::npos) return L"";
        std::vector<std::wstring> names{program};
        if (program.find(L'.', program.find_last_of(L'\\')) == std::wstring::npos) names.push_back(program + L".exe");
        for (const std::wstring& name : names) {
            std::wstring lookedFor;
            if (clsCheckKeys::FileThere(name, true, lookedFor) && IsFile(lookedFor)) return lookedFor;
        }
        return L"";
    };
    std::wstring found = wow32First ? view32() : native();
    if (found.empty()) found = wow32First ? native() : view32();
    return found;
}

UninstallCall PlanUninstall(const InstalledProgram& program) {
    UninstallCall call;
    std::wstring stored = Trim(program.uninstallString);
    if (program.uninstallType == REG_EXPAND_SZ) stored = Trim(ExpandedEnvironment(stored));
    const bool wow32 = program.Wow32();
    auto exists = [&](const std::wstring& candidate) { return !FindInEitherView(candidate, wow32).empty(); };
    const SplitCommand parts = SplitCommandLine(stored, exists);
    const std::wstring code = program.ProductCode();
    const bool msi = !code.empty() && (program.windowsInstaller || (!stored.empty() && FileNameIs(parts.program, L"msiexec.exe")));
    if (msi) {
        call.kind = UninstallCall::Kind::WindowsInstaller;
        call.programFile = SystemFolder() + L"msiexec.exe";
        call.commandLine = QuotedCommandLine(call.programFile, L"/x" + code);
        call.missing = !ProductInstalled()(code);
        return call;
    }
    if (stored.empty() || parts.program.empty()) return call;
    call.kind = UninstallCall::Kind::Program;
    const std::wstring found = FindInEitherView(parts.program, wow32);
    call.missing = found.empty();
    call.programFile = found.empty() ? parts.program : found;
    call.commandLine = QuotedCommandLine(call.programFile, parts.arguments);
    return call;
}
