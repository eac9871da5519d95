// app/journal/ChangeJournal.cpp
#include "journal/ChangeJournal.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/DoEvents.h"
#include "core/Trap.h"
#include "journal/Areas.h"
#include "journal/Protected.h"
#include "journal/UndoFile.h"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include <algorithm>
#include <cstring>

namespace {
// Several keys reach the file with one write and one flush, and only then are they deleted.
constexpr size_t kBatchKeys = 64, kBatchChars = size_t{1} << 20;

const wchar_t kNotSaved[] = L"Die Sicherungsdatei konnte nicht geschrieben werden.";

// The highest key on the path to `key` that does not exist (the key itself when only it is
// missing); "" when the key exists or cannot be looked at.
std::wstring TopMissing(clsSearch& search, RootKey root, const std::wstring& key) {
    if (search.KeyStatus(root, key, KEY_READ) != ERROR_FILE_NOT_FOUND) return L"";
    for (size_t p = key.find(L'\\'); ; p = key.find(L'\\', p + 1)) {
        const std::wstring part = key.substr(0, p);
        const LSTATUS status = search.KeyStatus(root, part, KEY_READ);
        if (status == ERROR_FILE_NOT_FOUND) return part;
        if (status != ERROR_SUCCESS || p == std::wstring::npos) return L"";
    }
}

bool SameValue(const RegValue& a, const RegValue& b) {
    return a.type == b.type && a.bytes == b.bytes &&
           std::memcmp(a.data.data(), b.data.data(), a.bytes) == 0;
}
}  // namespace

RegChange RegChange::DeleteTree(RootKey root, std::wstring key) {
    RegChange c;
    c.kind = Kind::DeleteTree;
    c.root = root;
    c.key = std::move(key);
    return c;
}

RegChange RegChange::DeleteValue(RootKey root, std::wstring key, std::wstring name) {
    RegChange c = DeleteTree(root, std::move(key));
    c.kind = Kind::DeleteValue;
    c.value.name = std::move(name);
    return c;
}

RegChange RegChange::SetValue(RootKey root, std::wstring key, RegValue value) {
    RegChange c = DeleteTree(root, std::move(key));
    c.kind = Kind::SetValue;
    c.value = std::move(value);
    return c;
}

RegChange RegChange::CreateKey(RootKey root, std::wstring key) {
    RegChange c = DeleteTree(root, std::move(key));
    c.kind = Kind::CreateKey;
    return c;
}

RegChange RegChange::SetText(RootKey root, std::wstring key, std::wstring name, std::wstring text, DWORD type) {
    RegValue v;
    v.name = std::move(name);
    v.type = type;
    v.data = std::move(text);
    v.data.push_back(L'\0');
    v.bytes = v.data.size() * sizeof(wchar_t);
    return SetValue(root, std::move(key), std::move(v));
}

RegChange RegChange::SetDword(RootKey root, std::wstring key, std::wstring name, DWORD number) {
    RegValue v;
    v.name = std::move(name);
    v.type = REG_DWORD;
    v.data.assign(2, L'\0');
    std::memcpy(v.data.data(), &number, sizeof number);
    v.bytes = sizeof number;
    return SetValue(root, std::move(key), std::move(v));
}

std::wstring RegChange::Where() const {
    std::wstring text = clsKeyFunc::HiveName(root) + L"\\" + key;
    if (kind == Kind::DeleteValue || kind == Kind::SetValue) text += value.name.empty() ? L" @" : L" \"" + value.name + L"\"";
    // A NUL in a name is shown, not left to end the text early.
    for (size_t p = 0; (p = text.find(L'\0', p)) != std::wstring::npos; p += 2) text.replace(p, 1, L"\\0");
    return text;
}

size_t JournalResult::Done() const {
    return static_cast<size_t>(std::count_if(items.begin(), items.end(), [](const ChangeOutcome& o) { return o.done; }));
}

std::function<bool(const RegChange&)>& ChangeJournal::RegistryWrite() {
    static std::function<bool(const RegChange&)> write = [](const RegChange& c) {
        clsKeyFunc& keys = Service<clsKeyFunc>();
        switch (c.kind) {
        case RegChange::Kind::DeleteTree: return keys.DelKeyTree(c.root, c.key);
        case RegChange::Kind::DeleteValue: keys.DelKeyValue(c.root, c.key, c.value.name); return true;
        case RegChange::Kind::SetValue: return keys.SetValueRaw(c.root, c.key, c.value) == ERROR_SUCCESS;
        case RegChange::Kind::CreateKey: keys.CreateKey(c.root, c.key); return true;
        }
        return false;
    };
    return write;
}

std::wstring UndoPathFor(const std::wstring& kind) {
    std::wstring path = AppEnvironment.BackupDir + UndoFileName(kind);
    if (kind == L"AutoRun" || kind == L"Verlauf") return path;
    // A run within the same second as the last one waits for the next second's name.
    for (int i = 0; i < 60 && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(50);
        DoEvents();
        path = AppEnvironment.BackupDir + UndoFileName(kind);
    }
    return path;
}

