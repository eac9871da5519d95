// tests/fennick/Registration_test.cpp
// regsvr32 on fennick.ocx in the test prefix: the keys it leaves, and creation by ProgID.
#include "FennickTest.h"
#include "core/AppEnvironment.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cwctype>

namespace {
// Every key below HKEY_CLASSES_ROOT (lower case) with its values as "name=data" lines.
using Snapshot = std::map<std::wstring, std::wstring>;

void Walk(HKEY key, const std::wstring& path, Snapshot& out) {
    std::wstring values;
    wchar_t name[16384];
    BYTE data[8192];
    for (DWORD i = 0;; ++i) {
        DWORD n = 16384, size = sizeof data, type = 0;
        LSTATUS rc = RegEnumValueW(key, i, name, &n, nullptr, &type, data, &size);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) continue;
        values += std::wstring(name) + L"=" + std::to_wstring(type) + L":" +
                  std::wstring(reinterpret_cast<wchar_t*>(data), size / 2) + L"\n";
    }
    std::wstring lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::towlower);
    out[lower] = values;
    for (DWORD i = 0;; ++i) {
        DWORD n = 16384;
        if (RegEnumKeyExW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            Walk(sub, path.empty() ? name : path + L"\\" + name, out);
            RegCloseKey(sub);
        }
    }
}

Snapshot ClassesRoot() {
    Snapshot s;
    Walk(HKEY_CLASSES_ROOT, L"", s);
    return s;
}

bool Below(const std::wstring& key, const std::wstring& prefix) {
    return key == prefix || key.rfind(prefix + L"\\", 0) == 0;
}

const std::wstring kClsid = L"clsid\\{8b918202-6b89-4703-9851-8921ce2f7787}";
const std::wstring kProgId = L"fennick.menubottomline";
const std::wstring kTypeLib = L"typelib\\{cb53fd89-b29f-43ad-a55f-ba450f1947cb}";
const std::wstring kInterface = L"interface\\{281d0e1a-3eaa-46ae-9709-8d823ea6c446}";
// The platform mirrors interface and type library keys into the 32-bit view.
const std::wstring kInterface32 = L"wow6432node\\interface\\{281d0e1a-3eaa-46ae-9709-8d823ea6c446}";
const std::wstring kTypeLib32 = L"wow6432node\\typelib\\{cb53fd89-b29f-43ad-a55f-ba450f1947cb}";

std::wstring Sz(const std::wstring& name, const std::wstring& text) {
    return name + L"=1:" + text + std::wstring(1, L'\0') + L"\n";
}
}  // namespace

