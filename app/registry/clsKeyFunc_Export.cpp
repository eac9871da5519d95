// app/registry/clsKeyFunc_Export.cpp
// Export of a key tree in the registry editor's file syntax, and deletion of a whole tree.
// Both walk the tree with an explicit stack: keys may nest deeper than a thread's stack allows.
#include "core/RuntimeError.h"
#include "registry/clsKeyFunc.h"
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// regedit starts a continuation line once a hex line has reached this many characters.
constexpr size_t kHexLineLimit = 77;

// The ANSI form of a text, only when it converts back to exactly the same text.
bool AnsiExact(std::wstring_view s, std::string& out) {
    out.clear();
    if (s.empty()) return true;
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out.resize(n);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                        &usedDefault);
    if (usedDefault) return false;
    int back = MultiByteToWideChar(CP_ACP, 0, out.data(), n, nullptr, 0);
    if (back != static_cast<int>(s.size())) return false;
    std::wstring check(back, L'\0');
    MultiByteToWideChar(CP_ACP, 0, out.data(), n, check.data(), back);
    return check == s;
}

// Quoted-string escapes as regedit writes and reads them.
void AppendEscaped(std::wstring& out, std::wstring_view s) {
    for (wchar_t c : s) {
        switch (c) {
        case L'\\': out += L"\\\\"; break;
        case L'"': out += L"\\\""; break;
        case L'\r': out += L"\\r"; break;
        case L'\n': out += L"\\n"; break;
        default: out += c;
        }
    }
}

// The data of a string value as text, when the quoted form gives back exactly these bytes on
// import: an even size, one terminating zero and no other, no line breaks (written as hex).
bool PlainString(const RegValue& v, std::wstring_view& text) {
    if (v.bytes < 2 || v.bytes % 2) return false;
    std::wstring_view all(v.data.data(), v.bytes / 2);
    if (all.back() != L'\0') return false;
    text = all.substr(0, all.size() - 1);
    return text.find_first_of(std::wstring_view(L"\0\r\n", 3)) == std::wstring_view::npos;
}

// A name as the message shows it: line breaks and NUL characters visible.
std::wstring Shown(std::wstring_view name) {
    std::wstring out;
    for (wchar_t c : name) {
        if (c == L'\r') out += L"\\r";
        else if (c == L'\n') out += L"\\n";
        else if (c == L'\0') out += L"\\0";
        else out += c;
    }
    return out;
}

// The registry editor reads a section name up to the end of its line and a NUL ends every name:
// a key name with a line break or a NUL would come back as another key (or none).
void RefuseKeyName(std::wstring_view path) {
    if (path.find_first_of(std::wstring_view(L"\r\n\0", 3)) != std::wstring_view::npos)
        Raise(Err::PathFileAccess, L"lässt sich nicht unverändert sichern: der Schlüsselname \"" + Shown(path) +
                                       L"\" enthält einen Zeilenumbruch oder ein NUL-Zeichen");
}

// A value the registry editor would read back as another one: a NUL in its name; a text type
// written as bytes that does not end with its terminating zero (the editor adds one) or has an
// odd size; a text that a REGEDIT4 file cannot hold in ANSI.
void RefuseValue(const RegValue& v, bool unicode, std::string& ansi) {
    const std::wstring what = L"lässt sich nicht unverändert sichern: der Wert" +
                              (v.name.empty() ? std::wstring(L" @") : L" \"" + Shown(v.name) + L"\"");
    if (v.name.find(L'\0') != std::wstring::npos) Raise(Err::PathFileAccess, what + L" hat ein NUL-Zeichen im Namen");
    if ((v.type != REG_SZ && v.type != REG_EXPAND_SZ && v.type != REG_MULTI_SZ) || v.bytes == 0) return;
    std::wstring_view text;
    if (v.type == REG_SZ && PlainString(v, text) && (unicode || AnsiExact(text, ansi))) return;
    if (v.bytes % 2 || v.data[v.bytes / 2 - 1] != L'\0')
        Raise(Err::PathFileAccess, what + L" ist ein Text ohne abschließendes NUL-Zeichen (der Registrierungs-Editor "
                                          L"fügte beim Zurückschreiben eines an)");
    if (!unicode && !AnsiExact(std::wstring_view(v.data.data(), v.bytes / 2), ansi))
        Raise(Err::PathFileAccess, what + L" ist ein Text, den das Format REGEDIT4 nicht unverändert hält");
}

// Opens a key for reading without following it where it is a link to another key.
LSTATUS OpenUnfollowed(HKEY parent, const std::wstring& path, RegKey& out) {
    HKEY h = nullptr;
    const LSTATUS rc = RegOpenKeyExW(parent, path.c_str(), REG_OPTION_OPEN_LINK, KEY_READ, &h);
    out = RegKey(rc == ERROR_SUCCESS ? h : nullptr);
    return rc;
}

