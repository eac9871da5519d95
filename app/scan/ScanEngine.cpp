// app/scan/ScanEngine.cpp
#include "scan/ScanEngine.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "registry/clsKeyFunc.h"
#include "journal/ChangeJournal.h"
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

ScanEngine::ScanEngine() = default;

const ScanEngine::Step& ScanEngine::StepAt(int step) { return kStepTable[std::clamp(step, 1, kSteps) - 1]; }

bool ScanEngine::Running() const { return Service<clsSearch>().ScanRun; }

void ScanEngine::Cancel() { Service<clsSearch>().StopSearch = true; }

void ScanEngine::Close() {
    clsSearch& search = Service<clsSearch>();
    search.StopSearch = true;
    search.ScanRun = false;
    Service<clsCheckKeys>().Reset();
}

void ScanEngine::AddRow(ResultRow row) {
    if (exclusions_.Excludes(row.hit.root, row.hit.key)) return;
    rows_.push_back(std::move(row));
    if (progress_) progress_->OnRowAdded(rows_.size() - 1, rows_.back());
}

size_t ScanEngine::DropExcludedRows() {
    exclusions_.Clear();
    if (useExclusions_) exclusions_.Load();
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
    clsSearch& search = Service<clsSearch>();
    clsCheckKeys& check = Service<clsCheckKeys>();
    search.ScanRun = true;
    search.StopSearch = false;
    rows_.clear();
    total_ = 0;
    percent_ = 0;
    rating_.clear();
    Trace(kWindow, L"cmdStart_Click", L"started");
    exclusions_.Clear();
    if (useExclusions_) Trap(kWindow, L"cmdStart_Click", [&] { exclusions_.Load(); });

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

RemovalResult ScanEngine::ProblemeEntfernen(const std::vector<size_t>* marked) {
    const wchar_t kProc[] = L"ProblemeEntfernen";
    RemovalResult result;
    if (busy_) {
        result.errorMessage = L"Es läuft bereits ein Registry-Scan.";
        return result;
    }
    Busy busy(busy_);
    Trace(kWindow, kProc, L"started");

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
    ChangeJournal journal(L"RegScan", kWindow, kProc);
    RuntimeError createError;
    if (!journal.CreateFile(&createError)) {
        result.errorMessage = L"Die Sicherungsdatei " + journal.UndoPath() + L" konnte nicht angelegt werden:\r\n" +
                              createError.description + L"\r\n\r\nEs wurde nichts entfernt.";
        result.report = L"Die Fehler wurden nicht entfernt, weil die Sicherungsdatei nicht angelegt werden konnte.";
        result.colour = RGB(255, 0, 0);
        for (Item& it : items) rows_.push_back(std::move(it.row));
        return result;
    }
    result.undoFile = journal.UndoPath();
    Trace(kWindow, kProc, L"Sicherungsdatei: " + result.undoFile.substr(AppEnvironment.BackupDir.size()));
    Trace(kWindow, kProc, onlyMarked ? L"Einzelne Fehler entfernen wurde aktiviert." : L"Alle Fehler entfernen wurde aktiviert.");

    // One change per chosen row; rows of one key share it.
    std::vector<RegChange> changes;
    std::vector<size_t> changeOf(items.size(), SIZE_MAX);
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].chosen) continue;
        const ScanHit& h = items[i].row.hit;
        if (Logging())
            Trace(L"modCheckKeys", kProc, items[i].row.item + L"\r\n" + items[i].row.name + L"=\"" + items[i].row.data + L"\"");
        if (!changes.empty() && changes.back().root == h.root && ToLower(changes.back().key) == ToLower(h.key)) {
            changeOf[i] = changes.size() - 1;
            continue;
        }
        changeOf[i] = changes.size();
        changes.push_back(RegChange::DeleteTree(h.root, h.key));
    }
    const JournalResult applied = journal.Apply(changes);
    for (size_t i = 0; i < items.size(); ++i) {
        const bool gone = changeOf[i] != SIZE_MAX && applied.items[changeOf[i]].done;
        if (gone)
            ++result.removed;
        else if (changeOf[i] != SIZE_MAX && applied.undoProblem == JournalResult::UndoProblem::None)
            ++result.failed;
        if (!gone) rows_.push_back(std::move(items[i].row));
    }
    if (applied.undoProblem != JournalResult::UndoProblem::None) {
        result.errorMessage = L"Die Sicherungsdatei " + result.undoFile + L" konnte nicht geschrieben werden:\r\n" +
                              applied.undoError.description + L"\r\n\r\nDer Schlüssel " +
                              changes[applied.firstUnsaved].Where() + L" und alle folgenden Einträge wurden nicht entfernt.";
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