ChangeJournal::ChangeJournal(std::wstring kind, std::wstring module, std::wstring procedure)
    : kind_(std::move(kind)), module_(std::move(module)), procedure_(std::move(procedure)) {}

ChangeJournal::~ChangeJournal() = default;

bool ChangeJournal::CreateFile(RuntimeError* error) {
    if (undo_) return true;
    path_ = UndoPathFor(kind_);
    const std::wstring& path = path_;
    const bool folderThere = GetFileAttributesW(AppEnvironment.BackupDir.c_str()) != INVALID_FILE_ATTRIBUTES;
    try {
        SYSTEMTIME now;
        GetLocalTime(&now);
        undo_ = std::make_unique<UndoFile>(path, UndoFileIntro(kind_, now) + introNote, UndoFile::Append{});
    } catch (...) {
        const RuntimeError e = CurrentError();
        ReportError(module_.c_str(), procedure_.c_str(), e, Style::Warning, false, path);
        if (error) *error = e;
        return false;
    }
    if (!folderThere)
        ReportError(module_.c_str(), procedure_.c_str(),
                    RuntimeError{Err::PathNotFound, ErrorDescription(Err::PathNotFound)}, Style::Warning, false,
                    L"Ordner " + AppEnvironment.BackupDir + L" musste angelegt werden");
    Trace(module_.c_str(), procedure_.c_str(), path + L" angelegt");
    return true;
}

bool ChangeJournal::Open(JournalResult& result, size_t index) {
    if (undo_) return true;
    if (CreateFile(&result.undoError)) return true;
    result.undoProblem = JournalResult::UndoProblem::NotCreated;
    result.firstUnsaved = index;
    return false;
}

