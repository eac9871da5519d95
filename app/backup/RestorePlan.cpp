// app/backup/RestorePlan.cpp
#include "backup/RestorePlan.h"
#include "backup/RegFileImport.h"
#include "core/Service.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "journal/Areas.h"
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

// What a row shows of a value: its beginning, where it is long (the list and the console show a
// line, not megabytes; what is written is the value itself).
std::wstring Display(DWORD type, const void* data, size_t bytes) {
    constexpr size_t kShown = 2048;
    std::wstring text = ValueDisplayText(type, static_cast<const BYTE*>(data), std::min(bytes, kShown));
    return bytes > kShown ? text + L"\u2026" : text;
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
    case Change::Refused: return L"wird nicht geschrieben";
    }
    return L"";
}

const wchar_t* RestoreRow::ChangeId() const {
    switch (change) {
    case Change::Create: return L"create";
    case Change::Change: return L"change";
    case Change::Same: return L"same";
    case Change::Remove: return L"remove";
    case Change::Refused: return L"refused";
    }
    return L"";
}

std::wstring RestoreRow::KeyText() const {
    if (root == 0) return key;  // a root the editor does not know: as the file writes it
    return clsKeyFunc::HiveName(root) + (key.empty() ? L"" : L"\\" + key);
}

std::wstring RestoreRow::ValueText() const {
    if (!isValue) return L"";
    return valueName.empty() ? L"@" : valueName;
}

size_t RestorePlan::Conflicts() const {
    return static_cast<size_t>(std::count_if(rows.begin(), rows.end(), [](const RestoreRow& r) { return r.conflict; }));
}

RestorePlan PlanRestore(const std::wstring& path) {
    wchar_t full[MAX_PATH * 2];
    const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    const std::wstring name = n > 0 && n < MAX_PATH * 2 ? std::wstring(full, n) : path;
    RegFile file;
    try {
        file = ReadRegFile(name);
    } catch (...) {
        RestorePlan plan;
        plan.file = name;
        plan.problem = L"Die Datei ist nicht lesbar: " + CurrentError().description;
        return plan;
    }
    return PlanRestore(file, name);
}

