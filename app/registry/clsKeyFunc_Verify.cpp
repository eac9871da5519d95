// app/registry/clsKeyFunc_Verify.cpp
#include "registry/clsKeyFunc.h"
#include <cstring>
#include <vector>

bool clsKeyFunc::ReadValueRaw(RootKey root, const std::wstring& key, const std::wstring& name, RegValue& out) {
    RegKey k;
    if (k.Open(ToHkey(root), key, KEY_QUERY_VALUE) != ERROR_SUCCESS) return false;
    DWORD size = 0, type = 0;
    if (RegQueryValueExW(k.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    std::vector<BYTE> data;
    for (;;) {
        data.resize(size + 2);
        DWORD got = size;
        LSTATUS rc = RegQueryValueExW(k.get(), name.c_str(), nullptr, &type, data.data(), &got);
        if (rc == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (rc != ERROR_SUCCESS) return false;
        size = got;
        break;
    }
    out.name = name;
    out.type = type;
    out.bytes = size;
    out.data.assign((size + 1) / 2, L'\0');
    if (size) memcpy(out.data.data(), data.data(), size);
    return true;
}

LSTATUS clsKeyFunc::SetValueRaw(RootKey root, const std::wstring& key, const RegValue& value) {
    RegKey k;
    LSTATUS rc = k.Create(ToHkey(root), key, KEY_SET_VALUE);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExW(k.get(), value.name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.data.data()),
                        static_cast<DWORD>(value.bytes));
    TraceCall(L"SetValueRaw", HiveName(root) + L"; " + key + L"; " + std::to_wstring(value.type) + L"; " + value.name);
    return rc;
}
