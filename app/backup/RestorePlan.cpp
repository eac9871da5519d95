// app/backup/RestorePlan.cpp
#include "backup/RestorePlan.h"
#include "backup/RegFileImport.h"
#include "core/Service.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "journal/ChangeJournal.h"
#include "journal/UndoFile.h"
#include "registry/ValueText.h"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include "scan/ScanReport.h"
#include <algorithm>
#include <cstring>
#include <map>

namespace {
const wchar_t kModule[] = L"RestorePlan";

const wchar_t kKeyAgain[] = L"Schlüssel wurde seither neu angelegt";
const wchar_t kValueChanged[] = L"Wert wurde seither geändert";
const wchar_t kValueGone[] = L"Wert wurde seither entfernt";
const wchar_t kNotOurs[] = L"nicht von dieser Sicherung angelegt";

std::wstring Display(DWORD type, const void* data, size_t bytes) {
    return ValueDisplayText(type, static_cast<const BYTE*>(data), bytes);
}

RegValue ToRegValue(const RegFileValue& v) {
    RegValue r;
    r.name = v.name;
    r.type = v.type;
    r.bytes = v.bytes.size();
    r.data.assign((r.bytes + 1) / 2, L'\0');
    if (r.bytes) std::memcpy(r.data.data(), v.bytes.data(), r.bytes);
    return r;
}

bool Same(const RegValue& now, const RegFileValue& want) {
    return now.type == want.type && now.bytes == want.bytes.size() &&
           std::memcmp(now.data.data(), want.bytes.data(), now.bytes) == 0;
}

std::wstring Lower(RootKey root, const std::wstring& key, const std::wstring& name = L"\n") {
    return std::to_wstring(root) + L"\\" + ToLower(key) + L"\n" + ToLower(name);
}
}  // namespace

std::wstring RestoreRow::ChangeText() const {
    switch (change) {
    case Change::Create: return L"wird angelegt";
    case Change::Change: return L"wird geändert";
    case Change::Same: return L"ist bereits so";
    case Change::Remove: return L"wird entfernt";
    }
    return L"";
}

const wchar_t* RestoreRow::ChangeId() const {
    switch (change) {
    case Change::Create: return L"create";
    case Change::Change: return L"change";
    case Change::Same: return L"same";
    case Change::Remove: return L"remove";
    }
    return L"";
}

std::wstring RestoreRow::KeyText() const { return clsKeyFunc::HiveName(root) + (key.empty() ? L"" : L"\\" + key); }

std::wstring RestoreRow::ValueText() const {
    if (!isValue) return L"";
    return valueName.empty() ? L"@" : valueName;
}

size_t RestorePlan::Conflicts() const {
    return static_cast<size_t>(std::count_if(rows.begin(), rows.end(), [](const RestoreRow& r) { return r.conflict; }));
}

RestorePlan PlanRestore(const std::wstring& path) {
    RestorePlan plan;
    wchar_t full[MAX_PATH * 2];
    const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    plan.file = n > 0 && n < MAX_PATH * 2 ? std::wstring(full, n) : path;
    RegFile file;
    try {
        file = ReadRegFile(plan.file);
    } catch (...) {
        plan.problem = L"Die Datei ist nicht lesbar: " + CurrentError().description;
        return plan;
    }
    if (!file.Readable()) {
        plan.problem = file.problem;
        return plan;
    }
    clsKeyFunc& keys = Service<clsKeyFunc>();
    clsSearch& search = Service<clsSearch>();
    // A file may name a key or value more than once: one row each, the last word counts.
    std::map<std::wstring, size_t> seen;
    auto place = [&](const std::wstring& id, RestoreRow row) {
        auto [it, fresh] = seen.emplace(id, plan.rows.size());
        if (fresh) plan.rows.push_back(std::move(row));
        else plan.rows[it->second] = std::move(row);
    };
    for (const RegFileKey& k : file.keys) {
        const bool exists = search.KeyStatus(k.root, k.path, KEY_READ) == ERROR_SUCCESS;
        RestoreRow keyRow;
        keyRow.root = k.root;
        keyRow.key = k.path;
        keyRow.line = k.line;
        if (k.remove) {
            keyRow.change = exists ? RestoreRow::Change::Remove : RestoreRow::Change::Same;
            // Only a key the program made itself for this file's run goes without asking.
            if (exists && k.note != kNoteKeyCreated) {
                keyRow.conflict = true;
                keyRow.conflictReason = kNotOurs;
            }
            place(Lower(k.root, k.path), std::move(keyRow));
            continue;
        }
        // The run removed this key with everything below it: that it exists means it was made again.
        const bool keyAgain = exists && k.note == kNoteKeyRemoved;
        keyRow.change = exists ? RestoreRow::Change::Same : RestoreRow::Change::Create;
        if (keyAgain) {
            keyRow.conflict = true;
            keyRow.conflictReason = kKeyAgain;
        }
        // A section that repeats a key (one per saved value) adds no second key row.
        if (!seen.count(Lower(k.root, k.path))) place(Lower(k.root, k.path), keyRow);
        for (const RegFileValue& v : k.values) {
            RestoreRow row;
            row.root = k.root;
            row.key = k.path;
            row.isValue = true;
            row.valueName = v.name;
            row.line = v.line;
            RegValue now;
            const bool there = exists && keys.ReadValueRaw(k.root, k.path, v.name, now);
            if (there) row.now = Display(now.type, now.data.data(), now.bytes);
            // What the run left here, where the file says so: then that is no change since.
            const bool setByRun = StartsWith(k.note, kNoteValueSet);
            const bool asLeft = setByRun ? there && k.note.substr(wcslen(kNoteValueSet)) ==
                                                        ValueDigest(now.type, now.data.data(), now.bytes)
                                         : !there;
            if (v.remove) {
                row.change = there ? RestoreRow::Change::Remove : RestoreRow::Change::Same;
            } else {
                row.value = ToRegValue(v);
                row.after = Display(v.type, v.bytes.data(), v.bytes.size());
                row.change = !there ? RestoreRow::Change::Create
                                    : Same(now, v) ? RestoreRow::Change::Same : RestoreRow::Change::Change;
            }
            if (row.change != RestoreRow::Change::Same) {
                if (keyAgain) {
                    row.conflict = true;
                    row.conflictReason = kKeyAgain;
                } else if (!asLeft && (there || setByRun)) {
                    row.conflict = true;
                    row.conflictReason = there ? kValueChanged : kValueGone;
                }
            }
            place(Lower(k.root, k.path, v.name), std::move(row));
        }
    }
    plan.readable = true;
    return plan;
}

