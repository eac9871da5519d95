// app/backup/RegFileReader.cpp
#include "backup/RegFileReader.h"
#include "core/RuntimeError.h"
#include "core/UniqueHandle.h"
#include "core/Text.h"
#include "journal/UndoFile.h"
#include <cwctype>

namespace {

const wchar_t* const kHeader5 = L"Windows Registry Editor Version 5.00";
const wchar_t* const kHeader4 = L"REGEDIT4";

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        // The undo files carry a line of its own CR (CR CR LF): every CR at the end goes.
        while (!line.empty() && line.back() == L'\r') line.pop_back();
        lines.push_back(std::move(line));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return lines;
}

size_t SkipBlanks(const std::wstring& s, size_t p) {
    while (p < s.size() && (s[p] == L' ' || s[p] == L'\t')) ++p;
    return p;
}

// A quoted text from the opening quote at p; p ends after the closing quote. Escapes as the
// editor reads them: \\ \" \n \r, any other escaped character stands for itself.
bool ReadQuoted(const std::wstring& s, size_t& p, std::wstring& out) {
    out.clear();
    for (++p; p < s.size(); ++p) {
        wchar_t c = s[p];
        if (c == L'"') {
            ++p;
            return true;
        }
        if (c == L'\\') {
            if (++p >= s.size()) return false;
            c = s[p];
            if (c == L'n') c = L'\n';
            else if (c == L'r') c = L'\r';
            else if (c == L'0') return false;
        }
        out += c;
    }
    return false;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// "xx,xx,..." possibly continued over following lines with a trailing "\\". `why` names a failure.
bool ReadHexList(const std::vector<std::wstring>& lines, size_t& index, size_t p, std::string& out, std::wstring& why) {
    std::wstring s = lines[index];
    for (;;) {
        p = SkipBlanks(s, p);
        if (p >= s.size()) return true;
        if (s[p] == L'\\') {
            if (SkipBlanks(s, p + 1) != s.size()) {
                why = L"nach dem Fortsetzungszeichen \\ steht noch etwas";
                return false;
            }
            // Comment lines may stand between continuation lines.
            do {
                if (++index >= lines.size()) {
                    --index;
                    why = L"die Datei endet mitten im Wert (sie ist abgeschnitten)";
                    return false;
                }
                s = lines[index];
                p = SkipBlanks(s, 0);
            } while (p < s.size() && s[p] == L';');
            if (p >= s.size()) {  // the value goes on, but the next line is empty
                bool rest = false;
                for (size_t j = index + 1; j < lines.size() && !rest; ++j) rest = SkipBlanks(lines[j], 0) < lines[j].size();
                why = rest ? L"nach dem Fortsetzungszeichen \\ fehlt die Fortsetzung"
                           : L"die Datei endet mitten im Wert (sie ist abgeschnitten)";
                return false;
            }
            continue;
        }
        if (s[p] == L';') return true;  // comment after the data
        int hi = HexDigit(s[p]);
        int lo = p + 1 < s.size() ? HexDigit(s[p + 1]) : -1;
        if (hi < 0) {
            why = L"kein Hexadezimalwert";
            return false;
        }
        if (lo < 0) {  // a single digit is a byte too
            out += static_cast<char>(hi);
            p += 1;
        } else {
            out += static_cast<char>(hi * 16 + lo);
            p += 2;
        }
        p = SkipBlanks(s, p);
        if (p < s.size() && s[p] == L',') {
            ++p;
        } else if (p < s.size() && s[p] != L'\\' && s[p] != L';') {
            why = L"kein Hexadezimalwert";
            return false;
        }
    }
}

std::string Utf16Bytes(const std::wstring& s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(wchar_t));
}

