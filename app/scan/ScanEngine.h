// app/scan/ScanEngine.h
#pragma once
#include "files/clsFiles.h"
#include "registry/RegKey.h"
#include "registry/RegistrySource.h"
#include "registry/clsSearch.h"
#include "scan/ScanExclusions.h"
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>


// Why a row was flagged.
enum class Finding {
    MissingFile,            // the file a registration names is not there
    UnknownDrive,           // ... and its drive is unknown to Windows (the user agreed to remove)
    NetworkDrive,           // ... and it lies on a network drive that is not connected (ditto)
    EmptyKey,               // a key that holds nothing at all
    UnregisteredClass,      // a reference to a class that is registered nowhere
    UnregisteredInterface,  // ... to an interface
    UnregisteredTypeLib,    // ... to a type library
    Uninstall,              // an uninstall entry with nothing to uninstall
    TypeLibWithoutVersion,  // a type library key none of whose versions is sound any more
};
// The finding as a short German text ("Datei fehlt") and as a stable identifier ("missing_file").
const wchar_t* FindingText(Finding f);
const wchar_t* FindingId(Finding f);

// One row of the result list. The four column texts are ready for display; `hit` says which
// key the row stands for, and is what the removal exports and deletes.
struct ResultRow {
    std::wstring item;     // "Registryschlüssel": "[" + root name + "\" + key + "]"
    std::wstring name;     // "Variable": "@" or the value name in double quotes
    std::wstring data;     // "Wert"
    std::wstring rootText; // "HKey": the root handle in signed decimal
    ScanHit hit;
    Finding finding = Finding::MissingFile;
    std::wstring lookedFor;  // the file path or key that was looked for ("" for empty and uninstall keys)
};

// The questions the scan has to ask the user (unknown or network drive). The window answers with
// a Yes/No message box, the console tool from its command line.
class ScanQuestions : public DriveQuestions {
public:
    // Returns true for Yes. `text` is the complete German question; `driveRoot` e.g. "X:\".
    virtual bool AskDrive(const std::wstring& text, const std::wstring& driveRoot) = 0;
};

// Progress reports while the scan runs. All calls come on the calling (user-interface) thread,
// between steps; the default implementations do nothing. The scan pumps window messages itself
// (at most every few milliseconds), so a window timer that animates the progress bar keeps running.
class ScanProgress {
public:
    virtual ~ScanProgress() = default;
    // Reading step `step` (1..kSteps) begins; `activity` is the text for lblScanTxt, `linesRead` the
    // number of hit lines read so far (status panel 3: linesRead + " Schlüssel eingelesen").
    virtual void OnStep(int step, const std::wstring& activity, size_t linesRead) {}
    // A reading step has finished (status "Einen Moment bitte...", lblScanTxt
    // "Registrierungsschlüssel werden verarbeitet...", progress value 0).
    virtual void OnStepDone(int step, size_t linesRead) {}
    // Reading is complete; the evaluation of `total` lines begins (progress maximum = total).
    virtual void OnEvaluationBegin(size_t total) {}
    // Line `index` of `total` is being evaluated. Reported when the whole percentage changes and
    // otherwise at most every few milliseconds, always for the last line.
    virtual void OnEvaluate(size_t index, size_t total, int percent) {}
    // A result row was appended (rows()[index]).
    virtual void OnRowAdded(size_t index, const ResultRow& row) {}
};

// Outcome of a removal.
struct RemovalResult {
    bool completed = false;   // false: stopped because the undo file could not be created or written
    std::wstring undoFile;    // full path of the undo file ("" when it could not be created)
    size_t removed = 0;       // rows whose key is gone
    size_t failed = 0;        // rows whose key could not be deleted (they stay in the list)
    std::wstring report;      // text for lblScanBericht
    COLORREF colour = 0;      // its colour
    std::wstring errorMessage;  // when !completed: the message box text for the user
};

