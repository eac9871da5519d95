// app/journal/ChangeJournal.h
#pragma once
#include "core/RuntimeError.h"
#include "registry/RegKey.h"
#include <functional>
#include <memory>
#include <string>
#include <vector>

class UndoFile;

// One change of the user's registry.
struct RegChange {
    // CreateKey makes a key (and the keys above it) where it is missing; SetValue makes its key, too.
    enum class Kind { DeleteTree, DeleteValue, SetValue, CreateKey };
    Kind kind = Kind::DeleteTree;
    RootKey root = 0;
    std::wstring key;
    RegValue value;  // DeleteValue: its name; SetValue: name, type and exact bytes
    // SetValue of the program's own entry: where no value of that name was, nothing is lost, so
    // nothing is saved (an undo file that only takes the entry away again is no help).
    bool ownEntry = false;

    static RegChange DeleteTree(RootKey root, std::wstring key);
    static RegChange DeleteValue(RootKey root, std::wstring key, std::wstring name);
    static RegChange SetValue(RootKey root, std::wstring key, RegValue value);
    static RegChange CreateKey(RootKey root, std::wstring key);
    // A text value (REG_SZ, REG_EXPAND_SZ) stored with its terminating zero.
    static RegChange SetText(RootKey root, std::wstring key, std::wstring name, std::wstring text, DWORD type = REG_SZ);
    static RegChange SetDword(RootKey root, std::wstring key, std::wstring name, DWORD number);
    // "HKEY_CURRENT_USER\Software\X" or, for a value, "HKEY_CURRENT_USER\Software\X "Name"" ("@" for the default).
    std::wstring Where() const;
};

// What became of one change: done, or kept with the reason.
struct ChangeOutcome {
    bool done = false;
    std::wstring reason;          // the rest of a sentence that begins with the place
    bool protectedPlace = false;  // kept because the table of protected places names it
};

struct JournalResult {
    std::vector<ChangeOutcome> items;  // one per change, in the order given
    // The undo file could not be made or written: the change `firstUnsaved` and every later one
    // were kept, with nothing of them changed.
    enum class UndoProblem { None, NotCreated, NotWritten } undoProblem = UndoProblem::None;
    RuntimeError undoError;
    size_t firstUnsaved = 0;
    bool cancelled = false;  // the caller's cancel flag stopped the run; the rest was kept
    size_t Done() const;
    size_t Kept() const { return items.size() - Done(); }
};

// The one way the program changes or deletes the user's registry. Every affected key or value
// goes to the undo file first, typed and whole, and reaches the disk before anything of it is
// changed; then the changes are made in order, and each is read back. What the table of
// protected places names is never changed. A journal keeps one undo file for all its runs; the
// file is made when the first change needs it.
class ChangeJournal {
public:
    // `kind` names the undo file ("RegScan", "AutoRun", ...); `module` and `procedure` are the
    // caller's, for the protocol log.
    ChangeJournal(std::wstring kind, std::wstring module, std::wstring procedure);
    ~ChangeJournal();
    ChangeJournal(const ChangeJournal&) = delete;
    ChangeJournal& operator=(const ChangeJournal&) = delete;

    // Comment lines for the undo file, below its introduction (each begins with "; ").
    std::wstring introNote;
    // Polled between changes; when it answers true the rest is kept.
    std::function<bool()> cancelled;
    // Makes one change in the registry, the only place the journal writes to it: deletes a tree
    // (true when it is gone), deletes a value, sets a value (making its key) or makes a key (true
    // when the call succeeded). The journal reads every change back anyway. Tests replace it.
    static std::function<bool(const RegChange&)>& RegistryWrite();

    JournalResult Apply(const std::vector<RegChange>& changes);
    // Makes the undo file now, even when no change needs it (a run that saves nothing still
    // leaves its file). False, with the error, when it could not be made.
    bool CreateFile(RuntimeError* error = nullptr);
    // The undo file's path, or the path it was to have when it could not be made; "" before.
    const std::wstring& UndoPath() const { return path_; }
    bool FileMade() const { return undo_ != nullptr; }

private:
    bool Open(JournalResult& result, size_t index);
    std::wstring kind_, module_, procedure_, path_;
    std::unique_ptr<UndoFile> undo_;
};

// The undo file's path for a run of this kind starting now. Kinds whose runs share a file
// ("AutoRun", "Verlauf") get the name of this second; the others a name no file has yet (the next
// free second), so that no earlier undo file is ever added to or replaced.
std::wstring UndoPathFor(const std::wstring& kind);
