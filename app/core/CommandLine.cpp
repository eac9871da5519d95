// app/core/CommandLine.cpp
#include "core/CommandLine.h"
#include "core/Text.h"
#include <windows.h>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

bool FileThere(const std::wstring& path) {
    if (path.empty()) return false;
    if (path.find(L'\\') == std::wstring::npos && path.find(L':') == std::wstring::npos) {
        wchar_t found[MAX_PATH];
        return SearchPathW(nullptr, path.c_str(), nullptr, MAX_PATH, found, nullptr) > 0;
    }
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// The part of a file name after its last backslash holds a dot.
bool HasExtension(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    const size_t dot = path.find_last_of(L'.');
    return dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
}

SplitCommand At(const std::wstring& line, size_t end, bool quoted) {
    SplitCommand s;
    s.quoted = quoted;
    s.programText = line.substr(0, end);
    s.program = quoted ? line.substr(1, end >= 2 ? end - 2 : 0) : s.programText;
    s.arguments = line.substr(end);
    return s;
}

}  // namespace

SplitCommand SplitCommandLine(const std::wstring& line, const std::function<bool(const std::wstring&)>& exists) {
    const auto there = [&](const std::wstring& p) { return exists ? exists(p) : FileThere(p); };
    if (!line.empty() && line[0] == L'"') {
        const size_t close = line.find(L'"', 1);
        if (close == std::wstring::npos) {
            // No closing quote: CreateProcess takes everything up to the end as the program.
            SplitCommand s;
            s.quoted = true;
            s.programText = line;
            s.program = line.substr(1);
            return s;
        }
        return At(line, close + 1, true);
    }
    // Each blank is a possible end of the program.
    for (size_t p = 0; p <= line.size(); ++p) {
        if (p < line.size() && !IsBlank(line[p])) continue;
        const std::wstring candidate = line.substr(0, p);
        if (candidate.empty() || IsBlank(candidate.back())) continue;
        if (there(candidate) || (!HasExtension(candidate) && there(candidate + L".exe"))) return At(line, p, false);
    }
    const std::wstring lower = ToLower(line);
    size_t best = std::wstring::npos;
    for (const wchar_t* ext : {L".exe", L".com", L".bat", L".cmd"}) {
        for (size_t at = lower.find(ext); at != std::wstring::npos; at = lower.find(ext, at + 1)) {
            const size_t end = at + 4;
            if (end == line.size() || IsBlank(line[end])) {
                if (end < best) best = end;
                break;
            }
        }
    }
    if (best != std::wstring::npos) return At(line, best, false);
    size_t blank = 0;
    while (blank < line.size() && !IsBlank(line[blank])) ++blank;
    return At(line, blank, false);
}

std::wstring JoinCommandLine(const std::wstring& program, const std::wstring& arguments) {
    std::wstring out = !program.empty() && program.front() != L'"' && program.find_first_of(L" \t") != std::wstring::npos
                           ? L"\"" + program + L"\""
                           : program;
    if (arguments.empty()) return out;
    return IsBlank(arguments.front()) ? out + arguments : out + L" " + arguments;
}