// The data part of a value line from p; false, with the reason, when the editor could not read it.
bool ReadData(const std::vector<std::wstring>& lines, size_t& index, size_t p, bool unicodeSyntax, RegFileValue& v,
              std::wstring& why) {
    const std::wstring& s = lines[index];
    auto at = [&](const wchar_t* word) { return s.compare(p, wcslen(word), word) == 0; };
    if (at(L"-")) {
        v.remove = true;
        if (SkipBlanks(s, p + 1) == s.size()) return true;
        why = L"nach dem Minuszeichen steht noch etwas";
        return false;
    }
    if (at(L"\"")) {
        std::wstring text;
        if (!ReadQuoted(s, p, text)) {
            why = L"der Text endet ohne Anführungszeichen";
            return false;
        }
        v.type = REG_SZ;
        v.bytes = Utf16Bytes(text) + std::string(2, '\0');
        return true;
    }
    if (at(L"dword:")) {
        p += 6;
        unsigned long value = 0;
        int digits = 0;
        for (; p < s.size() && HexDigit(s[p]) >= 0; ++p, ++digits) value = value * 16 + HexDigit(s[p]);
        p = SkipBlanks(s, p);
        if (digits == 0 || digits > 8 || (p < s.size() && s[p] != L';')) {
            why = L"keine Zahl aus 1 bis 8 Hexadezimalziffern nach dword:";
            return false;
        }
        v.type = REG_DWORD;
        const DWORD d = static_cast<DWORD>(value);
        v.bytes.assign(reinterpret_cast<const char*>(&d), 4);
        return true;
    }
    if (at(L"hex:")) {
        v.type = REG_BINARY;
        p += 4;
    } else if (at(L"hex(")) {
        p += 4;
        unsigned long type = 0;
        int digits = 0;
        for (; p < s.size() && HexDigit(s[p]) >= 0; ++p, ++digits) type = type * 16 + HexDigit(s[p]);
        if (digits == 0 || digits > 8 || s.compare(p, 2, L"):") != 0) {
            why = L"unlesbarer Datentyp in hex(...)";
            return false;
        }
        v.type = static_cast<DWORD>(type);
        p += 2;
    } else {
        why = L"unbekannte Art von Daten";
        return false;
    }
    if (!ReadHexList(lines, index, p, v.bytes, why)) return false;
    // REGEDIT4 files hold the string types in ANSI, also as hex; the editor stores them as UTF-16.
    if (!unicodeSyntax && (v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ))
        v.bytes = Utf16Bytes(FromAnsi(v.bytes));
    return true;
}

}  // namespace

RootKey RootFromName(const std::wstring& name) {
    static const struct {
        const wchar_t* name;
        RootKey root;
    } roots[] = {{L"HKEY_CLASSES_ROOT", kHKCR}, {L"HKEY_CURRENT_USER", kHKCU}, {L"HKEY_LOCAL_MACHINE", kHKLM},
                 {L"HKEY_USERS", kHKU}, {L"HKEY_PERFORMANCE_DATA", kHKPD}, {L"HKEY_CURRENT_CONFIG", kHKCC},
                 {L"HKEY_DYN_DATA", kHKDD}};
    const std::wstring upper = [&] {
        std::wstring u = name;
        for (wchar_t& c : u) c = static_cast<wchar_t>(std::towupper(c));
        return u;
    }();
    for (const auto& r : roots)
        if (upper == r.name) return r.root;
    return 0;
}

