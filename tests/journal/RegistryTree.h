// tests/journal/RegistryTree.h
#pragma once
// Helpers for tests that compare registry trees byte for byte and write undo files back with the
// registry editor.
#include "main/ClassHandler.h"
#include "core/Text.h"
#include "journal/UndoFile.h"
#include "registry/clsKeyFunc.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace regtree {


const std::wstring kHeader5 = L"Windows Registry Editor Version 5.00\r\n\r\n";
const std::wstring kHeader4 = L"REGEDIT4\r\n\r\n";

inline clsKeyFunc& KF() { return ClassHandler().KeyFunc(); }

inline void SetRaw(HKEY base, const std::wstring& key, const std::wstring& name, DWORD type, const void* data, size_t bytes) {
    RegKey h;
    ASSERT_EQ(h.Create(base, key), ERROR_SUCCESS) << ToUtf8(key);
    ASSERT_EQ(RegSetValueExW(h.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes)),
              ERROR_SUCCESS)
        << ToUtf8(name);
}
inline void SetText(HKEY base, const std::wstring& key, const std::wstring& name, DWORD type, const std::wstring& text) {
    SetRaw(base, key, name, type, text.c_str(), (text.size() + 1) * 2);
}
inline void SetData(HKEY base, const std::wstring& key, const std::wstring& name, DWORD type, const std::string& bytes) {
    SetRaw(base, key, name, type, bytes.data(), bytes.size());
}
inline bool KeyThere(HKEY base, const std::wstring& key) {
    RegKey h;
    return h.Open(base, key, KEY_READ) == ERROR_SUCCESS;
}

// Every key below (and including) `key`, relative path -> values (name, type, exact bytes).
using Values = std::map<std::wstring, std::pair<DWORD, std::string>>;
using Tree = std::map<std::wstring, Values>;
inline Tree Snapshot(HKEY base, const std::wstring& key) {
    Tree tree;
    std::vector<std::wstring> todo{L""};
    while (!todo.empty()) {
        std::wstring rel = todo.back();
        todo.pop_back();
        RegKey h;
        if (h.Open(base, rel.empty() ? key : key + L"\\" + rel, KEY_READ) != ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot open " << ToUtf8(rel);
            continue;
        }
        Values& vals = tree[rel];
        RegValue v;
        for (DWORD i = 0; EnumValue(h.get(), i, v) == ERROR_SUCCESS; ++i)
            vals[v.name] = {v.type, std::string(reinterpret_cast<const char*>(v.data.data()), v.bytes)};
        std::wstring sub;
        for (DWORD i = 0; EnumKey(h.get(), i, sub) == ERROR_SUCCESS; ++i) todo.push_back(rel.empty() ? sub : rel + L"\\" + sub);
    }
    return tree;
}
inline std::string Hex(const std::string& b) {
    std::string s;
    char x[4];
    for (unsigned char c : b) { snprintf(x, sizeof x, "%02x ", c); s += x; }
    return s;
}
// Lists every difference; empty when both trees hold the same keys and values, byte for byte.
inline std::string Differences(const Tree& want, const Tree& got) {
    std::string out;
    for (const auto& [k, vals] : want) {
        auto it = got.find(k);
        if (it == got.end()) { out += "missing key [" + ToUtf8(k) + "]\n"; continue; }
        for (const auto& [n, tv] : vals) {
            auto jt = it->second.find(n);
            if (jt == it->second.end()) out += "missing value [" + ToUtf8(k) + "] \"" + ToUtf8(n) + "\"\n";
            else if (jt->second != tv)
                out += "value [" + ToUtf8(k) + "] \"" + ToUtf8(n) + "\": type " + std::to_string(tv.first) + " " +
                       Hex(tv.second) + "-> type " + std::to_string(jt->second.first) + " " + Hex(jt->second.second) + "\n";
        }
        for (const auto& [n, tv] : it->second)
            if (!vals.count(n)) out += "extra value [" + ToUtf8(k) + "] \"" + ToUtf8(n) + "\"\n";
    }
    for (const auto& [k, vals] : got)
        if (!want.count(k)) out += "extra key [" + ToUtf8(k) + "]\n";
    return out;
}

inline std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t p; (p = text.find(L"\r\n", start)) != std::wstring::npos; start = p + 2) lines.push_back(text.substr(start, p - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}
inline std::wstring FileText(const std::wstring& path) {
    std::string b = ReadBytes(path);
    if (b.size() >= 2 && (unsigned char)b[0] == 0xFF && (unsigned char)b[1] == 0xFE)
        return std::wstring(reinterpret_cast<const wchar_t*>(b.data() + 2), (b.size() - 2) / 2);
    return FromAnsi(b);
}

// Writes a file back with the registry editor, as the backup area does.
inline DWORD RunRegedit(const std::wstring& file) { return RunAndWait(L"regedit.exe /s \"" + file + L"\""); }

inline std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s += static_cast<char>(c);
    return s;
}
inline std::string Utf16(const std::wstring& s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2); }

// Puts a seam (a static std::function of the program's) back as it was when it goes out of scope.
template <class F>
class SeamGuard {
public:
    explicit SeamGuard(F& seam) : seam_(seam), saved_(seam) {}
    ~SeamGuard() { seam_ = saved_; }
    SeamGuard(const SeamGuard&) = delete;
    SeamGuard& operator=(const SeamGuard&) = delete;
    const F& Saved() const { return saved_; }

private:
    F& seam_;
    const F saved_;
};

// While it lives, the undo files' writes fail as on a full disk once `writes` of them went through.
class DiskFullAfter {
public:
    explicit DiskFullAfter(int writes) {
        UndoFile::WriteAction() = [left = writes](HANDLE h, const void* d, DWORD n, DWORD* w) mutable {
            if (left-- <= 0) {
                SetLastError(ERROR_DISK_FULL);
                return FALSE;
            }
            return WriteFile(h, d, n, w, nullptr);
        };
    }
    ~DiskFullAfter() {
        UndoFile::WriteAction() = [](HANDLE h, const void* d, DWORD n, DWORD* w) { return WriteFile(h, d, n, w, nullptr); };
    }
};
}  // namespace regtree
