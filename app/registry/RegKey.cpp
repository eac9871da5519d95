// app/registry/RegKey.cpp
#include "registry/RegKey.h"
#include <algorithm>
#include <cstring>
#include <vector>

LSTATUS EnumValue(HKEY key, DWORD index, RegValue& out) {
    DWORD nameCap = 256, dataCap = 512;
    for (;;) {
        std::vector<wchar_t> name(nameCap + 1);
        std::vector<BYTE> data(dataCap + 2);
        DWORD nameLen = nameCap + 1, dataLen = dataCap, type = 0;
        LSTATUS rc = RegEnumValueW(key, index, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
        if (rc == ERROR_MORE_DATA) {
            // Either buffer may be too small; ask for the exact sizes and try again.
            DWORD maxName = 0, maxData = 0;
            RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &maxName, &maxData, nullptr, nullptr);
            DWORD nn = std::max<DWORD>(maxName + 1, nameCap * 2), dd = std::max<DWORD>(maxData, dataCap * 2);
            if (dataLen > dataCap) dd = std::max(dd, dataLen);
            nameCap = nn;
            dataCap = dd;
            continue;
        }
        if (rc != ERROR_SUCCESS) return rc;
        out.name.assign(name.data(), nameLen);
        out.type = type;
        out.bytes = dataLen;
        out.data.assign((dataLen + 1) / 2, L'\0');
        if (dataLen) memcpy(out.data.data(), data.data(), dataLen);
        return ERROR_SUCCESS;
    }
}

LSTATUS EnumKey(HKEY key, DWORD index, std::wstring& name) {
    DWORD cap = 256;
    for (;;) {
        std::vector<wchar_t> buf(cap + 1);
        DWORD len = cap + 1;
        LSTATUS rc = RegEnumKeyExW(key, index, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) { cap *= 4; if (cap > 65536) return rc; continue; }
        if (rc == ERROR_SUCCESS) name.assign(buf.data(), len);
        return rc;
    }
}

std::wstring ValueText(const RegValue& v) {
    if (v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ || v.type == REG_LINK) {
        std::wstring s = v.data.substr(0, v.bytes / 2);
        if (!s.empty() && s.back() == L'\0') s.pop_back();
        return s;
    }
    std::wstring s;
    const BYTE* p = reinterpret_cast<const BYTE*>(v.data.data());
    for (size_t i = 0; i < v.bytes; ++i) s += static_cast<wchar_t>(p[i]);
    return s;
}
