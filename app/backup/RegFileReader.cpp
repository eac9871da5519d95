// app/backup/RegFileReader.cpp
#include "backup/RegFileReader.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
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

// "xx,xx,..." possibly continued over following lines with a trailing "\".
bool ReadHexList(const std::vector<std::wstring>& lines, size_t& index, size_t p, std::string& out) {
    std::wstring s = lines[index];
    for (;;) {
        p = SkipBlanks(s, p);
        if (p >= s.size()) return true;
        if (s[p] == L'\\') {
            if (SkipBlanks(s, p + 1) != s.size()) return false;
            // Comment lines may stand between continuation lines.
            do {
                if (++index >= lines.size()) return false;
                s = lines[index];
                p = SkipBlanks(s, 0);
            } while (p < s.size() && s[p] == L';');
            continue;
        }
        if (s[p] == L';') return true;  // comment after the data
        int hi = HexDigit(s[p]);
        int lo = p + 1 < s.size() ? HexDigit(s[p + 1]) : -1;
        if (hi < 0) return false;
        if (lo < 0) {  // a single digit is a byte too
            out += static_cast<char>(hi);
            p += 1;
        } else {
            out += static_cast<char>(hi * 16 + lo);
            p += 2;
        }
        p = SkipBlanks(s, p);
        if (p < s.size() && s[p] == L',') ++p;
        else if (p < s.size() && s[p] != L'\\' && s[p] != L';') return false;
    }
}

std::string Utf16Bytes(const std::wstring& s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(wchar_t));
}

// The data part of a value line from p; false when the editor could not read it.
bool ReadData(const std::vector<std::wstring>& lines, size_t& index, size_t p, bool unicodeSyntax, RegFileValue& v) {
    const std::wstring& s = lines[index];
    auto at = [&](const wchar_t* word) { return s.compare(p, wcslen(word), word) == 0; };
    if (at(L"-")) {
        v.remove = true;
        return SkipBlanks(s, p + 1) == s.size();
    }
    if (at(L"\"")) {
        std::wstring text;
        if (!ReadQuoted(s, p, text)) return false;
        v.type = REG_SZ;
        v.bytes = Utf16Bytes(text) + std::string(2, '\0');
        return true;
    }
    if (at(L"dword:")) {
        p += 6;
        unsigned long value = 0;
        int digits = 0;
        for (; p < s.size() && HexDigit(s[p]) >= 0; ++p, ++digits) value = value * 16 + HexDigit(s[p]);
        if (digits == 0 || digits > 8) return false;
        p = SkipBlanks(s, p);
        if (p < s.size() && s[p] != L';') return false;
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
        if (digits == 0 || digits > 8 || s.compare(p, 2, L"):") != 0) return false;
        v.type = static_cast<DWORD>(type);
        p += 2;
    } else {
        return false;
    }
    if (!ReadHexList(lines, index, p, v.bytes)) return false;
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
    if (lines.empty()) return file;
    const std::wstring header = Trim(lines[0]);
    if (header == kHeader5) file.unicodeSyntax = true;
    else if (header != kHeader4) return file;
    file.valid = true;
    RegFileKey* current = nullptr;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::wstring& s = lines[i];
        size_t p = SkipBlanks(s, 0);
        if (p >= s.size() || s[p] == L';' || s[p] == L'#') continue;
        if (s[p] == L'[') {
            // Key names may hold "]": the section name ends at the last one.
            const size_t end = s.rfind(L']');
            current = nullptr;
            if (end == std::wstring::npos || end <= p) {
                ++file.badLines;
                continue;
            }
            std::wstring name = s.substr(p + 1, end - p - 1);
            RegFileKey key;
            if (!name.empty() && name[0] == L'-') {
                key.remove = true;
                name.erase(0, 1);
            }
            while (!name.empty() && name.back() == L'\\') name.pop_back();
            const size_t cut = name.find(L'\\');
            key.root = RootFromName(name.substr(0, cut));
            if (cut != std::wstring::npos) key.path = name.substr(cut + 1);
            file.keys.push_back(std::move(key));
            if (!file.keys.back().remove) current = &file.keys.back();
            continue;
        }
        if (s[p] != L'@' && s[p] != L'"') {
            ++file.badLines;
            continue;
        }
        RegFileValue v;
        if (s[p] == L'@') {
            ++p;
        } else if (!ReadQuoted(s, p, v.name)) {
            ++file.badLines;
            continue;
        }
        p = SkipBlanks(s, p);
        if (p >= s.size() || s[p] != L'=') {
            ++file.badLines;
            continue;
        }
        p = SkipBlanks(s, p + 1);
        if (!ReadData(lines, i, p, file.unicodeSyntax, v)) {
            ++file.badLines;
            continue;
        }
        // Values outside a section have nowhere to go; the editor drops them.
        if (!current) {
            ++file.badLines;
            continue;
        }
        current->values.push_back(std::move(v));
    }
    return file;
}

RegFile ReadRegFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) RaiseWin32(GetLastError());
    std::string bytes;
    char buf[65536];
    DWORD n = 0;
    BOOL ok;
    while ((ok = ReadFile(h, buf, sizeof buf, &n, nullptr)) && n) bytes.append(buf, n);
    const DWORD error = GetLastError();
    CloseHandle(h);
    if (!ok) RaiseWin32(error);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
        return ParseRegText(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2));
    return ParseRegText(FromAnsi(bytes));
}
