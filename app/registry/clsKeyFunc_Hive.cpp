// app/registry/clsKeyFunc_Hive.cpp
// Hive files: a compact copy of a hive and its replacement at the next system start.
#include "core/Service.h"
#include "core/Trap.h"
#include "registry/clsKeyFunc.h"

namespace {
const wchar_t* kModule = L"clsKeyFunc";

void TraceResult(const wchar_t* proc, RootKey root, const std::wstring& key, const std::wstring& file, LSTATUS rc) {
    Trace(kModule, proc, std::to_wstring(root) + L"; " + key + L"; " + file + L"; Result=" + std::to_wstring(rc));
}
}  // namespace

LSTATUS clsKeyFunc::SaveKeyCopy(RootKey root, const std::wstring& key, const std::wstring& file) {
    RegKey k;
    LSTATUS rc = key.empty() ? ERROR_SUCCESS : k.Open(ToHkey(root), key, KEY_READ);
    if (rc == ERROR_SUCCESS)
        rc = RegSaveKeyExW(key.empty() ? ToHkey(root) : k.get(), file.c_str(), nullptr, REG_LATEST_FORMAT);
    TraceResult(L"SaveKeyCopy", root, key, file, rc);
    return rc;
}

LSTATUS clsKeyFunc::ReplaceKeyFile(RootKey root, const std::wstring& key, const std::wstring& newFile,
                                   const std::wstring& oldFile) {
    const LSTATUS rc = RegReplaceKeyW(ToHkey(root), key.empty() ? nullptr : key.c_str(), newFile.c_str(), oldFile.c_str());
    TraceResult(L"ReplaceKeyFile", root, key, newFile + L"; " + oldFile, rc);
    return rc;
}
