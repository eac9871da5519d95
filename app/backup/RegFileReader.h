// app/backup/RegFileReader.h
#pragma once
#include "registry/RegKey.h"
#include <string>
#include <vector>

// What a registry export file (the undo files of the program) asks the registry editor to do,
// read line by line the way the editor reads it, so that a write-back writes what the editor
// would write and nothing it would reject. Where the editor would drop a row, the row is kept
// here with the reason; where it would put a value under another key than the file shows (after
// a key line it cannot read), the value is rejected too.
struct RegFileValue {
    std::wstring name;     // "" for the default value ("@")
    bool remove = false;   // "name"=-
    DWORD type = REG_NONE;
    std::string bytes;     // the data exactly as the editor stores it
    int line = 0;          // the file's line it begins on (1 = the header)
    // Why the editor does not write it: "Zeile 12: ..." with the line that fails; "" when it does.
    std::wstring rejected;
};

struct RegFileKey {
    RootKey root = 0;      // 0: a root the editor does not know, or a line that names no key
    std::wstring path;     // without the root name (with it, as written, where the root is unknown)
    bool remove = false;   // [-key]
    std::vector<RegFileValue> values;
    int line = 0;
    // What the run that wrote this section then did with it, as the program notes it in its undo
    // files ("Schlüssel entfernt", "Wert gesetzt <digest>", ...); "" where the file says nothing.
    std::wstring note;
    // Why the editor does not act on this line; "" when it does. A section with root 0 and no
    // reason only holds values that stand under no key (each rejected).
    std::wstring rejected;
};

struct RegFile {
    bool valid = false;          // the first line is one of the two headers
    bool unicodeSyntax = false;  // "Windows Registry Editor Version 5.00"
    std::vector<RegFileKey> keys;
    // Rows and lines the editor rejects or reads past (a line that is neither key, value nor
    // comment): the file is damaged. `damage` is the first of them, "Zeile 12: ...".
    int badLines = 0;
    std::wstring damage;
    // Why nothing of the file can be written: no header, a header the editor writes nothing for.
    std::wstring problem;
    bool Readable() const { return valid && problem.empty(); }
    bool Damaged() const { return badLines > 0; }
};

// Files larger than this are not read (no undo file of the program comes near it).
inline constexpr unsigned long long kMaxRegFileBytes = 256ull << 20;

// Parses the decoded text of a file. `unicodeFile`: the file was UTF-16 (the editor takes the
// bytes of text types in hex as UTF-16 then, else as ANSI).
RegFile ParseRegText(const std::wstring& text, bool unicodeFile);
// Parses a file's bytes: UTF-16LE when they start with the byte-order mark, else the ANSI code
// page. A UTF-16 file of an odd length was cut off: its last row is rejected.
RegFile ParseRegBytes(std::string bytes);
// Reads a file and parses it. Raises a RuntimeError when the file cannot be read or is larger
// than kMaxRegFileBytes.
RegFile ReadRegFile(const std::wstring& path);
// The root of a name as the editor writes it ("HKEY_CURRENT_USER"); 0 when unknown.
RootKey RootFromName(const std::wstring& name);
