// app/core/CommandLine.cpp
#include "core/CommandLine.h"
#include "core/Text.h"
#include <windows.h>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The part of a file name after its last backslash holds a dot.
bool HasExtension(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    const size_t dot = path.find_last_of(L'.');
    return dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
}

// The program is line[start, end).
SplitCommand At(const std::wstring& line, size_t start, size_t end, bool quoted) {
    SplitCommand s;
    s.quoted = quoted;
    s.programText = line.substr(start, end - start);
    s.program = quoted ? line.substr(start + 1, end - start >= 2 ? end - start - 2 : 0) : s.programText;
    s.arguments = line.substr(end);
    return s;
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

SplitCommand SplitCommandLine(const std::wstring& line, const std::function<bool(const std::wstring&)>& exists) {
    const auto there = [&](const std::wstring& p) { return exists ? exists(p) : !FindProgramFile(p).empty(); };
    size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    if (start < line.size() && line[start] == L'"') {
        const size_t close = line.find(L'"', start + 1);
        if (close == std::wstring::npos) {
            // No closing quote: CreateProcess takes everything up to the end as the program.
            SplitCommand s;
            s.quoted = true;
            s.programText = line.substr(start);
            s.program = line.substr(start + 1);
            return s;
        }
        return At(line, start, close + 1, true);
    }
    // Each blank is a possible end of the program.
    for (size_t p = start; p <= line.size(); ++p) {
        if (p < line.size() && !IsBlank(line[p])) continue;
        if (p == start || IsBlank(line[p - 1])) continue;
        const std::wstring candidate = line.substr(start, p - start);
        if (there(candidate) || (!HasExtension(candidate) && there(candidate + L".exe"))) return At(line, start, p, false);
    }
    const std::wstring lower = ToLower(line);
    size_t best = std::wstring::npos;
    for (const wchar_t* ext : {L".exe", L".com", L".bat", L".cmd"}) {
        for (size_t at = lower.find(ext, start); at != std::wstring::npos; at = lower.find(ext, at + 1)) {
            const size_t end = at + 4;
            if (end == line.size() || IsBlank(line[end])) {
                if (end < best) best = end;
                break;
            }
        }
    }
    if (best != std::wstring::npos) return At(line, start, best, false);
    size_t blank = start;
    while (blank < line.size() && !IsBlank(line[blank])) ++blank;
    return At(line, start, blank, false);
}

std::wstring JoinCommandLine(const std::wstring& program, const std::wstring& arguments) {
    std::wstring out = !program.empty() && program.front() != L'"' && program.find_first_of(L" \t") != std::wstring::npos
                           ? L"\"" + program + L"\""
                           : program;
    if (arguments.empty()) return out;
    return IsBlank(arguments.front()) ? out + arguments : out + L" " + arguments;
}

std::wstring QuotedCommandLine(const std::wstring& program, const std::wstring& arguments) {
    size_t from = 0;
    while (from < arguments.size() && IsBlank(arguments[from])) ++from;
    std::wstring line = L"\"" + program + L"\"";
    if (from < arguments.size()) line += L" " + arguments.substr(from);
    return line;
}

std::wstring ExpandedEnvironment(const std::wstring& text) {
    if (text.find(L'%') == std::wstring::npos) return text;
    std::wstring out(text.size() + 256, L'\0');
    for (;;) {
        const DWORD n = ExpandEnvironmentStringsW(text.c_str(), out.data(), static_cast<DWORD>(out.size()));
        if (n == 0) return text;
        if (n <= out.size()) {
            out.resize(n - 1);
            return out;
        }
        out.resize(n);
    }
}

bool IsFile(const std::wstring& path) {
    if (path.empty()) return false;
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
