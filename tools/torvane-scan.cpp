// tools/torvane-scan.cpp
// Runs the registry scan without a window: one line per result row (the four columns separated
// by TAB, the fourth the root's name), then the rating as the scan window shows it. "/remove"
// then removes every row as the window's "&Entfernen" does; "/drives:yes" answers the drive
// questions with Yes (else No); "/json" writes one JSON document instead of the lines.
#include "core/AppEnvironment.h"
#include "core/ClassHandler.h"
#include "core/Text.h"
#include "core/modMain.h"
#include "registry/clsKeyFunc.h"
#include "scan/ScanEngine.h"
#include <windows.h>
#include <cstdio>
#include <string>

namespace {

class Output {
public:
    explicit Output(DWORD which) : h_(GetStdHandle(which)) {
        DWORD mode;
        console_ = GetConsoleMode(h_, &mode) != FALSE;
    }
    // Console: wide text as it is; file or pipe: UTF-8.
    void Line(const std::wstring& text) {
        std::wstring s = text + L"\r\n";
        DWORD n = 0;
        if (console_) {
            WriteConsoleW(h_, s.data(), static_cast<DWORD>(s.size()), &n, nullptr);
        } else {
            std::string u = ToUtf8(s);
            WriteFile(h_, u.data(), static_cast<DWORD>(u.size()), &n, nullptr);
        }
    }

private:
    HANDLE h_;
    bool console_ = false;
};

class Answers : public ScanQuestions {
public:
    explicit Answers(bool yes) : yes_(yes) {}
    bool AskDrive(const std::wstring&, const std::wstring&) override { return yes_; }

private:
    bool yes_;
};

// A JSON string literal; every control character escaped, everything else as it is.
std::wstring Json(const std::wstring& s) {
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

std::wstring Number(double v) {
    wchar_t buf[32];
    swprintf(buf, 32, L"%.2f", v);
    return buf;
}

std::wstring JsonDocument(const ScanEngine& engine, const std::vector<ResultRow>& rows, const RemovalResult* removal) {
    std::wstring j = L"{\n  \"rows\": [";
    for (size_t i = 0; i < rows.size(); ++i) {
        const ResultRow& r = rows[i];
        j += i ? L",\n    {" : L"\n    {";
        j += L"\"item\": " + Json(r.item) + L", \"root\": " + Json(clsKeyFunc::HiveName(r.hit.root)) +
             L", \"key\": " + Json(r.hit.key) + L", \"value_name\": " + Json(r.hit.name) + L", \"data\": " +
             Json(r.hit.data) + L", \"rule\": " + Json(FindingId(r.finding)) + L", \"rule_text\": " +
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool remove = false, drivesYes = false, json = false;
    Output out(STD_OUTPUT_HANDLE), err(STD_ERROR_HANDLE);
    for (int i = 1; i < argc; ++i) {
        std::wstring a = ToLower(argv[i]);
        if (a == L"/remove") remove = true;
        else if (a == L"/drives:yes") drivesYes = true;
        else if (a == L"/drives:no") drivesYes = false;
        else if (a == L"/json") json = true;
        else {
            err.Line(L"Aufruf: torvane-scan [/remove] [/drives:yes] [/json]");
            return 2;
        }
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    PrepareAppEnvironment(false);

    Answers answers(drivesYes);
    ScanEngine engine(ClassHandler());
    engine.SetQuestions(&answers);
    if (!engine.Scan()) {
        err.Line(L"Der Registry-Scan wurde abgebrochen.");
        return 1;
    }
    // The removal takes rows out of the engine: the document lists what the scan found.
    const std::vector<ResultRow> rows = engine.Rows();
    if (!json) {
        for (const ResultRow& r : rows)
            out.Line(r.item + L"\t" + r.name + L"\t" + r.data + L"\t" + clsKeyFunc::HiveName(r.hit.root));
        out.Line(engine.RatingText());
    }
    engine.Close();
    if (!remove || rows.empty()) {
        if (json) out.Line(JsonDocument(engine, rows, nullptr));
        return 0;
    }

    RemovalResult result = engine.ProblemeEntfernen();
    if (json) {
        out.Line(JsonDocument(engine, rows, &result));
    } else {
        if (!result.undoFile.empty()) out.Line(L"Sicherungsdatei: " + result.undoFile);
        err.Line(result.report);
        if (!result.completed) err.Line(result.errorMessage);
    }
    return result.completed && result.failed == 0 ? 0 : 1;
}
