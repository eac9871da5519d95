// bench/scan.cpp
// Builds a synthetic registry in a private key (HKLM and HKCU redirected into it), plants broken
// registrations of every kind the checks know, and times reading, evaluation and removal against
// a plain RegEnumKeyExW/RegEnumValueW walk of the same trees. Checks that exactly the planted
// problems were found and that a second scan after the removal finds none.
// Usage: bench_scan [percent of the full size] [rounds] [/dump:folder]
// Each round times the plain walk and a whole scan back to back; the ratios are the medians of
// the rounds, so a busy machine slows both sides alike. /dump: writes the rows and the undo file
// of the planted tree to the folder (the tree then lies in a folder of a fixed name), for
// comparing two builds byte for byte.
#include "Bench.h"
#include "backup/RestorePlan.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "registry/clsKeyFunc.h"
#include "scan/ScanEngine.h"
#include <windows.h>
#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {
using Clock = double;
double Seconds(Clock a, Clock b) { return b - a; }

struct Planted {
    std::set<std::tuple<RootKey, std::wstring, std::wstring>> rows;  // root, key (lower case), name
    void Add(RootKey r, const std::wstring& key, const std::wstring& name) {
        std::wstring k = key;
        CharLowerBuffW(k.data(), static_cast<DWORD>(k.size()));
        rows.insert({r, k, name});
    }
};

HKEY g_root = nullptr;
void Sz(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    HKEY h = nullptr;
    RegCreateKeyExW(g_root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    if (name) RegSetValueExW(h, *name ? name : nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * 2));
    RegCloseKey(h);
}

std::wstring Guid(unsigned kind, unsigned n) {
    wchar_t b[64];
    swprintf(b, 64, L"{%08X-0000-4000-8000-%012X}", kind, n);
    return b;
}

const std::wstring kC = L"Software\\Classes\\CLSID\\", kI = L"Software\\Classes\\Interface\\",
                   kT = L"Software\\Classes\\TypeLib\\",
                   kA = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\",
                   kU = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Everything is planted below HKLM, which is redirected into the private key.
