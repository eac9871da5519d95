// app/core/CommandLine.cpp
#include "core/CommandLine.h"
#include "core/Text.h"
#include <windows.h>

namespace {
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

bool IsFile(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool HasExtension(const std::wstring& path) {
    const size_t dot = path.find_last_of(L'.');
    const size_t slash = path.find_last_of(L"\\/");
    return dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
}

bool RunnableName(const std::wstring& path) {
    const std::wstring lower = ToLower(path);
    for (const wchar_t* ext : {L".exe", L".com", L".bat", L".cmd"})
        if (EndsWith(lower, ext)) return true;
    return false;
}

std::wstring SkipBlanks(const std::wstring& s, size_t from) {
    while (from < s.size() && IsBlank(s[from])) ++from;
    return from < s.size() ? s.substr(from) : std::wstring();
}
}  // namespace

std::wstring FindProgramFile(const std::wstring& program) {
    if (program.empty()) return L"";
    if (program.find_first_of(L"\\/:") != std::wstring::npos) {
        if (IsFile(program)) return program;
        if (!HasExtension(program) && IsFile(program + L".exe")) return program + L".exe";
        return L"";
    }
    // A bare name: the search order of SearchPath is the one CreateProcess uses.
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = SearchPathW(nullptr, program.c_str(), L".exe", static_cast<DWORD>(buf.size()), buf.data(), nullptr);
        if (n == 0) return L"";
        if (n < buf.size()) {
            buf.resize(n);
            return IsFile(buf) ? buf : L"";
        }
        buf.resize(n + 1);
    }
}

CommandLineParts SplitCommandLine(const std::wstring& line, const std::function<bool(const std::wstring&)>& exists) {
    CommandLineParts parts;
    size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    if (start == line.size()) return parts;
    if (line[start] == L'"') {
        const size_t close = line.find(L'"', start + 1);
        if (close == std::wstring::npos) {
            parts.program = line.substr(start + 1);
            return parts;
        }
        parts.program = line.substr(start + 1, close - start - 1);
        parts.arguments = SkipBlanks(line, close + 1);
        return parts;
    }
    auto there = [&](const std::wstring& candidate) {
        return exists ? exists(candidate) : !FindProgramFile(candidate).empty();
    };
    // Every blank that follows a non-blank ends a candidate; the whole line is the last one.
    size_t firstEnd = std::wstring::npos, runnableEnd = std::wstring::npos;
    for (size_t i = start + 1; i <= line.size(); ++i) {
        if (i < line.size() && !(IsBlank(line[i]) && !IsBlank(line[i - 1]))) continue;
        if (i == line.size() && IsBlank(line[i - 1])) break;
        const std::wstring candidate = line.substr(start, i - start);
        if (firstEnd == std::wstring::npos) firstEnd = i;
        if (there(candidate)) {
            parts.program = candidate;
            parts.arguments = SkipBlanks(line, i);
            return parts;
        }
        if (runnableEnd == std::wstring::npos && RunnableName(candidate)) runnableEnd = i;
    }
    const size_t end = runnableEnd != std::wstring::npos ? runnableEnd : firstEnd;
    parts.program = line.substr(start, end - start);
    parts.arguments = SkipBlanks(line, end);
    return parts;
}

std::wstring QuotedCommandLine(const std::wstring& program, const std::wstring& arguments) {
    std::wstring line = L"\"" + program + L"\"";
    if (!arguments.empty()) line += L" " + arguments;
    return line;
}
