// app/journal/UndoFile.h
#pragma once
#include "core/UniqueHandle.h"
#include "registry/RegKey.h"
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// An undo file in the backup folder: the header line, the caller's comment lines, then the
// complete export of every key before it is deleted, so that the registry editor can write back
// exactly what was removed. "REGEDIT4" files are ANSI, "Windows Registry Editor Version 5.00"
// files UTF-16LE with a byte-order mark (the header decides).
class UndoFile {
public:
    // Creates the file (and the backup folder) and writes `headerAndComments` as its first lines.
    // Raises a RuntimeError when the file cannot be created or written; a file whose first lines
    // could not be written is deleted again.
    UndoFile(const std::wstring& path, const std::wstring& headerAndComments);
    // Appends to the file when it exists already (a second run within the same second keeps what
    // the first one saved; the header stands once, at the top); otherwise as above.
    struct Append {};
    UndoFile(const std::wstring& path, const std::wstring& headerAndComments, Append);
    ~UndoFile();
    UndoFile(const UndoFile&) = delete;
    UndoFile& operator=(const UndoFile&) = delete;

    // Appends the export of a key and its sub-keys and flushes it to disk before returning, so the
    // caller may delete the key afterwards. A key this file already holds (itself or below a key it
    // holds) adds nothing; returns false then. Raises a RuntimeError when writing failed.
    bool AddKey(RootKey root, const std::wstring& key);
    bool Holds(RootKey root, const std::wstring& key) const;
    // Whether the file holds a key below this one (not the key itself).
    bool HoldsBelow(RootKey root, const std::wstring& key) const;

    // AddKey in two halves, for saving many keys with one write: CollectKey exports the key (it
    // counts as held from now on) and Flush writes everything collected and flushes it to disk.
    // Nothing collected may be deleted before Flush returned. CollectKey raises (and collects
    // nothing) when the key cannot be exported; Flush raises when writing failed, and the keys it
    // was to write count as not held then: the file is cut back to what it held before, so it
    // stays a whole registry file whatever part of the write reached the disk.
    // `note` (see kUndoNote) is written on a line of its own before the export.
    bool CollectKey(RootKey root, const std::wstring& key, const std::wstring& note = {});
    void Flush();
    // Drops what was collected and not yet written; it counts as not held.
    void Discard();
    size_t Collected() const { return pendingKeys_.size() + pendingValues_.size(); }  // waiting for Flush
    size_t CollectedChars() const { return pending_.size(); }    // the size of their export
    // Appends one value, typed and exact, under its key's section and flushes it. A value that is
    // not there is written as its removal, so writing the file back also takes away a value made
    // afterwards under that name. A value already held (or under a held key) adds nothing; returns
    // false then. Raises a RuntimeError when the key cannot be read or writing failed.
    bool AddValue(RootKey root, const std::wstring& key, const std::wstring& name);
    // AddValue's first half: exports the value behind what was collected before; Flush writes it.
    // Raises (and collects nothing) when the key cannot be read.
    bool CollectValue(RootKey root, const std::wstring& key, const std::wstring& name, const std::wstring& note = {});
    // Collects the removal of a key ("[-key]") that does not exist yet and is about to be made:
    // writing the file back takes it away again with everything below it. The key counts as held
    // from now on, so nothing below it is saved any more. A key already held adds nothing (false).
    bool CollectKeyRemoval(RootKey root, const std::wstring& key, const std::wstring& note = {});
    const std::wstring& Path() const { return path_; }
    // Writes bytes to the file as WriteFile does; tests replace it to fill the disk.
    static std::function<BOOL(HANDLE, const void*, DWORD, DWORD*)>& WriteAction();

private:
    void Open(const std::wstring& headerAndComments, bool append);
    // Collects the text that saves a key (its export or its removal); the key counts as held.
    void CollectKeyText(RootKey root, const std::wstring& key, const std::wstring& note, const std::wstring& text);
    // Writes the text in the file's encoding; returns the bytes written. Raises when writing failed.
    unsigned long long Write(const std::wstring& text);
    // Cuts the file back to the end of its last whole write, so that a write that broke off
    // half-way leaves no part of a section behind.
    void TrimToWhole() noexcept;
    // Raises when a REGEDIT4 file cannot hold the export unchanged.
    void RefuseLossy(RootKey root, const std::wstring& key, const std::wstring& text, const wchar_t* what) const;
    std::wstring path_;
    bool unicode_ = false;
    UniqueHFile file_;
    unsigned long long whole_ = 0;  // where the last whole write ended: the file is a .reg file up to here
    std::set<std::pair<RootKey, std::wstring>> keys_;  // keys held, lower case
    std::wstring pending_;                                      // collected, not yet written
    std::vector<std::pair<RootKey, std::wstring>> pendingKeys_;  // their entries in keys_
    std::set<std::pair<RootKey, std::wstring>> values_;  // key + "\n" + value name, lower case
    std::vector<std::pair<RootKey, std::wstring>> pendingValues_;  // their entries in values_
};

// The comment that says what a run did with the entry saved after it: the journal writes it, the
// write-back reads it to tell what has changed since. kUndoNote + one of the notes below.
inline constexpr wchar_t kUndoNote[] = L"; danach: ";
inline constexpr wchar_t kNoteKeyRemoved[] = L"Schlüssel entfernt";   // the tree after it was deleted
inline constexpr wchar_t kNoteValueRemoved[] = L"Wert entfernt";      // the value after it was deleted
inline constexpr wchar_t kNoteKeyCreated[] = L"Schlüssel angelegt";   // the key removed after it was made
inline constexpr wchar_t kNoteValueSet[] = L"Wert gesetzt ";          // + ValueDigest of what was written
// A short fingerprint of a value's type and exact bytes (16 hex digits).
std::wstring ValueDigest(DWORD type, const void* data, size_t bytes);

// "Rückgängig_" + kind + "_" + ddmmyyyy + "_" + hhmmss + ".reg" for the current local time.
std::wstring UndoFileName(const std::wstring& kind);
// The first lines of a new undo file of this kind ("RegScan", "AutoRun", "Dateierweiterung",
// "Verlauf", "Programme", "Office", "Wiederherstellung"): the header of the system's registry
// editor, what the file holds and why, when, by whom and on which system it was written.
std::wstring UndoFileIntro(const std::wstring& kind, const SYSTEMTIME& when);
