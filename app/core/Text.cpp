// app/core/Text.cpp
#include "core/Text.h"
#include "core/RuntimeError.h"
#include <windows.h>
#include <cwctype>

static std::string Narrow(UINT cp, std::wstring_view s) {
    if (s.empty()) return {};
    int n = WideCharToMultiByte(cp, 0, s.data(), (int)s.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(cp, 0, s.data(), (int)s.size(), out.data(), n, nullptr, nullptr);
    return out;
}
static std::wstring Widen(UINT cp, std::string_view s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(cp, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(cp, 0, s.data(), (int)s.size(), out.data(), n);
    return out;
}
std::string ToAnsi(std::wstring_view s) { return Narrow(CP_ACP, s); }
std::wstring FromAnsi(std::string_view s) { return Widen(CP_ACP, s); }
std::string ToUtf8(std::wstring_view s) { return Narrow(CP_UTF8, s); }
std::wstring FromUtf8(std::string_view s) { return Widen(CP_UTF8, s); }

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}
std::wstring ToLower(std::wstring s) {
    if (!s.empty()) CharLowerBuffW(s.data(), (DWORD)s.size());
    return s;
}
std::wstring Trim(std::wstring_view s) {
    size_t b = 0, e = s.size();
    while (b < e && std::iswspace(s[b])) ++b;
    while (e > b && std::iswspace(s[e - 1])) --e;
    return std::wstring(s.substr(b, e - b));
}
bool StartsWith(std::wstring_view s, std::wstring_view p) { return s.substr(0, p.size()) == p; }
bool EndsWith(std::wstring_view s, std::wstring_view x) {
    return s.size() >= x.size() && s.substr(s.size() - x.size()) == x;
}

int16_t ToInt16(const std::wstring& text) { return static_cast<int16_t>(ToIntInRange(text, -32768, 32767)); }

int ToIntInRange(const std::wstring& text, int min, int max) {
    std::wstring t = Trim(text);
    if (t.empty()) Raise(Err::TypeMismatch);
    size_t i = 0;
    bool neg = false;
    if (t[0] == L'-' || t[0] == L'+') { neg = t[0] == L'-'; i = 1; }
    if (i == t.size()) Raise(Err::TypeMismatch);
    long long v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < L'0' || t[i] > L'9') Raise(Err::TypeMismatch);
        v = v * 10 + (t[i] - L'0');
        if (v > (1LL << 40)) Raise(Err::Overflow);
    }
    if (neg) v = -v;
    if (v < min || v > max) Raise(Err::Overflow);
    return static_cast<int>(v);
}