TEST(FennickRegistration, Regsvr32WritesExactlyTheControlsKeysAndRemovesThemAgain) {
    const bool wasRegistered = ClassRegistered();
    if (wasRegistered) {
        ASSERT_EQ(Regsvr32(true), 0u);
    }
    const Snapshot before = ClassesRoot();
    ASSERT_FALSE(before.count(kClsid));

    ASSERT_EQ(Regsvr32(false), 0u);
    const Snapshot registered = ClassesRoot();
    std::wstring path = FennickPath();

    // Nothing that was there before has changed.
    for (const auto& [key, values] : before) {
        auto it = registered.find(key);
        ASSERT_TRUE(it != registered.end()) << "key gone: " << std::string(key.begin(), key.end());
        EXPECT_EQ(it->second, values) << "key changed";
    }
    // Every new key belongs to the control.
    std::vector<std::wstring> added;
    for (const auto& [key, values] : registered)
        if (!before.count(key)) added.push_back(key);
    for (const auto& key : added) {
        bool ours = Below(key, kClsid) || Below(key, kProgId) || Below(key, kTypeLib) || Below(key, kInterface) ||
                    Below(key, kInterface32) || Below(key, kTypeLib32);
        EXPECT_TRUE(ours) << "foreign key: " << std::string(key.begin(), key.end());
    }
    // Class, programmatic identifier, type library.
    EXPECT_EQ(registered.at(kClsid), Sz(L"", L"MenuBottomLine"));
    EXPECT_EQ(registered.at(kClsid + L"\\inprocserver32"), Sz(L"", path) + Sz(L"ThreadingModel", L"Apartment"));
    EXPECT_EQ(registered.at(kClsid + L"\\progid"), Sz(L"", L"Fennick.MenuBottomLine"));
    EXPECT_EQ(registered.at(kClsid + L"\\typelib"), Sz(L"", L"{CB53FD89-B29F-43AD-A55F-BA450F1947CB}"));
    EXPECT_EQ(registered.at(kProgId + L"\\clsid"), Sz(L"", L"{8B918202-6B89-4703-9851-8921CE2F7787}"));
    EXPECT_EQ(registered.at(kTypeLib + L"\\1.0"), Sz(L"", L"Fennick"));
    EXPECT_EQ(registered.at(kTypeLib + L"\\1.0\\0\\win64"), Sz(L"", path));
    size_t clsidKeys = std::count_if(added.begin(), added.end(), [](auto& k) { return Below(k, kClsid); });
    EXPECT_EQ(clsidKeys, 4u);  // the class key, InprocServer32, ProgID, TypeLib

    // The registered type library is the one with the style enumeration.
    ITypeLib* lib = nullptr;
    ASSERT_EQ(LoadRegTypeLib(LIBID_Fennick, 1, 0, LOCALE_NEUTRAL, &lib), S_OK);
    BSTR libName = nullptr;
    lib->GetDocumentation(-1, &libName, nullptr, nullptr, nullptr);
    EXPECT_STREQ(libName, L"Fennick");
    SysFreeString(libName);
    LPOLESTR member = const_cast<LPOLESTR>(L"mblSingle");
    ITypeInfo* info = nullptr;
    MEMBERID memberId = 0;
    USHORT found = 1;
    ASSERT_EQ(lib->FindName(member, 0, &info, &memberId, &found), S_OK);
    ASSERT_EQ(found, 1);
    VARDESC* var = nullptr;
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    EXPECT_EQ(attr->typekind, TKIND_ENUM);
    EXPECT_EQ(attr->cVars, 3);
    for (UINT i = 0; i < attr->cVars; ++i) {
        info->GetVarDesc(i, &var);
        BSTR n = nullptr;
        info->GetDocumentation(var->memid, &n, nullptr, nullptr, nullptr);
        EXPECT_EQ(V_I4(var->lpvarValue), static_cast<LONG>(i)) << n;
        EXPECT_STREQ(n, i == 0 ? L"mblSunken" : i == 1 ? L"mblRaised" : L"mblSingle");
        SysFreeString(n);
        info->ReleaseVarDesc(var);
    }
    info->ReleaseTypeAttr(attr);
    info->Release();
    lib->Release();

    // Unregistration leaves the registry as it was.
    ASSERT_EQ(Regsvr32(true), 0u);
    const Snapshot after = ClassesRoot();
    EXPECT_EQ(after.size(), before.size());
    for (const auto& [key, values] : after)
        EXPECT_TRUE(before.count(key)) << "left behind: " << std::string(key.begin(), key.end());
    if (wasRegistered) Regsvr32(false);
}

// Runs only inside the process that the next test starts.
TEST(FennickRegistration, ChildCreatesTheControlByProgId) {
    wchar_t flag[8] = L"";
    if (!GetEnvironmentVariableW(L"FENNICK_CHILD", flag, 8)) GTEST_SKIP() << "started by the next test";
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"Fennick.MenuBottomLine", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_MenuBottomLine));
    IDispatch* control = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&control)),
              S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(L"SpaceTop");
    DISPID id = 0;
    ASSERT_EQ(control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    DISPPARAMS none{};
    VARIANT v;
    VariantInit(&v);
    ASSERT_EQ(control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
    EXPECT_EQ(V_VT(&v), VT_I4);
    EXPECT_EQ(V_I4(&v), 0);
    control->Release();
}

TEST(FennickRegistration, AFreshProcessCreatesTheControlByProgId) {
    RegisteredLibrary registered;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(L"FENNICK_CHILD", L"1");
    DWORD code = RunAndWait(std::wstring(L"\"") + self +
                            L"\" --gtest_filter=FennickRegistration.ChildCreatesTheControlByProgId");
    SetEnvironmentVariableW(L"FENNICK_CHILD", nullptr);
    EXPECT_EQ(code, 0u);
}