// The registry scan without any window: reads the registration areas, evaluates every line with
// clsCheckKeys, rates the result and removes the rows the user chose, writing each key into an
// undo file before it is deleted. frmRegScan and torvane-scan.exe both drive it.
class ScanEngine {
public:
    ScanEngine();

    struct Step {
        RootKey root;
        const wchar_t* key;
        const wchar_t* activity;
    };
    // The five areas of both roots, and on 64-bit Windows the 32-bit classes, interfaces and
    // uninstall entries as well, read at their place in the registry (Wow6432Node), so that an
    // undo file names them where they live and the registry editor writes them back there.
    // Type libraries and App Paths are shared by both views.
    static constexpr int kSteps = 14;
    static const Step& StepAt(int step);  // 1..kSteps

    void SetQuestions(ScanQuestions* questions) { questions_ = questions; }
    void SetProgress(ScanProgress* progress) { progress_ = progress; }
    // What the scan reads: the running system's registry (none set), or another installation's
    // hive files. The areas, checks and rules are the same; user areas are read once per user.
    void SetSource(RegistrySource* source) { source_ = source ? source : &live_; }
    RegistrySource& Source() const { return *source_; }

    // Runs a whole scan: reading, evaluation, rating. Sets clsSearch's ScanRun while it runs and
    // clears it at the end. Returns false when it was cancelled: cancelled while reading leaves no
    // rows; cancelled while evaluating keeps the rows found so far (no rating then).
    // A call while a scan or removal of this engine runs returns false at once.
    bool Scan();
    // Asks a running scan to stop at its next check (clsSearch's StopSearch).
    void Cancel();
    // Ends a scan and forgets the drive answers (ScanClose): StopSearch true, ScanRun false.
    void Close();
    bool Running() const;

    const std::vector<ResultRow>& Rows() const { return rows_; }
    size_t Total() const { return total_; }      // T: lines read
    size_t Errors() const { return rows_.size(); }  // E
    double Percent() const { return percent_; }  // P, rounded to two decimals
    // lblScanBericht after a scan: the rating plus " (" E " von " T " Einträgen = " P "%)".
    const std::wstring& RatingText() const { return rating_; }
    // Navy (0x800000) after a scan.
    COLORREF RatingColour() const { return RGB(0, 0, 128); }
    // The rating sentence alone for P, E (testable without a scan).
    static std::wstring Rating(double percent, size_t errors);
    // The whole lblScanBericht text for E and T, P computed and rounded here.
    static std::wstring RatingReport(size_t errors, size_t total, double* percentOut = nullptr);

    // Removes all rows (marked == nullptr) or only the rows whose indices into Rows() are listed.
    // Rows are processed in ascending order of their key column; each row's key is written with
    // its whole subtree to the undo file and flushed before it is deleted. Rows that were removed
    // leave Rows(); rows that failed or were not reached stay (in that sorted order).
    RemovalResult ProblemeEntfernen(const std::vector<size_t>* marked = nullptr);

    // Whether a scan leaves out the user's excluded keys (on unless switched off).
    void SetUseExclusions(bool on) { useExclusions_ = on; }
    // Reads the exclusions anew and drops every row at or below an excluded key; returns how many went.
    size_t DropExcludedRows();

    // Used by clsCheckKeys to append rows. A row at or below an excluded key is not taken.
    void AddRow(ResultRow row);
    ScanQuestions* Questions() const { return questions_; }

private:
    ScanQuestions* questions_ = nullptr;
    ScanProgress* progress_ = nullptr;
    LiveRegistry live_;
    RegistrySource* source_ = &live_;
    std::vector<ResultRow> rows_;
    size_t total_ = 0;
    double percent_ = 0;
    std::wstring rating_;
    bool busy_ = false;  // a scan or removal is running (they pump messages)
    bool useExclusions_ = true;
    ScanExclusions exclusions_;  // read at the start of each scan
};
