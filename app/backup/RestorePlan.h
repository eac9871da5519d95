// app/backup/RestorePlan.h
#pragma once
#include "backup/RegFileReader.h"
#include "registry/RegKey.h"
#include <optional>
#include <string>
#include <vector>

// What writing a registry file back would change in the registry as it is now, one row per key
// and value of the file, and the write-back of the rows the user chose. The backup window and
// "torvane-scan /restore" show and write the same rows.

struct RestoreRow {
    // Refused: never written, whatever is chosen (see `refused`).
    enum class Change { Create, Change, Same, Remove, Refused };
    RootKey root = 0;
    std::wstring key;               // as the file names it (a "Wow6432Node" in it names the 32-bit view)
    bool isValue = false;           // false: the key itself
    std::wstring valueName;         // isValue: "" for the default value
    Change change = Change::Same;
    // The registry holds something here that it did not hold when the file was written (the key
    // exists again, the value holds other data): not chosen unless the user says so.
    bool conflict = false;
    std::wstring conflictReason;    // German, "" without conflict
    std::optional<std::wstring> now;    // the data as the scan shows it; none when not there, and for keys
    std::optional<std::wstring> after;  // the data after the write-back; none when removed, and for keys
    int line = 0;                   // the file's line the row comes from
    RegValue value;                 // isValue and not Remove: name, type and exact bytes to write
    // Why the row is never written: the registry editor would not write it ("Zeile 12: ..."), its
    // name cannot be acted on as written, or it lies outside what Torvane changes. "" otherwise.
    std::wstring refused;

    // "wird angelegt", "wird geändert", "ist bereits so", "wird entfernt", "wird nicht geschrieben".
    std::wstring ChangeText() const;
    // "create", "change", "same", "remove", "refused".
    const wchar_t* ChangeId() const;
    // "HKEY_CURRENT_USER\Software\X"; a line of the file that names no key: "".
    std::wstring KeyText() const;
    // Why the row is not chosen by itself: the conflict or the refusal; "" for neither.
    const std::wstring& Reason() const { return conflict ? conflictReason : refused; }
    // "@" for the default value, the name otherwise, "" for a key row.
    std::wstring ValueText() const;
    // What a row is chosen as when the user says nothing: every row that changes something and
    // is no conflict.
    bool ChosenByDefault() const { return change != Change::Same && change != Change::Refused && !conflict; }
    // Whether writing the row back would do anything.
    bool Changes() const { return change != Change::Same && change != Change::Refused; }
};

struct RestorePlan {
    std::wstring file;       // the full path
    bool readable = false;   // false: nothing of the file may be written
    std::wstring problem;    // why not: "Zeile 1: ..." or the reason the file could not be read
    // The editor rejects rows or lines of the file: they are refused rows, and of the rest nothing
    // is chosen by default. `damage` is the first rejection, "Zeile 12: ...".
    bool damaged = false;
    std::wstring damage;
    std::vector<RestoreRow> rows;
    size_t Conflicts() const;
};

// Reads the file and compares it with the registry as it is now. Never raises: a file that
// cannot be read comes back with `readable` false and the problem.
RestorePlan PlanRestore(const std::wstring& path);
// The same for a file read already; `path` is what the plan names as its file.
RestorePlan PlanRestore(const RegFile& file, const std::wstring& path);

struct RestoreResult {
    size_t written = 0;          // chosen rows that now hold what the file says
    size_t kept = 0;             // rows that change something and were not written (not chosen, refused, failed)
    std::wstring undoFile;       // the "Wiederherstellung" undo file, "" when none was needed or made
    std::vector<std::wstring> keptReasons;  // one line per chosen row that was kept: place and reason
    bool verified = false;       // the registry was read back and holds every written row
    std::wstring problem;        // the first difference found when reading back, or why nothing was written
};

// Writes the chosen rows (one flag per row of the plan) through the change journal: the state
// before of every key and value they touch goes into an undo file of kind "Wiederherstellung"
// first, then each row is written, typed and exact, in the file's order, and the registry is read
// back. Rows that are "ist bereits so" need nothing and count neither as written nor as kept.
RestoreResult WriteBack(const RestorePlan& plan, const std::vector<bool>& chosen);
// The chosen flags as the rows are chosen by default: of a damaged file none.
std::vector<bool> DefaultChoice(const RestorePlan& plan);

// The plan (and the write-back's result, when there was one) as one JSON document:
// {"file", "damage", "rows": [{"root", "key", "value_name", "change", "conflict", "now", "after",
//  "line", "refused"}], "written", "kept", "undo_file"}.
std::wstring RestoreJsonDocument(const RestorePlan& plan, const RestoreResult* result);