JournalResult ChangeJournal::Apply(const std::vector<RegChange>& given) {
    const wchar_t* module = module_.c_str();
    const wchar_t* proc = procedure_.c_str();
    // Each change in the form the registry functions act on, and why it may not be made there:
    // its name cannot be acted on as written, or it lies outside the areas of this kind.
    std::vector<RegChange> changes = given;
    std::vector<std::wstring> outside(changes.size());
    for (size_t i = 0; i < changes.size(); ++i) {
        RegChange& c = changes[i];
        const bool isValue = c.kind == RegChange::Kind::DeleteValue || c.kind == RegChange::Kind::SetValue;
        ResolvedName name = ResolveRegName(c.root, c.key, isValue ? &c.value.name : nullptr);
        if (!name.why.empty()) {
            outside[i] = std::move(name.why);
            continue;
        }
        c.root = name.root;
        c.key = std::move(name.key);
        const Touch touch = isValue ? Touch::Value
                            : c.kind == RegChange::Kind::CreateKey ? Touch::MakeKey
                                                                    : Touch::DeleteKey;
        outside[i] = WhyOutsideAreas(kind_, touch, c.root, c.key, c.value.name);
    }
    clsKeyFunc& keys = Service<clsKeyFunc>();
    clsSearch& search = Service<clsSearch>();
    RegistryProtection protection;
    JournalResult result;
    result.items.resize(changes.size());
    std::vector<bool> handled(changes.size(), false);

    auto keep = [&](size_t i, const std::wstring& reason, bool isProtected = false) {
        result.items[i] = {false, reason, isProtected};
        handled[i] = true;
        ReportError(module, proc, RuntimeError{Err::PermissionDenied, ErrorDescription(Err::PermissionDenied)}, Style::Warning,
                    false, changes[i].Where() + L" " + reason);
    };
    auto done = [&](size_t i) {
        result.items[i] = {true, L""};
        handled[i] = true;
    };

    // Trees whose export is collected (or held by the file already), deleted after the next flush.
    std::vector<size_t> waiting;
    bool stopped = false;
    auto fileFailed = [&](const RuntimeError& e) {
        result.undoProblem = JournalResult::UndoProblem::NotWritten;
        result.undoError = e;
        ReportError(module, proc, e, Style::Warning, false, path_);
        stopped = true;
        waiting.clear();
    };
    // Writes what was collected, then deletes the trees that waited for it.
    auto applyWaiting = [&] {
        if (waiting.empty()) return true;
        try {
            undo_->Flush();
        } catch (...) {
            fileFailed(CurrentError());
            return false;
        }
        for (size_t j : waiting) {
            const RegChange& c = changes[j];
            // The deletion reads the key back: true only when it is gone.
            if (RegistryWrite()(c))
                done(j);
            else
                keep(j, L"konnte nicht gelöscht werden");
            DoEventsIfDue();
        }
        waiting.clear();
        return true;
    };

    for (size_t i = 0; i < changes.size() && !stopped; ++i) {
        if (cancelled && cancelled()) {
            result.cancelled = true;
            if (undo_) undo_->Discard();
            waiting.clear();
            break;
        }
        const RegChange& c = changes[i];
        if (!outside[i].empty()) {
            keep(i, outside[i], true);
            continue;
        }
        // What the table says of a key may hang on the registry as the earlier changes leave it.
        if (c.kind == RegChange::Kind::DeleteTree && RegistryProtection::AsksRegistry(c.root, c.key) && !applyWaiting())
            break;
        // A new key is held to what its values are: an empty UserChoice would undo the user's choice.
        const std::wstring why = c.kind == RegChange::Kind::DeleteTree ? protection.WhyKey(c.root, c.key)
                                                                        : protection.WhyValue(c.root, c.key, c.value.name);
        if (!why.empty()) {
            keep(i, why, true);
            continue;
        }
        if (c.kind == RegChange::Kind::DeleteTree) {
            if (!undo_ || !undo_->Holds(c.root, c.key)) {
                // A key above trees that wait would be saved with them: they go first, in order.
                if (undo_ && undo_->Collected() && undo_->HoldsBelow(c.root, c.key) && !applyWaiting()) break;
                const LSTATUS status = search.KeyStatus(c.root, c.key, KEY_READ);
                if (status == ERROR_FILE_NOT_FOUND) {  // gone already: nothing to save, nothing to delete
                    done(i);
                    continue;
                }
                if (status != ERROR_SUCCESS) {
                    keep(i, L"konnte nicht gesichert werden und bleibt erhalten");
                    continue;
                }
                if (!Open(result, i)) {
                    stopped = true;
                    break;
                }
                try {
                    undo_->CollectKey(c.root, c.key, kNoteKeyRemoved);
                } catch (...) {
                    keep(i, CurrentError().description);
                    continue;
                }
            }
            waiting.push_back(i);
            if (undo_->Collected() >= kBatchKeys || undo_->CollectedChars() >= kBatchChars) applyWaiting();
            DoEventsIfDue();
            continue;
        }
        // A single value or a new key: what came before it is done first.
        if (!applyWaiting()) break;
        const std::wstring missing = c.kind == RegChange::Kind::DeleteValue ? L"" : TopMissing(search, c.root, c.key);
        if (c.kind == RegChange::Kind::CreateKey) {
            if (missing.empty()) {
                if (search.KeyStatus(c.root, c.key, KEY_READ) == ERROR_SUCCESS) done(i);
                else keep(i, L"konnte nicht gesichert werden und bleibt erhalten");
                continue;
            }
            // What is made goes again when the undo file is written back, with all that is below it.
            if (!Open(result, i)) {
                stopped = true;
                break;
            }
            try {
                undo_->CollectKeyRemoval(c.root, missing, kNoteKeyCreated);
                undo_->Flush();
            } catch (...) {
                fileFailed(CurrentError());
                break;
            }
            RegistryWrite()(c);
            if (search.KeyStatus(c.root, c.key, KEY_READ) == ERROR_SUCCESS) done(i);
            else keep(i, L"konnte nicht angelegt werden");
            DoEventsIfDue();
            continue;
        }
        RegValue now;
        const bool there = keys.ReadValueRaw(c.root, c.key, c.value.name, now);
        if (!there) {
            const LSTATUS status = search.KeyStatus(c.root, c.key, KEY_READ);
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
                keep(i, L"konnte nicht gesichert werden und bleibt erhalten");
                continue;
            }
        }
        if (c.kind == RegChange::Kind::DeleteValue && !there) {
            done(i);
            continue;
        }
        if (c.kind == RegChange::Kind::SetValue && there && SameValue(now, c.value)) {
            done(i);
            continue;
        }
        if (c.kind == RegChange::Kind::DeleteValue || there || !c.ownEntry) {
            if (!Open(result, i)) {
                stopped = true;
                break;
            }
            try {
                if (c.kind == RegChange::Kind::DeleteValue)
                    undo_->CollectValue(c.root, c.key, c.value.name, kNoteValueRemoved);
                else if (!missing.empty())  // the value makes its key: the key goes again on undo
                    undo_->CollectKeyRemoval(c.root, missing, kNoteKeyCreated);
                else
                    undo_->CollectValue(c.root, c.key, c.value.name,
                                        kNoteValueSet + ValueDigest(c.value.type, c.value.data.data(), c.value.bytes));
            } catch (...) {
                keep(i, CurrentError().description);
                continue;
            }
            try {
                undo_->Flush();
            } catch (...) {
                fileFailed(CurrentError());
                break;
            }
        }
        RegValue after;
        if (c.kind == RegChange::Kind::DeleteValue) {
            RegistryWrite()(c);
            if (keys.ReadValueRaw(c.root, c.key, c.value.name, after))
                keep(i, L"konnte nicht gelöscht werden");
            else
                done(i);
        } else {
            RegistryWrite()(c);
            if (keys.ReadValueRaw(c.root, c.key, c.value.name, after) && SameValue(after, c.value))
                done(i);
            else
                keep(i, L"konnte nicht geschrieben werden");
        }
        DoEventsIfDue();
    }
    if (!stopped && !result.cancelled) applyWaiting();

    // What was not reached stays as it is, with the reason.
    const std::wstring rest = result.cancelled ? L"abgebrochen" : kNotSaved;
    bool first = true;
    for (size_t i = 0; i < changes.size(); ++i) {
        if (handled[i]) continue;
        if (first && result.undoProblem != JournalResult::UndoProblem::None) result.firstUnsaved = i;
        first = false;
        result.items[i] = {false, rest};
    }
    return result;
}