// A key made as a link (REG_OPTION_CREATE_LINK) names its target in this value. Its export would
// save the target under the link's name, and writing that back would make a key where the link
// was: a tree that holds a link is neither saved nor deleted.
void RefuseLink(HKEY key, const std::wstring& path, bool itself) {
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS || type != REG_LINK)
        return;
    Raise(Err::PathFileAccess, itself ? std::wstring(L"ist eine Verknüpfung auf einen anderen Schlüssel; Torvane folgt ihr nicht")
                                      : L"enthält die Verknüpfung \"" + Shown(path) +
                                            L"\" auf einen anderen Schlüssel; Torvane folgt ihr nicht");
}

// Appends bytes as regedit's hex list: "xx,xx,..." with a "\" continuation line indented by two
// blanks whenever the line has reached the limit. `column` is the length of the line so far.
void AppendHex(std::wstring& out, const unsigned char* p, size_t size, size_t column) {
    static const wchar_t digits[] = L"0123456789abcdef";
    out.reserve(out.size() + size * 3 + size / 25 * 5 + 8);
    for (size_t i = 0; i < size; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
        if (i + 1 == size) break;
        out += L',';
        column += 3;
        if (column >= kHexLineLimit) {
            out += L"\\\r\n  ";
            column = 2;
        }
    }
}

void AppendHexValue(std::wstring& out, size_t lineStart, DWORD type, const void* data, size_t size) {
    if (type == REG_BINARY) {
        out += L"hex:";
    } else {
        wchar_t prefix[16];
        swprintf(prefix, 16, L"hex(%x):", static_cast<unsigned>(type));
        out += prefix;
    }
    AppendHex(out, static_cast<const unsigned char*>(data), size, out.size() - lineStart);
}

// One value line. For REGEDIT4 the data of string types is written in ANSI where ANSI holds it
// exactly; otherwise the UTF-16 bytes are kept, so the file never holds a different string.
void AppendValue(std::wstring& out, const RegValue& v, bool unicode, std::string& ansi) {
    RefuseValue(v, unicode, ansi);
    const size_t lineStart = out.size();
    if (v.name.empty()) {
        out += L"@=";
    } else {
        out += L'"';
        AppendEscaped(out, v.name);
        out += L"\"=";
    }
    const void* bytes = v.data.data();
    std::wstring_view text;
    switch (v.type) {
    case REG_SZ:
        if (PlainString(v, text) && (unicode || AnsiExact(text, ansi))) {
            out += L'"';
            AppendEscaped(out, text);
            out += L'"';
            break;
        }
        [[fallthrough]];
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ:
        if (!unicode && v.bytes % 2 == 0 && AnsiExact(std::wstring_view(v.data.data(), v.bytes / 2), ansi)) {
            AppendHexValue(out, lineStart, v.type, ansi.data(), ansi.size());
            break;
        }
        AppendHexValue(out, lineStart, v.type, bytes, v.bytes);
        break;
    case REG_DWORD:
        if (v.bytes == 4) {
            DWORD d;
            memcpy(&d, bytes, 4);
            wchar_t buf[16];
            swprintf(buf, 16, L"dword:%08x", static_cast<unsigned>(d));
            out += buf;
            break;
        }
        [[fallthrough]];
    default:
        AppendHexValue(out, lineStart, v.type, bytes, v.bytes);
    }
    out += L"\r\n";
}

// Section header, every value of the key, and the empty line that ends the section.
void AppendSection(std::wstring& out, HKEY key, const std::wstring& path, bool unicode) {
    clsKeyFunc::AppendSectionLine(out, path);
    RegValue v;
    std::string ansi;
    for (DWORD i = 0;; ++i) {
        LSTATUS rc = EnumValue(key, i, v);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) RaiseWin32(rc);
        AppendValue(out, v, unicode, ansi);
    }
    out += L"\r\n";
}

}  // namespace

void clsKeyFunc::AppendSectionLine(std::wstring& out, std::wstring_view path) {
    RefuseKeyName(path);
    out.reserve(out.size() + path.size() + 4);
    out += L'[';
    out += path;
    out += L"]\r\n";
}

void clsKeyFunc::AppendExportLine(std::wstring& out, const RegValue& value, bool unicode) {
    std::string ansi;
    AppendValue(out, value, unicode, ansi);
}

