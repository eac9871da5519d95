// app/scan/ScanReport.cpp
#include "scan/ScanReport.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "registry/clsKeyFunc.h"
#include <windows.h>
#include <cwchar>

const wchar_t* const kResultColumns[5] = {L"Registryschlüssel", L"Variable", L"Wert", L"HKey", L"Grund"};

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
             Json(FindingText(r.finding)) + L", \"looked_for\": " + Json(r.lookedFor) + L"}";
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
    for (size_t c = 0; c < 5; ++c) t += (c ? L"\t" : L"") + std::wstring(kResultColumns[c]);
    t += L"\r\n";
    for (const ResultRow& r : rows)
        t += Cell(r.item) + L"\t" + Cell(r.name) + L"\t" + Cell(r.data) + L"\t" + Cell(r.rootText) + L"\t" +
             FindingText(r.finding) + L"\r\n";
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
