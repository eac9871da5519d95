// app/registry/ValueText.cpp
#include "registry/ValueText.h"
#include <cstdint>
#include <cwchar>

namespace {
std::wstring HexBytes(const BYTE* data, size_t bytes) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    const size_t shown = bytes < kDisplayBytes ? bytes : kDisplayBytes;
    std::wstring out;
    out.reserve(shown * 3 + 2);
    for (size_t i = 0; i < shown; ++i) {
        if (i) out += L' ';
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    if (bytes > shown) out += L" …";
    return out;
}

std::wstring Number(uint64_t v, int digits) {
    wchar_t buf[64];
    swprintf(buf, 64, L"0x%0*llx (%llu)", digits, static_cast<unsigned long long>(v), static_cast<unsigned long long>(v));
    return buf;
}

// The strings of a multi-string up to the first empty one (its end), an unterminated last one included.
std::wstring MultiText(const wchar_t* p, size_t n) {
    std::wstring out;
    size_t i = 0;
    bool first = true;
    while (i < n && p[i]) {
        size_t len = 0;
        while (i + len < n && p[i + len]) ++len;
        if (!first) out += L" | ";
        out.append(p + i, len);
        first = false;
        i += len + 1;
    }
    return out;
}
}  // namespace

std::wstring ValueDisplayText(DWORD type, const BYTE* data, size_t bytes) {
    if (bytes == 0 || !data) return L"";
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        const wchar_t* p = reinterpret_cast<const wchar_t*>(data);
        size_t n = bytes / sizeof(wchar_t), len = 0;
        while (len < n && p[len]) ++len;
        return std::wstring(p, len);
    }
    case REG_MULTI_SZ: return MultiText(reinterpret_cast<const wchar_t*>(data), bytes / sizeof(wchar_t));
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
        if (bytes == 4) {
            uint32_t v = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
            if (type == REG_DWORD_BIG_ENDIAN)
                v = data[3] | data[2] << 8 | data[1] << 16 | static_cast<uint32_t>(data[0]) << 24;
            return Number(v, 8);
        }
        break;
    case REG_QWORD:
        if (bytes == 8) {
            uint64_t v = 0;
            for (int i = 7; i >= 0; --i) v = v << 8 | data[i];
            return Number(v, 16);
        }
        break;
    default: break;
    }
    return HexBytes(data, bytes);
}