std::vector<bool> DefaultChoice(const RestorePlan& plan) {
    std::vector<bool> chosen;
    for (const RestoreRow& r : plan.rows) chosen.push_back(r.ChosenByDefault());
    return chosen;
}

RestoreResult WriteBack(const RestorePlan& plan, const std::vector<bool>& chosen) {
    RestoreResult result;
    if (!plan.readable) {
        result.problem = plan.problem;
        return result;
    }
    std::vector<RegChange> changes;
    std::vector<size_t> rowOf;
    for (size_t i = 0; i < plan.rows.size(); ++i) {
        const RestoreRow& r = plan.rows[i];
        if (r.change == RestoreRow::Change::Same) continue;
        if (i >= chosen.size() || !chosen[i]) {
            ++result.kept;
            continue;
        }
        if (!r.isValue)
            changes.push_back(r.change == RestoreRow::Change::Remove ? RegChange::DeleteTree(r.root, r.key)
                                                                     : RegChange::CreateKey(r.root, r.key));
        else if (r.change == RestoreRow::Change::Remove)
            changes.push_back(RegChange::DeleteValue(r.root, r.key, r.valueName));
        else
            changes.push_back(RegChange::SetValue(r.root, r.key, r.value));
        rowOf.push_back(i);
    }
    if (changes.empty()) {
        result.verified = true;
        return result;
    }
    ChangeJournal journal(L"Wiederherstellung", kModule, L"WriteBack");
    journal.introNote = L"; zurückgeschrieben wurde: " + plan.file + L"\r\n\r\n";
    const JournalResult done = journal.Apply(changes);
    if (journal.FileMade()) result.undoFile = journal.UndoPath();
    // What was written is read back as the file says it: typed and exact, in the file's order.
    RegFile written;
    written.valid = true;
    for (size_t j = 0; j < changes.size(); ++j) {
        const RestoreRow& r = plan.rows[rowOf[j]];
        const ChangeOutcome& o = done.items[j];
        if (!o.done) {
            ++result.kept;
            result.keptReasons.push_back(r.KeyText() + (r.isValue ? L" \"" + r.ValueText() + L"\"" : L"") + L" " +
                                         o.reason);
            continue;
        }
        ++result.written;
        RegFileKey k;
        k.root = r.root;
        k.path = r.key;
        k.remove = !r.isValue && r.change == RestoreRow::Change::Remove;
        if (r.isValue) {
            RegFileValue v;
            v.name = r.valueName;
            v.remove = r.change == RestoreRow::Change::Remove;
            v.type = r.value.type;
            v.bytes.assign(reinterpret_cast<const char*>(r.value.data.data()), r.value.bytes);
            k.values.push_back(std::move(v));
        }
        written.keys.push_back(std::move(k));
    }
    if (done.undoProblem != JournalResult::UndoProblem::None)
        result.problem = L"Die Sicherungsdatei " + journal.UndoPath() +
                         L" konnte nicht geschrieben werden: " + done.undoError.description;
    std::wstring difference;
    result.verified = RegFileApplied(written, difference);
    if (!result.verified && result.problem.empty()) result.problem = difference;
    return result;
}

std::wstring RestoreJsonDocument(const RestorePlan& plan, const RestoreResult* result) {
    const auto& Json = JsonString;
    auto optional = [&](const std::optional<std::wstring>& s) { return s ? Json(*s) : std::wstring(L"null"); };
    std::wstring j = L"{\n  \"file\": " + Json(plan.file) + L",\n  \"rows\": [";
    for (size_t i = 0; i < plan.rows.size(); ++i) {
        const RestoreRow& r = plan.rows[i];
        j += i ? L",\n    {" : L"\n    {";
        j += L"\"root\": " + Json(clsKeyFunc::HiveName(r.root)) + L", \"key\": " + Json(r.key) +
             L", \"value_name\": " + (r.isValue ? Json(r.valueName) : L"null") + L", \"change\": " +
             Json(r.ChangeId()) + L", \"conflict\": " + (r.conflict ? L"true" : L"false") + L", \"now\": " +
             optional(r.now) + L", \"after\": " + optional(r.after) + L"}";
    }
    j += plan.rows.empty() ? L"],\n" : L"\n  ],\n";
    j += L"  \"written\": " + std::to_wstring(result ? result->written : 0) + L",\n";
    j += L"  \"kept\": " + std::to_wstring(result ? result->kept : 0) + L",\n";
    j += L"  \"undo_file\": " + (result && !result->undoFile.empty() ? Json(result->undoFile) : L"null");
    return j + L"\n}";
}
