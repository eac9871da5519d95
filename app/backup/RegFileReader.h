// app/backup/RegFileReader.h
#pragma once
#include "registry/RegKey.h"
#include <string>
#include <vector>

// What a registry export file (the undo files of the program) asks the registry editor to do,
// read the way the editor reads it, so that a write-back can be checked against the registry.
struct RegFileValue {
    std::wstring name;     // "" for the default value ("@")
    bool remove = false;   // "name"=-
    DWORD type = REG_NONE;
    std::string bytes;     // the data exactly as the editor stores it
    int line = 0;          // the file's line it stands on (1 = the header)
};

struct RegFileKey {
    RootKey root = 0;      // 0: a root the editor does not know (nothing below it is written)
    std::wstring path;     // without the root name
    bool remove = false;   // [-key]
    std::vector<RegFileValue> values;
    int line = 0;
    // What the run that wrote this section then did with it, as the program notes it in its undo
    // files ("Schlüssel entfernt", "Wert gesetzt <digest>", ...); "" where the file says nothing.
    std::wstring note;
};

struct RegFile {
    bool valid = false;          // the first line is one of the two headers
    bool unicodeSyntax = false;  // "Windows Registry Editor Version 5.00"
    std::vector<RegFileKey> keys;
    int badLines = 0;            // lines the editor cannot read (it skips them)
    // The first of them: "Zeile 12: ..." with the reason; also a missing header or a cut-off end.
    std::wstring problem;
    bool Readable() const { return valid && problem.empty(); }
};

// Parses the decoded text of a file.
RegFile ParseRegText(const std::wstring& text);
// Reads a file: UTF-16LE when it starts with the byte-order mark, else the ANSI code page. A
// UTF-16 file of an odd length was cut off: its problem says so.
// Raises a RuntimeError when the file cannot be read.
RegFile ReadRegFile(const std::wstring& path);
// The root of a name as the editor writes it ("HKEY_CURRENT_USER"); 0 when unknown.
RootKey RootFromName(const std::wstring& name);
