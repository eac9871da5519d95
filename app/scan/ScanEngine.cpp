// app/scan/ScanEngine.cpp
#include "scan/ScanEngine.h"
#include "core/AppEnvironment.h"
#include "core/ClassHandler.h"
#include "core/DoEvents.h"
#include "core/Trap.h"
#include "registry/clsKeyFunc.h"
#include "scan/UndoFile.h"
#include "scan/clsCheckKeys.h"
#include <algorithm>
#include <cmath>
#include <cwchar>
#include <optional>

namespace {
const wchar_t kWindow[] = L"frmRegScan";

const wchar_t kClasses[] = L"ActiveX / DCOM-Controls werden eingelesen...";
const wchar_t kInterfaces[] = L"ActiveX Interfaces werden eingelesen...";
const wchar_t kTypeLibs[] = L"Typen-Bibliotheken werden eingelesen...";
const wchar_t kPrograms[] = L"Installierte Programme werden eingelesen...";
const ScanEngine::Step kStepTable[ScanEngine::kSteps] = {
    {kHKCU, L"Software\\Classes\\CLSID", kClasses},
    {kHKLM, L"Software\\Classes\\CLSID", kClasses},
    {kHKCU, L"Software\\Classes\\Wow6432Node\\CLSID", kClasses},
    {kHKLM, L"Software\\Classes\\Wow6432Node\\CLSID", kClasses},
    {kHKCU, L"Software\\Classes\\Interface", kInterfaces},
    {kHKLM, L"Software\\Classes\\Interface", kInterfaces},
    {kHKCU, L"Software\\Classes\\Wow6432Node\\Interface", kInterfaces},
    {kHKLM, L"Software\\Classes\\Wow6432Node\\Interface", kInterfaces},
    {kHKCU, L"Software\\Classes\\TypeLib", kTypeLibs},
    {kHKLM, L"Software\\Classes\\TypeLib", kTypeLibs},
    {kHKLM, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths", kPrograms},
    {kHKLM, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", kPrograms},
    {kHKLM, L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall", kPrograms},
    {kHKCU, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", kPrograms},
};

// P as the report shows it: up to two decimals, German decimal comma, no trailing zeros.
std::wstring PercentText(double p) {
    wchar_t buf[64];
    swprintf(buf, 64, L"%.2f", p);
    std::wstring s = buf;
    while (!s.empty() && s.back() == L'0') s.pop_back();
    if (!s.empty() && s.back() == L'.') s.pop_back();
    std::replace(s.begin(), s.end(), L'.', L',');
    return s;
}

struct Busy {
    bool& flag;
    explicit Busy(bool& f) : flag(f) { flag = true; }
    ~Busy() { flag = false; }
};

void Two(std::wstring& out, unsigned v) {
    out += static_cast<wchar_t>(L'0' + v / 10 % 10);
    out += static_cast<wchar_t>(L'0' + v % 10);
}

std::wstring Count(size_t n, const wchar_t* one, const wchar_t* many) {
    return std::to_wstring(n) + (n == 1 ? one : many);
}
}  // namespace

namespace {
struct FindingName {
    const wchar_t* id;
    const wchar_t* text;
};
// In the order of the enumeration.
constexpr FindingName kFindings[] = {
    {L"missing_file", L"Datei fehlt"},
    {L"unknown_drive", L"Laufwerk unbekannt"},
    {L"network_drive", L"Netzlaufwerk nicht verbunden"},
    {L"empty_key", L"Leerer Schlüssel"},
    {L"unregistered_class", L"Klasse nicht registriert"},
    {L"unregistered_interface", L"Interface nicht registriert"},
    {L"unregistered_typelib", L"Typbibliothek nicht registriert"},
    {L"uninstall_entry", L"Deinstallationseintrag ohne Programm"},
    {L"typelib_without_version", L"Typbibliothek ohne gültige Version"},
};
static_assert(std::size(kFindings) == static_cast<size_t>(Finding::TypeLibWithoutVersion) + 1);
}  // namespace

const wchar_t* FindingText(Finding f) { return kFindings[static_cast<size_t>(f)].text; }
const wchar_t* FindingId(Finding f) { return kFindings[static_cast<size_t>(f)].id; }

ScanEngine::ScanEngine(clsClassHandler& handler) : handler_(handler) {}

const ScanEngine::Step& ScanEngine::StepAt(int step) { return kStepTable[std::clamp(step, 1, kSteps) - 1]; }

bool ScanEngine::Running() const { return handler_.Search().ScanRun; }

void ScanEngine::Cancel() { handler_.Search().StopSearch = true; }

void ScanEngine::Close() {
    clsSearch& search = handler_.Search();
    search.StopSearch = true;
    search.ScanRun = false;
    handler_.CheckKeys().Reset();
}

void ScanEngine::AddRow(ResultRow row) {
    if (exclusions_.Excludes(row.hit.root, row.hit.key)) return;
    rows_.push_back(std::move(row));
    if (progress_) progress_->OnRowAdded(rows_.size() - 1, rows_.back());
}

size_t ScanEngine::DropExcludedRows() {
    exclusions_.Clear();
    if (useExclusions_) exclusions_.Load(handler_);
    const size_t before = rows_.size();
    std::erase_if(rows_, [&](const ResultRow& r) { return exclusions_.Excludes(r.hit.root, r.hit.key); });
    return before - rows_.size();
}

std::wstring ScanEngine::Rating(double p, size_t errors) {
    if (p == 0) return errors == 0 ? L"Hervorragend, keine Fehler gefunden." : L"Nur vereinzelt Fehler gefunden.";
    if (p < 1) return L"Nur wenige Fehler gefunden.";
    if (p < 3) return L"Einige Fehler gefunden.";
    if (p < 5) return L"Viele Fehler gefunden.";
    return L"Sehr viele Fehler gefunden.";  // 5.00 % included
}

std::wstring ScanEngine::RatingReport(size_t errors, size_t total, double* percentOut) {
    double p = 0;
    if (total == 0) {
        // Nothing read: there is no percentage to compute.
        ReportError(kWindow, L"cmdStart_Click", RuntimeError{11, L"Division durch Null"});
    } else {
        // Two decimals, halves to even.
        p = std::nearbyint(static_cast<double>(errors) * 10000.0 / static_cast<double>(total)) / 100.0;
    }
    if (percentOut) *percentOut = p;
    return Rating(p, errors) + L" (" + std::to_wstring(errors) + L" von " + std::to_wstring(total) +
           L" Einträgen = " + PercentText(p) + L"%)";
}

bool ScanEngine::Scan() {
    // The scan pumps messages: a second start from a window must not run inside the first.
    if (busy_) return false;
    Busy busy(busy_);
    clsSearch& search = handler_.Search();
    clsCheckKeys& check = handler_.CheckKeys();
    search.ScanRun = true;
    search.StopSearch = false;
    rows_.clear();
    total_ = 0;
    percent_ = 0;
    rating_.clear();
    Trace(kWindow, L"cmdStart_Click", L"started");
    exclusions_.Clear();
    if (useExclusions_) Trap(kWindow, L"cmdStart_Click", [&] { exclusions_.Load(handler_); });

    // Drive answers hold for one scan.
    check.Reset();
    check.SetQuestions(questions_);
    check.SetSource(source_);
    check.SetRowSink([this](ResultRow&& r) { AddRow(std::move(r)); });

    std::vector<ScanHit> hits(1);
    for (int n = 1; n <= kSteps; ++n) {
        const Step& step = StepAt(n);
        Trace(kWindow, L"cmdStart_Click", L"Schritt " + std::to_wstring(n) + L" begonnen");
        if (progress_) progress_->OnStep(n, step.activity, hits.size() - 1);
        DoEvents();
        Trace(kWindow, L"cmdStart_Click", L"einlesen beginnt");
        const uint16_t users = step.root == kHKCU ? source_->Users() : 1;
        for (uint16_t user = 0; user < users && !search.StopSearch; ++user)
            source_->ReadTree(step.root, step.key, user, hits, search.StopSearch);
        if (search.StopSearch) {
            Trace(kWindow, L"cmdStart_Click", L"Scan abgebrochen");
            search.ScanRun = false;
            return false;
        }
        if (progress_) progress_->OnStepDone(n, hits.size() - 1);
        DoEventsIfDue();
        Trace(kWindow, L"cmdStart_Click", L"einlesen beendet");
    }

    total_ = hits.size() - 1;
    if (Logging()) Trace(kWindow, L"cmdStart_Click", std::to_wstring(total_) + L" zu prüfende Keys");
    if (progress_) progress_->OnEvaluationBegin(total_);
    Trace(kWindow, L"cmdStart_Click", L"Key-Auswertung beginnt");

    int lastPercent = -1;
    ULONGLONG lastReport = 0;
    bool reoffered = false;
    for (size_t i = 1; i <= total_;) {
        if (search.StopSearch) {
            Trace(kWindow, L"cmdStart_Click", L"Der Scan wurde abgebrochen");
            search.ScanRun = false;
            return false;
        }
        if (progress_) {
            const int percent = static_cast<int>(std::lround(static_cast<double>(i) * 100.0 / total_));
            const ULONGLONG now = GetTickCount64();
            if (percent != lastPercent || now - lastReport >= 30 || i == total_) {
                progress_->OnEvaluate(i, total_, percent);
                lastPercent = percent;
                lastReport = now;
            }
        }
        const ScanHit& hit = hits[i];
        check.CheckReg(hit);
        check.CheckQuerVerbindung(hit);
        // A line that closed the previous group is offered once more to open the next one.
        if (check.NotNext) {
            check.NotNext = false;
            if (!reoffered) {
                reoffered = true;
                continue;
            }
        }
        reoffered = false;
        ++i;
        DoEventsIfDue();
    }
    check.FinishGroup();
    Trace(kWindow, L"cmdStart_Click", L"Key-Auswertung beendet");
    if (Logging())
        Trace(kWindow, L"cmdStart_Click",
              std::to_wstring(rows_.size()) + L" Fehler in " + std::to_wstring(total_) + L" Keys gefunden; ");
    rating_ = RatingReport(rows_.size(), total_, &percent_);
    Trace(kWindow, L"cmdStart_Click", L"Bericht ausgegeben");
    search.ScanRun = false;
    return true;
}

std::wstring ScanEngine::UndoFileIntro(const SYSTEMTIME& when) {
    wchar_t date[128] = L"";
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &when, L"dddd, dd. MMM yyyy", date, 128, nullptr);
    std::wstring time;
    Two(time, when.wHour);
    time += L':';
    Two(time, when.wMinute);
    time += L':';
    Two(time, when.wSecond);
    const AppEnvironmentRecord& env = AppEnvironment;
    return env.UndoFileHeader + L"\r\n" +
           L"; Die nachfolgenden  Registryschlüssel wurden von " + env.AppTitle + L" Version " + env.AppVersion +
           L"\r\n"
           L"; als falsch erkannt und entfernt.\r\n"
           L"; Mit einem Doppelklick im Windows-Explorer auf diese Datei, werden die hier\r\n"
           L"; gesicherten Registryschlüssel wieder in die Registrierungs-Datenbank eingetragen.\r\n"
           L"\r\n\r\n"
           L"; erstellt am: " + date + L" - " + time + L"\r\n" +
           L"; erstellt von: " + env.UserName + L" Computername: " + env.ComputerName + L"\r\n" +
           L"; Betriebssystem: " + env.OSName + L"\r\n" +
           L"\r\r\n";
}

RemovalResult ScanEngine::ProblemeEntfernen(const std::vector<size_t>* marked) {
    const wchar_t kProc[] = L"ProblemeEntfernen";
    RemovalResult result;
    if (busy_) {
        result.errorMessage = L"Es läuft bereits ein Registry-Scan.";
        return result;
    }
    Busy busy(busy_);
    Trace(kWindow, kProc, L"started");

    SYSTEMTIME now;
    GetLocalTime(&now);
    std::wstring stamp;
    Two(stamp, now.wDay);
    Two(stamp, now.wMonth);
    stamp += std::to_wstring(now.wYear);
    stamp += L'_';
    Two(stamp, now.wHour);
    Two(stamp, now.wMinute);
    Two(stamp, now.wSecond);
    const std::wstring fileName = L"Rückgängig_RegScan_" + stamp + L".reg";
    Trace(kWindow, kProc, L"Sicherungsdatei: " + fileName);

    // The list is worked through in the order of its key column, ascending.
    struct Item {
        ResultRow row;
        bool chosen;
    };
    std::vector<Item> items;
    items.reserve(rows_.size());
    std::vector<bool> chosen(rows_.size(), marked == nullptr);
    if (marked)
        for (size_t i : *marked)
            if (i < chosen.size()) chosen[i] = true;
    for (size_t i = 0; i < rows_.size(); ++i) items.push_back({std::move(rows_[i]), chosen[i]});
    rows_.clear();
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.row.item.c_str(), -1, b.row.item.c_str(), -1) ==
               CSTR_LESS_THAN;
    });

