// tests/support/Hives.cpp
#include "support/Hives.h"
#include "core/Text.h"
#include "registry/clsKeyFunc.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <windows.h>

std::wstring TestHives() {
    std::wstring bin = BinFolder();
    bin.pop_back();  // build\bin
    return bin.substr(0, bin.find_last_of(L'\\') + 1) + L"testhives\\";
}

HiveView ExportView(const std::wstring& exportFile, const std::wstring& prefix) {
    const RegFile file = ParseRegText(FromUtf8(ReadBytes(exportFile)), true);
    HiveView view;
    for (const RegFileKey& k : file.keys) {
        // "[HKEY_LOCAL_MACHINE\SOFTWARE\]" is the root; everything else lies below it.
        std::wstring path = clsKeyFunc::HiveName(k.root) + L"\\" + k.path;
        while (!path.empty() && path.back() == L'\\') path.pop_back();
        std::wstring below = path.size() > prefix.size() ? path.substr(prefix.size() + 1) : L"";
        auto& values = view[ToLower(below)];
        for (const RegFileValue& v : k.values) values[ToLower(v.name)] = v;
    }
    return view;
}