std::wstring clsKeyFunc::ExportKey(RootKey root, const std::wstring& key, bool unicode) {
    struct Frame {
        RegKey key;
        std::wstring path;
        DWORD next = 0;
    };
    std::vector<Frame> stack;
    std::wstring out;
    {
        Frame top;
        if (LSTATUS rc = OpenUnfollowed(ToHkey(root), key, top.key); rc != ERROR_SUCCESS) RaiseWin32(rc);
        top.path = HiveName(root);
        if (!key.empty()) top.path += L"\\" + key;
        RefuseLink(top.key.get(), top.path, true);
        AppendSection(out, top.key.get(), top.path, unicode);
        stack.push_back(std::move(top));
    }
    std::wstring name;
    while (!stack.empty()) {
        Frame& f = stack.back();
        LSTATUS rc = EnumKey(f.key.get(), f.next, name);
        if (rc == ERROR_NO_MORE_ITEMS) {
            stack.pop_back();
            continue;
        }
        if (rc != ERROR_SUCCESS) RaiseWin32(rc);
        ++f.next;
        // A sub-key that cannot be read would be deleted without being saved: refuse instead.
        Frame child;
        if ((rc = OpenUnfollowed(f.key.get(), name, child.key)) != ERROR_SUCCESS) RaiseWin32(rc);
        child.path.reserve(f.path.size() + 1 + name.size());
        child.path = f.path;
        child.path += L'\\';
        child.path += name;
        RefuseLink(child.key.get(), child.path, false);
        AppendSection(out, child.key.get(), child.path, unicode);
        stack.push_back(std::move(child));
    }
    return out;
}

bool clsKeyFunc::DelKeyTree(RootKey root, const std::wstring& key) {
    // Never a whole root.
    if (key.empty()) return false;
    // Keys are opened without following symbolic links, and every key is deleted through its own
    // handle, so nothing a link points at outside the tree is ever touched.
    constexpr REGSAM kAccess = KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE;
    struct Frame {
        RegKey key;
        DWORD skip = 0;  // sub-keys that could not be deleted stay at the front of the enumeration
    };
    auto open = [](HKEY parent, const std::wstring& path, RegKey& out) {
        HKEY h = nullptr;
        LSTATUS rc = RegOpenKeyExW(parent, path.c_str(), REG_OPTION_OPEN_LINK, kAccess, &h);
        out = RegKey(rc == ERROR_SUCCESS ? h : nullptr);
        return rc;
    };
    std::vector<Frame> stack;
    {
        Frame top;
        LSTATUS rc = open(ToHkey(root), key, top.key);
        if (rc == ERROR_FILE_NOT_FOUND) return true;
        if (rc != ERROR_SUCCESS) return false;
        stack.push_back(std::move(top));
    }
    std::wstring name;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (EnumKey(f.key.get(), f.skip, name) == ERROR_SUCCESS) {
            Frame child;
            if (open(f.key.get(), name, child.key) != ERROR_SUCCESS) {
                ++f.skip;
                continue;
            }
            stack.push_back(std::move(child));
            continue;
        }
        // All sub-keys are gone (or could not be): delete this key through its own handle.
        const bool left = f.skip > 0;
        const bool deleted = !left && RegDeleteKeyW(f.key.get(), L"") == ERROR_SUCCESS;
        stack.pop_back();
        if (!deleted && !stack.empty()) ++stack.back().skip;
    }
    RegKey check;
    return check.Open(ToHkey(root), key, KEY_QUERY_VALUE) == ERROR_FILE_NOT_FOUND;
}

std::wstring clsKeyFunc::ExportValue(RootKey root, const std::wstring& key, const std::wstring& name, bool unicode) {
    std::wstring out;
    AppendSectionLine(out, HiveName(root) + (key.empty() ? L"" : L"\\" + key));
    RegKey k;
    LSTATUS rc = OpenUnfollowed(ToHkey(root), key, k);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) RaiseWin32(rc);
    if (rc == ERROR_SUCCESS) RefuseLink(k.get(), key, true);
    RegValue v;
    v.name = name;
    if (rc == ERROR_SUCCESS) {
        DWORD type = 0, size = 0;
        rc = RegQueryValueExW(k.get(), name.c_str(), nullptr, &type, nullptr, &size);
        std::vector<BYTE> data;
        while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
            data.resize(size + 2);
            DWORD got = size;
            rc = RegQueryValueExW(k.get(), name.c_str(), nullptr, &type, data.data(), &got);
            size = got;
            if (rc == ERROR_SUCCESS) break;
        }
        if (rc == ERROR_SUCCESS) {
            v.type = type;
            v.bytes = size;
            v.data.assign((size + 1) / 2, L'\0');
            if (size) std::memcpy(v.data.data(), data.data(), size);
            std::string ansi;
            AppendValue(out, v, unicode, ansi);
            return out + L"\r\n";
        }
        if (rc != ERROR_FILE_NOT_FOUND) RaiseWin32(rc);
    }
    AppendRemovalLine(out, name);
    return out + L"\r\n";
}

void clsKeyFunc::AppendRemovalLine(std::wstring& out, const std::wstring& name) {
    if (name.empty()) {
        out += L"@=-";
    } else {
        out += L'"';
        AppendEscaped(out, name);
        out += L"\"=-";
    }
    out += L"\r\n";
}