    const bool onlyMarked = marked != nullptr;
    auto keepAll = [&](size_t from) {
        for (size_t i = from; i < items.size(); ++i) rows_.push_back(std::move(items[i].row));
    };
    const std::wstring path = AppEnvironment.BackupDir + fileName;
    std::optional<UndoFile> undo;
    const bool folderThere = GetFileAttributesW(AppEnvironment.BackupDir.c_str()) != INVALID_FILE_ATTRIBUTES;
    try {
        undo.emplace(path, UndoFileIntro(now));
        if (!folderThere)
            ReportError(kWindow, kProc, RuntimeError{Err::PathNotFound, ErrorDescription(Err::PathNotFound)}, 48, false,
                        L"Ordner " + AppEnvironment.BackupDir + L" musste angelegt werden");
    } catch (...) {
        RuntimeError e = CurrentError();
        ReportError(kWindow, kProc, e, 48, false, path);
        result.errorMessage = L"Die Sicherungsdatei " + path + L" konnte nicht angelegt werden:\r\n" + e.description +
                              L"\r\n\r\nEs wurde nichts entfernt.";
        result.report = L"Die Fehler wurden nicht entfernt, weil die Sicherungsdatei nicht angelegt werden konnte.";
        result.colour = RGB(255, 0, 0);
        keepAll(0);
        return result;
    }
    result.undoFile = path;
    Trace(kWindow, kProc, onlyMarked ? L"Einzelne Fehler entfernen wurde aktiviert." : L"Alle Fehler entfernen wurde aktiviert.");