RestorePlan PlanRestore(const RegFile& file, const std::wstring& path) {
    RestorePlan plan;
    plan.file = path;
    if (!file.Readable()) {
        plan.problem = file.problem;
        return plan;
    }
    plan.damaged = file.Damaged();
    plan.damage = file.damage;
    clsKeyFunc& keys = Service<clsKeyFunc>();
    clsSearch& search = Service<clsSearch>();
    // A file may name a key or value more than once: one row each, the last word counts.
    std::map<std::wstring, size_t> seen;
    std::vector<bool> gone;  // rows that a later removal of their key (or one above it) undoes
    auto place = [&](const std::wstring& id, RestoreRow row) {
        auto [it, fresh] = seen.emplace(id, plan.rows.size());
        if (fresh) {
            plan.rows.push_back(std::move(row));
            gone.push_back(false);
        } else {
            plan.rows[it->second] = std::move(row);
            gone[it->second] = false;
        }
    };
    // The rows of the key and of everything below it, but for the key's own: their ids begin with
    // the key's and go on with "\n" (its values) or "\\" (its sub-keys).
    auto undone = [&](RootKey root, const std::wstring& key) {
        const std::wstring prefix = std::to_wstring(root) + L"\\" + ToLower(key), own = Lower(root, key);
        for (const wchar_t next : {L'\n', L'\\'})
            for (auto it = seen.lower_bound(prefix + next); it != seen.end() && it->first.starts_with(prefix + next); ++it)
                if (it->first != own) gone[it->second] = true;
    };
    // A row the editor would not write: shown, never written.
    auto refuse = [&](RootKey root, const std::wstring& key, const RegFileValue* v, int line, const std::wstring& why) {
        RestoreRow row;
        row.root = root;
        row.key = key;
        row.line = line;
        gone.push_back(false);
        row.change = RestoreRow::Change::Refused;
        row.refused = why;
        if (v) {
            row.isValue = true;
            row.valueName = v->name;
        }
        plan.rows.push_back(std::move(row));
    };
    for (const RegFileKey& k : file.keys) {
        if (k.root == 0 || !k.rejected.empty()) {
            if (!k.rejected.empty()) refuse(k.root, k.path, nullptr, k.line, k.rejected);
            for (const RegFileValue& v : k.values) refuse(k.root, k.path, &v, v.line, v.rejected);
            continue;
        }
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
            undone(k.root, k.path);
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
            if (!v.rejected.empty()) {
                refuse(k.root, k.path, &v, v.line, v.rejected);
                continue;
            }
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
    // What the file writes and later removes again is no row of the plan (the editor leaves nothing of it).
    size_t kept = 0;
    for (size_t i = 0; i < plan.rows.size(); ++i)
        if (!gone[i]) {
            if (kept != i) plan.rows[kept] = std::move(plan.rows[i]);
            ++kept;
        }
    plan.rows.resize(kept);
    // A row that would change a place that cannot be acted on as named, or that lies outside what
    // Torvane changes, is refused here already (the journal would keep it).
    for (RestoreRow& r : plan.rows) {
        if (!r.Changes()) continue;
        const ResolvedName name = ResolveRegName(r.root, r.key, r.isValue ? &r.valueName : nullptr);
        std::wstring why = name.why;
        if (why.empty())
            why = WhyOutsideAreas(L"Wiederherstellung",
                                  r.isValue                                   ? Touch::Value
                                  : r.change == RestoreRow::Change::Remove ? Touch::DeleteKey
                                                                              : Touch::MakeKey,
                                  name.root, name.key, r.valueName);
        if (why.empty()) continue;
        r.change = RestoreRow::Change::Refused;
        r.refused = std::move(why);
        r.conflict = false;
        r.conflictReason.clear();
    }
    plan.readable = true;
    return plan;
}

std::vector<bool> DefaultChoice(const RestorePlan& plan) {
    std::vector<bool> chosen;
    for (const RestoreRow& r : plan.rows) chosen.push_back(!plan.damaged && r.ChosenByDefault());
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
        const bool picked = i < chosen.size() && chosen[i];
        if (!picked || r.change == RestoreRow::Change::Refused) {
            ++result.kept;
            if (picked) {
                const std::wstring where = r.KeyText() + (r.isValue ? L" \"" + r.ValueText() + L"\"" : L"");
                result.keptReasons.push_back(where.empty() ? r.refused : where + L" " + r.refused);
            }
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
    std::wstring j = L"{\n  \"file\": " + Json(plan.file) + L",\n  \"damage\": " +
                     (plan.damaged ? Json(plan.damage) : L"null") + L",\n  \"rows\": [";
    for (size_t i = 0; i < plan.rows.size(); ++i) {
        const RestoreRow& r = plan.rows[i];
        j += i ? L",\n    {" : L"\n    {";
        j += L"\"root\": " + Json(clsKeyFunc::HiveName(r.root)) + L", \"key\": " + Json(r.key) +
             L", \"value_name\": " + (r.isValue ? Json(r.valueName) : L"null") + L", \"change\": " +
             Json(r.ChangeId()) + L", \"conflict\": " + (r.conflict ? L"true" : L"false") + L", \"now\": " +
             optional(r.now) + L", \"after\": " + optional(r.after) + L", \"line\": " + std::to_wstring(r.line) +
             L", \"refused\": " + (r.refused.empty() ? L"null" : Json(r.refused)) + L"}";
    }
    j += plan.rows.empty() ? L"],\n" : L"\n  ],\n";
    j += L"  \"written\": " + std::to_wstring(result ? result->written : 0) + L",\n";
    j += L"  \"kept\": " + std::to_wstring(result ? result->kept : 0) + L",\n";
    j += L"  \"undo_file\": " + (result && !result->undoFile.empty() ? Json(result->undoFile) : L"null");
    return j + L"\n}";
}
