// app/scan/ScanReport.cpp
#include "scan/ScanReport.h"
#include "core/Trap.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "registry/clsKeyFunc.h"
#include <windows.h>
#include <algorithm>
#include <cwchar>

const wchar_t* const kResultColumns[kResultColumnCount] = {L"Registryschlüssel", L"Variable", L"Wert", L"HKey", L"Grund", L"Gesucht"};

std::wstring JsonString(const std::wstring& s) {
    std::wstring out = L"\"";
    for (wchar_t c : s) {
        switch (c) {
        case L'"': out += L"\\\""; break;
        case L'\\': out += L"\\\\"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        case L'\t': out += L"\\t"; break;
        default:
            if (c < 0x20) {
                wchar_t buf[8];
                swprintf(buf, 8, L"\\u%04x", static_cast<unsigned>(c));
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + L"\"";
}

namespace {
std::wstring Number(double v) {
    wchar_t buf[32];
    swprintf(buf, 32, L"%.2f", v);
    return buf;
}

// A cell must not break the table: TAB and line ends become blanks.
std::wstring Cell(std::wstring s) {
    for (wchar_t& c : s)
        if (c == L'\t' || c == L'\r' || c == L'\n') c = L' ';
    return s;
}
}  // namespace

std::wstring ScanJsonDocument(const ScanEngine& engine, const std::vector<ResultRow>& rows,
                              const RemovalResult* removal) {
    const auto& Json = JsonString;
    std::wstring j = L"{\n  \"rows\": [";
    for (size_t i = 0; i < rows.size(); ++i) {
        const ResultRow& r = rows[i];
        j += i ? L",\n    {" : L"\n    {";
        j += L"\"item\": " + Json(r.item) + L", \"root\": " + Json(clsKeyFunc::HiveName(r.hit.root)) +
             L", \"key\": " + Json(r.hit.key) + L", \"value_name\": " + Json(r.hit.name) + L", \"data\": " +
             Json(r.hit.DisplayData()) + L", \"rule\": " + Json(FindingId(r.finding)) + L", \"rule_text\": " +
             Json(FindingText(r.finding)) + L", \"looked_for\": " + Json(r.lookedFor);
        // Rows of another installation name the hive file they were read from.
        if (const std::wstring hive = engine.Source().Origin(r.hit); !hive.empty()) j += L", \"hive\": " + Json(hive);
        j += L"}";
    }
    j += rows.empty() ? L"],\n" : L"\n  ],\n";
    j += L"  \"rating\": " + Json(engine.RatingText()) + L",\n";
    j += L"  \"errors\": " + std::to_wstring(rows.size()) + L",\n";
    j += L"  \"total\": " + std::to_wstring(engine.Total()) + L",\n";
    j += L"  \"percent\": " + Number(engine.Percent());
    if (removal) {
        j += L",\n  \"removal\": {\"completed\": " + std::wstring(removal->completed ? L"true" : L"false") +
             L", \"undo_file\": " + Json(removal->undoFile) + L", \"removed\": " + std::to_wstring(removal->removed) +
             L", \"failed\": " + std::to_wstring(removal->failed) + L", \"report\": " + Json(removal->report) +
             L", \"message\": " + Json(removal->errorMessage) + L"}";
    }
    return j + L"\n}";
}

std::wstring ScanTextTable(const std::vector<ResultRow>& rows) {
    std::wstring t;
    for (int c = 0; c < kResultColumnCount; ++c) t += (c ? L"\t" : L"") + std::wstring(kResultColumns[c]);
    t += L"\r\n";
    for (const ResultRow& r : rows)
        t += Cell(r.item) + L"\t" + Cell(r.name) + L"\t" + Cell(r.data) + L"\t" + Cell(r.rootText) + L"\t" +
             FindingText(r.finding) + L"\t" + Cell(r.lookedFor) + L"\r\n";
    return t;
}

void WriteUtf8File(const std::wstring& path, const std::wstring& text, bool byteOrderMark) {
    std::string bytes = byteOrderMark ? "\xEF\xBB\xBF" : "";
    bytes += ToUtf8(text);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) RaiseWin32(GetLastError());
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const DWORD error = GetLastError();
    const BOOL closed = CloseHandle(h);
    if (!ok || written != bytes.size()) RaiseWin32(ok ? ERROR_HANDLE_DISK_FULL : error);
    if (!closed) RaiseWin32(GetLastError());
}

namespace {
void WriteUnicodeRegFile(const std::wstring& path, const std::wstring& text) {
    std::wstring all = L"\xFEFF" L"Windows Registry Editor Version 5.00\r\n\r\n" + text;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) RaiseWin32(GetLastError());
    const DWORD bytes = static_cast<DWORD>(all.size() * sizeof(wchar_t));
    DWORD written = 0;
    const BOOL ok = WriteFile(h, all.data(), bytes, &written, nullptr);
    const DWORD error = GetLastError();
    const BOOL closed = CloseHandle(h);
    if (!ok || written != bytes) RaiseWin32(ok ? ERROR_HANDLE_DISK_FULL : error);
    if (!closed) RaiseWin32(GetLastError());
}
}  // namespace

std::wstring WriteOfflineRemoval(const std::vector<ResultRow>& rows, const OfflineRegistry& source,
                                 const std::wstring& path, std::vector<std::wstring>& kept) {
    struct Key {
        std::wstring name;  // as the installation names it when it runs
        const ScanHit* hit;
    };
    std::vector<Key> keys;
    for (const ResultRow& r : rows) keys.push_back({source.RunningName(r.hit.root, r.hit.key, r.hit.part), &r.hit});
    // As the removal on a running system: each row's key goes with everything below it, each key
    // once, a key below one that goes with it; the undo file holds each of them whole.
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return ToLower(a.name) < ToLower(b.name); });
    std::wstring removal, undo, last;
    for (const Key& k : keys) {
        const std::wstring lower = ToLower(k.name);
        if (!last.empty() && (lower == last || lower.starts_with(last + L"\\"))) continue;
        last = lower;
        // A key whose undo cannot be written exactly stays out of the removal, with the reason.
        try {
            undo += source.ExportKey(k.hit->root, k.hit->key, k.hit->part);
        } catch (...) {
            kept.push_back(k.name + L" " + CurrentError().description);
            continue;
        }
        removal += L"[-" + k.name + L"]\r\n\r\n";
    }
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring undoPath = path.substr(0, slash + 1) + L"Rückgängig_" + path.substr(slash + 1);
    WriteUnicodeRegFile(undoPath, undo);
    WriteUnicodeRegFile(path, removal);
    return undoPath;
}
