// app/disk/modHDD.h
#pragma once
#include "registry/RegKey.h"
#include "files/clsFiles.h"
#include <string>
#include <vector>

// The disk cleanup's work without a window: the folder list tmpdirs.txt, emptying one listed
// folder (unless the protected places refuse it) with its counts, and the start entry that runs the
// temporary-files mode ("/d") at every Windows start. The window and the start-up share it.

// InstallDir + "tmpdirs.txt".
std::wstring TmpDirsFile();
// The non-empty lines of the list file in their order, as stored (ANSI, CR LF). Raises 53 when
// the file is missing.
std::vector<std::wstring> ReadListLines(const std::wstring& file);
// Rewrites the list file: the non-empty lines joined by CR LF, followed by one CR LF.
void WriteListLines(const std::wstring& file, const std::vector<std::wstring>& lines);
// Appends one line (the path and CR LF), creating the file when it is missing.
void AppendListLine(const std::wstring& file, const std::wstring& line);
// True when the ANSI code page holds the text exactly (the list file is ANSI).
bool AnsiHolds(const std::wstring& text);

// What emptying one listed folder came to.
struct EmptyResult {
    std::wstring reason;  // why it was not emptied; "" when it was
    DeleteCount count;
};
// Empties one folder of the list (a line, with or without "\") unless WhyNotEmptied refuses it;
// writes one protocol line either way: the counts, or the reason.
EmptyResult EmptyListedFolder(const std::wstring& line, const wchar_t* module, const wchar_t* procedure,
                              const DeleteProgress& progress = {});

// The start entry: value AppTitle of the Run key, "\"" + InstallDir + program + ".exe\" /d".
extern const wchar_t* const kRunKey;
std::wstring StartEntryData();
// Where the entry is written: HKEY_CURRENT_USER on the NT family, else HKEY_LOCAL_MACHINE when the
// user may write there, HKEY_CURRENT_USER otherwise.
RootKey StartEntryRoot();
// The entry's data where one is found (current user first), "" when there is none.
std::wstring ReadStartEntry();
// Writes the entry; true when it reads back as written.
bool WriteStartEntry();
// Deletes the entry (the value, never the key) from every root that holds it, after writing
// each to one undo file "Rückgängig_AutoRun_..." in the backup folder. False when the undo file
// could not be written (then nothing is deleted) or a value stays; `problem` then says why.
bool RemoveStartEntry(std::wstring& problem);