RegFile ParseRegText(const std::wstring& text) {
    RegFile file;
    const std::vector<std::wstring> lines = SplitLines(text);
    const std::wstring header = lines.empty() ? std::wstring() : Trim(lines[0]);
    if (header == kHeader5) {
        file.unicodeSyntax = true;
    } else if (header != kHeader4) {
        file.problem = L"Zeile 1: keine Registrierungsdatei (die erste Zeile ist weder \"" + std::wstring(kHeader5) +
                       L"\" noch \"" + kHeader4 + L"\")";
        return file;
    }
    file.valid = true;
    // A file that does not end with a line break may have been cut off in its last line.
    const bool cutOff = !text.empty() && text.back() != L'\n';
    auto bad = [&](size_t index, const std::wstring& why) {
        if (file.problem.empty())
            file.problem = L"Zeile " + std::to_wstring(index + 1) + L": " + why +
                           (cutOff && index + 1 == lines.size() && why.find(L"abgeschnitten") == std::wstring::npos
                                ? L" (die Datei ist abgeschnitten)"
                                : L"");
        ++file.badLines;
    };
    RegFileKey* current = nullptr;
    std::wstring note;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::wstring& s = lines[i];
        size_t p = SkipBlanks(s, 0);
        if (p < s.size() && s[p] == L';' && s.compare(p, wcslen(kUndoNote), kUndoNote) == 0) {
            note = Trim(s.substr(p + wcslen(kUndoNote)));
            continue;
        }
        if (p >= s.size() || s[p] == L';' || s[p] == L'#') continue;
        if (s[p] == L'[') {
            // Key names may hold "]": the section name ends at the last one.
            const size_t end = s.rfind(L']');
            current = nullptr;
            if (end == std::wstring::npos || end <= p) {
                bad(i, L"der Schlüsselname endet ohne \"]\"");
                continue;
            }
            std::wstring name = s.substr(p + 1, end - p - 1);
            RegFileKey key;
            key.line = static_cast<int>(i + 1);
            key.note = note;
            if (!name.empty() && name[0] == L'-') {
                key.remove = true;
                name.erase(0, 1);
            }
            while (!name.empty() && name.back() == L'\\') name.pop_back();
            const size_t cut = name.find(L'\\');
            key.root = RootFromName(name.substr(0, cut));
            // The editor reads on, writing nothing below an unknown root; the write-back refuses it.
            if (key.root == 0 && file.problem.empty())
                file.problem = L"Zeile " + std::to_wstring(i + 1) + L": unbekannter Hauptschlüssel \"" +
                               name.substr(0, cut) + L"\"";
            if (cut != std::wstring::npos) key.path = name.substr(cut + 1);
            file.keys.push_back(std::move(key));
            if (!file.keys.back().remove) current = &file.keys.back();
            continue;
        }
        if (s[p] != L'@' && s[p] != L'"') {
            bad(i, L"weder ein Schlüssel noch ein Wert noch ein Kommentar");
            continue;
        }
        RegFileValue v;
        v.line = static_cast<int>(i + 1);
        if (s[p] == L'@') {
            ++p;
        } else if (!ReadQuoted(s, p, v.name)) {
            bad(i, L"der Wertname endet ohne Anführungszeichen");
            continue;
        }
        p = SkipBlanks(s, p);
        if (p >= s.size() || s[p] != L'=') {
            bad(i, L"nach dem Wertnamen fehlt \"=\"");
            continue;
        }
        p = SkipBlanks(s, p + 1);
        const size_t first = i;
        std::wstring why;
        if (!ReadData(lines, i, p, file.unicodeSyntax, v, why)) {
            bad(first, why);
            continue;
        }
        // Values outside a section have nowhere to go; the editor drops them.
        if (!current) {
            bad(first, L"der Wert steht unter keinem Schlüssel");
            continue;
        }
        current->values.push_back(std::move(v));
    }
    // A last line that reads well may still have lost its end: the program writes every number
    // of a dword with eight digits and never ends a line of bytes with a comma.
    if (cutOff && file.problem.empty()) {
        const std::wstring last = Trim(lines.back());
        const size_t dword = last.rfind(L"=dword:");
        if ((!last.empty() && last.back() == L',') || (dword != std::wstring::npos && last.size() - dword - 7 < 8))
            file.problem = L"Zeile " + std::to_wstring(lines.size()) +
                           L": die Datei endet mitten in dieser Zeile (sie ist abgeschnitten)";
    }
    return file;
}

RegFile ReadRegFile(const std::wstring& path) {
    UniqueHFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) RaiseWin32(GetLastError());
    const HANDLE h = file.get();
    std::string bytes;
    char buf[65536];
    DWORD n = 0;
    BOOL ok;
    while ((ok = ReadFile(h, buf, sizeof buf, &n, nullptr)) && n) bytes.append(buf, n);
    const DWORD error = GetLastError();
    file.reset();
    if (!ok) RaiseWin32(error);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        RegFile file =
            ParseRegText(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2));
        // Two bytes make a character: half of one means the end of the file is missing.
        if (bytes.size() % 2 && file.valid && file.problem.empty())
            file.problem = L"die Datei endet mitten in einem Zeichen (sie ist abgeschnitten)";
        return file;
    }
    return ParseRegText(FromAnsi(bytes));
}