    clsSearch& search = handler_.Search();
    clsKeyFunc& keys = handler_.KeyFunc();
    // The keys are saved in batches: the exports of several rows reach the file with one write and
    // one flush, and only then are those rows' keys deleted, in the order of the list.
    constexpr size_t kBatchKeys = 64, kBatchChars = size_t{1} << 20;
    std::vector<bool> gone(items.size(), false);
    std::vector<size_t> waiting;  // chosen rows whose key is saved (or held), not yet deleted
    auto where = [](const ScanHit& h) { return clsKeyFunc::HiveName(h.root) + L"\\" + h.key; };
    std::optional<size_t> stoppedAt;  // the first row not removed because the file could not be written
    RuntimeError writeError;
    // Writes what was collected, then deletes the keys that waited for it. False when writing failed.
    auto save = [&] {
        try {
            undo->Flush();
        } catch (...) {
            writeError = CurrentError();
            stoppedAt = waiting.empty() ? items.size() : waiting.front();
            waiting.clear();
            return false;
        }
        for (size_t j : waiting) {
            const ScanHit& h = items[j].row.hit;
            if (keys.DelKeyTree(h.root, h.key)) {
                gone[j] = true;
                ++result.removed;
            } else {
                ReportError(kWindow, kProc, RuntimeError{Err::PermissionDenied, ErrorDescription(Err::PermissionDenied)},
                            48, false, where(h) + L" konnte nicht gelöscht werden");
                ++result.failed;
            }
            DoEventsIfDue();
        }
        waiting.clear();
        return true;
    };
    for (size_t i = 0; i < items.size() && !stoppedAt; ++i) {
        Item& it = items[i];
        if (!it.chosen) continue;
        const ScanHit& h = it.row.hit;
        if (Logging())
            Trace(L"modCheckKeys", kProc, it.row.item + L"\r\n" + it.row.name + L"=\"" + it.row.data + L"\"");
        if (h.key.empty()) {  // never a whole root
            ++result.failed;
            continue;
        }
        if (!undo->Holds(h.root, h.key)) {
            // A key above one that waits would be saved with it: its rows go first, as in the list.
            if (undo->Collected() && undo->HoldsBelow(h.root, h.key) && !save()) break;
            const LSTATUS status = search.KeyStatus(h.root, h.key, KEY_READ);
            if (status == ERROR_FILE_NOT_FOUND) {  // gone already: nothing to save, nothing to delete
                gone[i] = true;
                ++result.removed;
                continue;
            }
            if (status != ERROR_SUCCESS) {
                // What cannot be read cannot be saved, so it is not deleted.
                ReportError(kWindow, kProc, RuntimeError{Err::PermissionDenied, ErrorDescription(Err::PermissionDenied)},
                            48, false, where(h) + L" konnte nicht gesichert werden und bleibt erhalten");
                ++result.failed;
                continue;
            }
            try {
                undo->CollectKey(h.root, h.key);
            } catch (...) {
                // Nothing is deleted that is not saved: what was saved goes, this and the later rows stay.
                RuntimeError e = CurrentError();
                if (save()) {
                    writeError = e;
                    stoppedAt = i;
                }
                break;
            }
        }
        waiting.push_back(i);
        if ((undo->Collected() >= kBatchKeys || undo->CollectedChars() >= kBatchChars) && !save()) break;
        DoEventsIfDue();
    }
    if (!stoppedAt) save();
    for (size_t i = 0; i < items.size(); ++i)
        if (!gone[i]) rows_.push_back(std::move(items[i].row));
    if (stoppedAt) {
        ReportError(kWindow, kProc, writeError, 48, false, path);
        const std::wstring key = *stoppedAt < items.size() ? where(items[*stoppedAt].row.hit) : std::wstring();
        result.errorMessage = L"Die Sicherungsdatei " + path + L" konnte nicht geschrieben werden:\r\n" +
                              writeError.description + L"\r\n\r\nDer Schlüssel " + key +
                              L" und alle folgenden Einträge wurden nicht entfernt.";
        result.report = L"Das Entfernen wurde abgebrochen, weil die Sicherungsdatei nicht geschrieben werden "
                        L"konnte. " + Count(result.removed, L" Eintrag wurde", L" Einträge wurden") +
                        L" entfernt und gesichert.";
        result.colour = RGB(255, 0, 0);
        Trace(kWindow, kProc, L"endet");
        return result;
    }

    result.completed = true;
    const std::wstring which = onlyMarked ? L"markierten" : L"erkannten";
    if (result.failed == 0) {
        result.report = L"Die " + which + L" Fehler wurden erfolgreich entfernt und gesichert.";
        result.colour = onlyMarked ? RGB(0, 0, 128) : RGB(0, 128, 0);
    } else {
        result.report = L"Die " + which + L" Fehler wurden entfernt und gesichert. " +
                        Count(result.failed, L" Eintrag konnte", L" Einträge konnten") + L" nicht entfernt werden.";
        result.colour = RGB(255, 0, 0);
    }
    Trace(kWindow, kProc, L"endet");
    return result;
}