Planted Build(const std::wstring& good, const std::wstring& missingDir, int classes, int interfaces, int libs, int apps,
              int uninstall) {
    Planted p;
    for (int i = 0; i < libs; ++i) {
        const std::wstring k = kT + Guid(0x11, i);
        Sz(k, nullptr, L"");
        Sz(k + L"\\1.0", L"", L"Bench Library " + std::to_wstring(i));
        Sz(k + L"\\1.0\\0\\win32", L"", i % 10 == 0 ? missingDir + L"lib" + std::to_wstring(i) + L".tlb" : good);
        Sz(k + L"\\1.0\\FLAGS", L"", L"0");
        Sz(k + L"\\1.0\\HELPDIR", L"", L"");
        if (i % 10 == 0)
            for (const wchar_t* s : {L"", L"\\1.0", L"\\1.0\\0", L"\\1.0\\0\\win32", L"\\1.0\\FLAGS", L"\\1.0\\HELPDIR"})
                p.Add(kHKLM, k + s, L"");
    }
    auto soundLib = [&](int i) { return Guid(0x11, (i % (libs / 10)) * 10 + 1); };
    for (int i = 0; i < classes; ++i) {
        const std::wstring k = kC + Guid(0x22, i);
        const bool noFile = i % 10 == 0, badLib = i % 10 == 5;
        Sz(k, L"", L"Bench Class " + std::to_wstring(i));
        Sz(k + L"\\InprocServer32", L"", noFile ? L"%SystemRoot%\\bench_missing\\c" + std::to_wstring(i) + L".dll" : good);
        Sz(k + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
        Sz(k + L"\\ProgID", L"", L"Bench.Class." + std::to_wstring(i));
        Sz(k + L"\\TypeLib", L"", badLib ? Guid(0x99, i) : soundLib(i));
        if (noFile) {
            p.Add(kHKLM, k, L"");
            p.Add(kHKLM, k + L"\\InprocServer32", L"");
            p.Add(kHKLM, k + L"\\InprocServer32", L"ThreadingModel");
            p.Add(kHKLM, k + L"\\ProgID", L"");
            p.Add(kHKLM, k + L"\\TypeLib", L"");
        }
        if (badLib) p.Add(kHKLM, k + L"\\TypeLib", L"");
    }
    for (int i = 0; i < interfaces; ++i) {
        const std::wstring k = kI + Guid(0x33, i);
        Sz(k, L"", L"IBench" + std::to_wstring(i));
        Sz(k + L"\\ProxyStubClsid32", L"", Guid(0x22, i % classes));
        Sz(k + L"\\TypeLib", L"", i % 10 == 3 ? Guid(0x98, i) : soundLib(i));
        if (i % 10 == 3) p.Add(kHKLM, k + L"\\TypeLib", L"");
    }
    for (int i = 0; i < apps; ++i) {
        const std::wstring k = kA + L"bench" + std::to_wstring(i) + L".exe";
        const bool bad = i % 10 == 7;
        Sz(k, L"", bad ? L"\"" + missingDir + L"bench" + std::to_wstring(i) + L".exe\" /x" : good);
        Sz(k, L"Path", missingDir);
        if (bad) {
            p.Add(kHKLM, k, L"");
            p.Add(kHKLM, k, L"Path");
        }
    }
    for (int i = 0; i < uninstall; ++i) {
        const std::wstring k = kU + L"BenchProgram" + std::to_wstring(i);
        if (i % 20 == 9) {  // an empty key
            Sz(k, nullptr, L"");
            p.Add(kHKLM, k, L"");
            continue;
        }
        Sz(k, L"DisplayName", L"Bench Program " + std::to_wstring(i));
        if (i % 20 == 19) {  // a name and nothing to uninstall it with
            p.Add(kHKLM, k, L"DisplayName");
            continue;
        }
        Sz(k, L"UninstallString", good + L" /uninstall");
    }
    return p;
}

// The floor: every value of the same trees read with the plain enumeration calls.
size_t PlainWalk(HKEY root, const std::wstring& path) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return 0;
    size_t n = 0;
    wchar_t name[16384];
    BYTE data[4096];
    for (DWORD i = 0;; ++i) {
        DWORD nl = 16384, dl = sizeof data, type;
        if (RegEnumValueW(h, i, name, &nl, nullptr, &type, data, &dl) != ERROR_SUCCESS) break;
        ++n;
    }
    std::vector<std::wstring> subs;
    for (DWORD i = 0;; ++i) {
        DWORD nl = 256;
        if (RegEnumKeyExW(h, i, name, &nl, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subs.emplace_back(name, nl);
    }
    RegCloseKey(h);
    for (const auto& s : subs) n += PlainWalk(root, path + L"\\" + s);
    return n;
}

// Bytes in use on all heaps of the process (the C++ allocator sits on them).
size_t PrivateBytes() {
    HANDLE heaps[64];
    DWORD n = GetProcessHeaps(64, heaps);
    size_t used = 0;
    for (DWORD i = 0; i < n && i < 64; ++i) {
        PROCESS_HEAP_ENTRY e{};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) used += e.cbData + e.cbOverhead;
        HeapUnlock(heaps[i]);
    }
    return used;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The rows as lines of UTF-8 text: the four columns, the finding and the path looked for.
void DumpRows(const std::wstring& file, const std::vector<ResultRow>& rows) {
    std::wstring text;
    for (const ResultRow& r : rows)
        text += r.item + L"\t" + r.name + L"\t" + r.data + L"\t" + r.rootText + L"\t" + FindingId(r.finding) + L"\t" +
                r.lookedFor + L"\n";
    const std::string u = ToUtf8(text);
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(h, u.data(), static_cast<DWORD>(u.size()), &n, nullptr);
    CloseHandle(h);
}

struct Split : ScanProgress {
    Clock evalBegin{};
    void OnEvaluationBegin(size_t) override { evalBegin = Now(); }
};
}  // namespace

int wmain(int argc, wchar_t** argv) {
    InstallServices();
    int scale = 100, rounds = 3;
    std::wstring dump;
    for (int i = 1, n = 0; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a.rfind(L"/dump:", 0) == 0) dump = a.substr(6);
        else if (n++ == 0) scale = _wtoi(a.c_str());
        else rounds = _wtoi(a.c_str());
    }
    if (scale <= 0) scale = 100;
    if (rounds <= 0) rounds = 3;
    if (!dump.empty() && dump.back() != L'\\') dump += L'\\';
    const int classes = 20000 * scale / 100, interfaces = 5000 * scale / 100, libs = 1000 * scale / 100,
              apps = 1000 * scale / 100, uninstall = 1000 * scale / 100;

    wchar_t tmp[MAX_PATH], win[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    GetWindowsDirectoryW(win, MAX_PATH);
    const std::wstring dir = std::wstring(tmp) + L"torvane_bench_" +
                             (dump.empty() ? std::to_wstring(GetCurrentProcessId()) : std::wstring(L"dump")) + L"\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring good = dir + L"server.dll";
    HANDLE f = CreateFileW(good.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(f);
    AppEnvironment.InstallDir = dir;
    AppEnvironment.BackupDir = dir + L"Backup\\";
    AppEnvironment.WinDir = std::wstring(win) + L"\\";
    AppEnvironment.UndoFileHeader = L"Windows Registry Editor Version 5.00\r\n\r\n";
    AppSwitches = AppSwitchesRecord{};  // logging off

    // The sandbox: HKLM and HKCU of this process point into one private key.
    const std::wstring box = L"Software\\TorvaneBench\\" + std::to_wstring(GetCurrentProcessId());
    HKEY boxLm = nullptr, boxCu = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, (box + L"\\HKLM").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &boxLm, nullptr);
    RegCreateKeyExW(HKEY_CURRENT_USER, (box + L"\\HKCU").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &boxCu, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, boxLm);
    RegOverridePredefKey(HKEY_CURRENT_USER, boxCu);
    g_root = HKEY_LOCAL_MACHINE;

    Clock t0 = Now();
    Planted planted = Build(good, dir + L"missing\\", classes, interfaces, libs, apps, uninstall);
    Clock t1 = Now();
    Out(L"built: %d classes, %d interfaces, %d type libraries, %d App Paths, %d uninstall entries in %.2f s\n",
            classes, interfaces, libs, apps, uninstall, Seconds(t0, t1));

    // Rounds of floor and scan, back to back. The removal takes the last round's rows.
    ScanEngine engine;
    Split split;
    engine.SetProgress(&split);
    std::vector<double> plainTimes, readTimes, evalTimes, ratios, readRatios;
    size_t plain = 0;
    for (int round = 1; round <= rounds; ++round) {
        plain = 0;
        Clock w0 = Now();
        for (int n = 1; n <= ScanEngine::kSteps; ++n) {
            const ScanEngine::Step& s = ScanEngine::StepAt(n);
            plain += PlainWalk(ToHkey(s.root), s.key);
        }
        Clock w1 = Now();
        Clock s0 = Now();
        engine.Scan();
        Clock s1 = Now();
        const double p = Seconds(w0, w1), r = Seconds(s0, split.evalBegin), e = Seconds(split.evalBegin, s1);
        plainTimes.push_back(p);
        readTimes.push_back(r);
        evalTimes.push_back(e);
        ratios.push_back((r + e) / p);
        readRatios.push_back(r / p);
        Out(L"round %d: plain walk %.3f s, scan reading %.3f s, evaluation %.3f s; reading+evaluation / plain walk = %.2f\n",
            round, p, r, e, (r + e) / p);
    }
    const double tPlain = Median(plainTimes), tRead = Median(readTimes), tEval = Median(evalTimes);
    const size_t T = engine.Total();

    // Memory per hit line: the hit list alone, read once more.
    std::vector<ScanHit> hits(1);
    const size_t m0 = PrivateBytes();
    for (int n = 1; n <= ScanEngine::kSteps; ++n) {
        SearchQuery query;
        query.KeyPath = ScanEngine::StepAt(n).key;
        query.Root = ScanEngine::StepAt(n).root;
        query.CompareMode = 1;
        query.Recurse = query.MatchKeyName = query.MatchValueName = query.MatchValueData = true;
        ClassHandler().Search().FindString(query, hits);
    }
    const size_t m1 = PrivateBytes();
    const double perLine = double(m1 - m0) / double(hits.size() - 1);
    hits.clear();
    hits.shrink_to_fit();

    // Cost of message pumping and (disabled) protocol writes at the scan's call rate.
    Clock p0 = Now();
    for (size_t i = 0; i < 2 * T; ++i) DoEventsIfDue();
    for (size_t i = 0; i < T / 10; ++i) Trace(L"frmRegScan", L"cmdStart_Click", L"x");
    Clock p1 = Now();
    const double tPump = Seconds(p0, p1);

    // Exactly the planted problems?
    std::set<std::tuple<RootKey, std::wstring, std::wstring>> found;
    for (const ResultRow& r : engine.Rows()) {
        std::wstring k = r.hit.key;
        CharLowerBuffW(k.data(), static_cast<DWORD>(k.size()));
        found.insert({r.hit.root, k, r.hit.name});
    }
    size_t missed = 0, extra = 0;
    for (const auto& x : planted.rows) missed += !found.count(x);
    for (const auto& x : found) extra += !planted.rows.count(x);

    const size_t rows = engine.Rows().size();
    if (!dump.empty()) {
        CreateDirectoryW(dump.c_str(), nullptr);
        DumpRows(dump + L"rows.txt", engine.Rows());
    }
    const std::wstring rating = engine.RatingText();
    Clock r0 = Now();
    RemovalResult removal = engine.ProblemeEntfernen();
    Clock r1 = Now();
    const double tRemove = Seconds(r0, r1);

    if (!dump.empty() && !removal.undoFile.empty()) CopyFileW(removal.undoFile.c_str(), (dump + L"undo.reg").c_str(), FALSE);

    engine.SetProgress(nullptr);
    engine.Scan();
    const size_t afterRows = engine.Rows().size();

    // The undo file written back as the backup window does it: the rows, then the write-back with
    // its own undo file; a scan afterwards finds every removed row again.
    Clock w0 = Now();
    const RestorePlan plan = PlanRestore(removal.undoFile);
    Clock w1 = Now();
    const RestoreResult back = WriteBack(plan, DefaultChoice(plan));
    Clock w2 = Now();
    engine.Scan();
    const size_t restoredRows = engine.Rows().size();

    Out(L"plain walk:      %zu values in %.3f s = %.0f values/s (median of %d rounds)\n", plain, tPlain, plain / tPlain,
        rounds);
    Out(L"scan reading:    %zu lines  in %.3f s = %.0f values/s\n", T, tRead, T / tRead);
    Out(L"scan evaluation: %zu lines  in %.3f s = %.0f values/s\n", T, tEval, T / tEval);
    Out(L"reading+evaluation / plain walk = %.2f (target <= 1.30; rounds %.2f to %.2f); reading / plain walk = %.2f\n",
        Median(ratios), *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
        Median(readRatios));
    Out(L"pumping+protocol (logging off) at the scan's call rate: %.4f s = %.2f%% of the scan (target < 10%%)\n",
            tPump, 100.0 * tPump / (tRead + tEval));
    Out(L"memory: %.0f bytes per hit line (%zu lines)\n", perLine, T);
    Out(L"removal: %zu rows, %zu keys removed, %zu failed in %.3f s = %.0f rows/s (target >= 2000, each key saved "
        L"and flushed before it is deleted); undo file %ls\n", rows,
            removal.removed, removal.failed, tRemove, rows / tRemove, removal.undoFile.c_str());
    Out(L"write-back of that undo file: %zu rows (%zu conflicts) planned in %.3f s = %.0f rows/s, %zu written, %zu kept "
        L"in %.3f s = %.0f rows/s (every key and value saved first); rows found again: %zu\n",
        plan.rows.size(), plan.Conflicts(), Seconds(w0, w1), plan.rows.size() / Seconds(w0, w1), back.written,
        back.kept, Seconds(w1, w2), back.written / Seconds(w1, w2), restoredRows);
    Out(L"rating: %ls\n", rating.c_str());
    Out(L"planted problem rows: %zu, found: %zu, missed: %zu, unexpected: %zu; rows after removal: %zu\n",
            planted.rows.size(), found.size(), missed, extra, afterRows);
    const bool ok = missed == 0 && extra == 0 && removal.completed && removal.failed == 0 && afterRows == 0 &&
                    plan.readable && back.verified && back.kept == 0 && restoredRows == rows;
    Out(L"%ls\n", ok ? L"CHECK OK" : L"CHECK FAILED");

    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(boxLm);
    RegCloseKey(boxCu);
    RegDeleteTreeW(HKEY_CURRENT_USER, box.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, box.c_str());
    return ok ? 0 : 1;
}
