// tools/torvane-scan.cpp
// Runs the registry scan without a window: one line per result row (the four columns separated
// by TAB, the fourth the root's name), then the rating as the scan window shows it. "/remove"
// then removes every row as the window's "&Entfernen" does; "/drives:yes" answers the drive
// questions with Yes (else No); "/json" writes one JSON document instead of the lines;
// "/noexclusions" reports the keys the user excluded, too.
// "/offline:<Windows folder>" scans an installation that is not running, from its hive files,
// read-only: each row names its hive file; "/reg:<file>" then writes a registry file that removes
// the rows on that installation once it runs, and the export of the same keys beside it.
// "/restore:<file>" writes a registry file back as the backup window does: one line (or JSON row)
// per key and value with what it would change; "/preview" writes nothing; conflicts only with "/force".
#include "core/AppEnvironment.h"
#include "core/Console.h"
#include "core/ProtocolLog.h"
#include "main/ClassHandler.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "main/modMain.h"
#include "registry/OfflineRegistry.h"
#include "backup/RestorePlan.h"
#include "registry/clsKeyFunc.h"
#include "scan/ScanEngine.h"
#include "scan/ScanReport.h"
#include <windows.h>
#include <cstdio>
#include <memory>
#include <string>

namespace {

class Answers : public ScanQuestions {
public:
    explicit Answers(bool yes) : yes_(yes) {}
    bool AskDrive(const std::wstring&, const std::wstring&) override { return yes_; }
    // The window asks this with Yes as its default button; Yes only means "do not ask again" and
    // changes no row, so the console answers as that button would.
    bool AskNetworkDrive(const std::wstring&, const std::wstring&) override { return true; }

private:
    bool yes_;
};

const wchar_t kUsage[] =
    L"Aufruf: torvane-scan [/remove] [/drives:yes] [/json] [/noexclusions]\r\n"
    L"       torvane-scan /offline:<Windows-Ordner> [/drives:yes] [/json] [/noexclusions] [/reg:<Datei>]\r\n"
    L"       torvane-scan /restore:<Datei> [/preview] [/json] [/force]";

// "/restore": the rows of the file against the registry as it is now, then (unless only a preview
// is asked for) the write-back of every row that is no conflict, or of every row with /force. Rows
// that are refused are never written; of a damaged file nothing is written without /force (exit 2).
int Restore(const std::wstring& file, bool preview, bool force, bool json, ConsoleOutput& out, ConsoleOutput& err) {
    const RestorePlan plan = PlanRestore(file);
    if (!plan.readable) {
        err.Line(L"Die Datei " + file + L" wird nicht zurückgeschrieben: " + plan.problem);
        return 2;
    }
    // Of a damaged file nothing is written unless /force says to write the readable rest.
    const bool refuse = plan.damaged && !force;
    RestoreResult result;
    const bool write = !preview && !refuse;
    if (write) result = WriteBack(plan, force ? std::vector<bool>(plan.rows.size(), true) : DefaultChoice(plan));
    if (json) {
        out.Line(RestoreJsonDocument(plan, write ? &result : nullptr));
    } else {
        for (const RestoreRow& r : plan.rows)
            out.Line(r.ChangeText() + L"\t" + r.KeyText() + L"\t" + r.ValueText() + L"\t" + r.now.value_or(L"") +
                     L"\t" + r.after.value_or(L"") + L"\t" + r.Reason());
        if (!write) {
            out.Line(L"Vorschau: nichts wurde geschrieben.");
        } else {
            out.Line(L"Geschrieben: " + std::to_wstring(result.written) + L", nicht geschrieben: " +
                     std::to_wstring(result.kept));
            if (!result.undoFile.empty()) out.Line(L"Sicherungsdatei: " + result.undoFile);
        }
    }
    if (refuse) {
        err.Line(L"Die Datei " + file + L" ist beschädigt (" + plan.damage +
                 L"); nichts wurde geschrieben. Mit /force wird der lesbare Rest geschrieben.");
        return 2;
    }
    if (preview) return 0;
    for (const std::wstring& reason : result.keptReasons) err.Line(reason);
    if (!result.verified) err.Line(result.problem);
    return result.kept == 0 && result.verified ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool remove = false, drivesYes = false, json = false, exclusions = true, preview = false, force = false;
    bool scanOnly = false;  // a switch of the scan, which /restore does not take
    std::wstring offline, regFile, restore;
    ConsoleOutput out(STD_OUTPUT_HANDLE), err(STD_ERROR_HANDLE);
    for (int i = 1; i < argc; ++i) {
        std::wstring a = ToLower(argv[i]);
        if (a.starts_with(L"/offline:") && a.size() > 9) offline = std::wstring(argv[i]).substr(9);
        else if (a.starts_with(L"/reg:") && a.size() > 5) regFile = std::wstring(argv[i]).substr(5);
        else if (a.starts_with(L"/restore:") && a.size() > 9) restore = std::wstring(argv[i]).substr(9);
        else if (a == L"/preview") preview = true;
        else if (a == L"/force") force = true;
        else if (a == L"/remove") remove = true;
        else if (a == L"/drives:yes") drivesYes = true;
        else if (a == L"/drives:no") drivesYes = false;
        else if (a == L"/json") json = true;
        else if (a == L"/noexclusions") exclusions = false;
        else {
            err.Line(kUsage);
            return 2;
        }
        if (a.starts_with(L"/offline:") || a.starts_with(L"/reg:") || a == L"/remove" || a.starts_with(L"/drives:") ||
            a == L"/noexclusions")
            scanOnly = true;
    }
    if (restore.empty() ? preview || force : scanOnly || (preview && force)) {
        err.Line(kUsage);
        return 2;
    }
    if (!offline.empty() && remove) {
        err.Line(L"Eine Installation, die nicht läuft, wird nur gelesen: /remove geht nicht mit /offline. "
                 L"Mit /reg:<Datei> entsteht eine Datei, die die Einträge auf jenem System entfernt.");
        return 2;
    }
    if (offline.empty() && !regFile.empty()) {
        err.Line(L"/reg:<Datei> gehört zu /offline:<Windows-Ordner>.");
        return 2;
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // No window ever opens here: what the window program would show goes to stderr.
    InstallServices();
    SetErrorSink(ConsoleErrorSink([&err](const std::wstring& line) { err.Line(line); }));
    PrepareAppEnvironment(false);
    if (!restore.empty()) return Restore(restore, preview, force, json, out, err);

    // Another installation: all its hives are read and checked before the scan starts.
    std::unique_ptr<OfflineRegistry> hives;
    if (!offline.empty()) {
        try {
            hives = std::make_unique<OfflineRegistry>(offline);
        } catch (...) {
            err.Line(CurrentError().description);
            return 2;
        }
        for (const std::wstring& note : hives->Notes()) err.Line(note);
    }

    Answers answers(drivesYes);
    ScanEngine engine;
    engine.SetSource(hives.get());
    engine.SetQuestions(&answers);
    engine.SetUseExclusions(exclusions);
    if (!engine.Scan()) {
        err.Line(L"Der Registry-Scan wurde abgebrochen.");
        return 1;
    }
    // The removal takes rows out of the engine: the document lists what the scan found.
    const std::vector<ResultRow> rows = engine.Rows();
    if (!json) {
        // Rows of another installation name the hive file they were read from in a fifth column.
        for (const ResultRow& r : rows)
            out.Line(r.item + L"\t" + r.name + L"\t" + r.data + L"\t" + clsKeyFunc::HiveName(r.hit.root) +
                     (hives ? L"\t" + hives->Origin(r.hit) : L""));
        out.Line(engine.RatingText());
    }
    engine.Close();
    if (hives) {
        if (json) out.Line(ScanJsonDocument(engine, rows, nullptr));
        if (regFile.empty() || rows.empty()) return 0;
        try {
            std::vector<std::wstring> kept;
            const std::wstring undo = WriteOfflineRemoval(rows, *hives, regFile, kept);
            err.Line(L"Entfernen: " + regFile + L"\r\nRückgängig: " + undo);
            for (const std::wstring& line : kept) err.Line(line);
            if (!kept.empty()) return 1;
        } catch (...) {
            err.Line(L"Die Datei " + regFile + L" konnte nicht geschrieben werden: " + CurrentError().description);
            return 1;
        }
        return 0;
    }
    if (!remove || rows.empty()) {
        if (json) out.Line(ScanJsonDocument(engine, rows, nullptr));
        return 0;
    }

    RemovalResult result = engine.ProblemeEntfernen();
    if (json) {
        out.Line(ScanJsonDocument(engine, rows, &result));
    } else {
        if (!result.undoFile.empty()) out.Line(L"Sicherungsdatei: " + result.undoFile);
        err.Line(result.report);
        if (!result.completed) err.Line(result.errorMessage);
    }
    return result.completed && result.failed == 0 ? 0 : 1;
}
