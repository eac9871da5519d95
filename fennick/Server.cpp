// fennick/Server.cpp
// The in-process server: class factory, unload check and self-registration.
#include "MenuBottomLine.h"
#include <string>

LONG g_objects = 0;
HMODULE g_module = nullptr;

namespace {
const wchar_t* kProgId = L"Fennick.MenuBottomLine";
const wchar_t* kClassName = L"MenuBottomLine";
LONG g_locks = 0;

class ClassFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // The factory is static: its lifetime is the library's.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* control = new (std::nothrow) MenuBottomLine();
        if (!control) return E_OUTOFMEMORY;
        HRESULT hr = control->QueryInterface(riid, ppv);
        control->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&g_locks);
        else InterlockedDecrement(&g_locks);
        return S_OK;
    }
};
ClassFactory g_factory;

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = L"";
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

LSTATUS SetText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    return RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

HRESULT RegisterClassKeys(const std::wstring& path) {
    const std::wstring clsidKey = L"CLSID\\" + GuidText(CLSID_MenuBottomLine);
    const std::wstring progIdKey = kProgId;
    LSTATUS rc = SetText(clsidKey, nullptr, kClassName);
    if (!rc) rc = SetText(clsidKey + L"\\InprocServer32", nullptr, path);
    if (!rc) rc = SetText(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    if (!rc) rc = SetText(clsidKey + L"\\ProgID", nullptr, kProgId);
    if (!rc) rc = SetText(clsidKey + L"\\TypeLib", nullptr, GuidText(LIBID_Fennick));
    if (!rc) rc = SetText(progIdKey, nullptr, kClassName);
    if (!rc) rc = SetText(progIdKey + L"\\CLSID", nullptr, GuidText(CLSID_MenuBottomLine));
    return rc ? SELFREG_E_CLASS : S_OK;
}

HRESULT RegisterTypeLibrary(const std::wstring& path) {
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
    if (FAILED(hr)) return SELFREG_E_TYPELIB;
    std::wstring full = path, folder = path.substr(0, path.find_last_of(L'\\'));
    hr = RegisterTypeLib(lib, full.data(), folder.data());
    lib->Release();
    return FAILED(hr) ? SELFREG_E_TYPELIB : S_OK;
}

// Deletes a key with everything below it; a key that is not there is fine.
bool DeleteTree(const std::wstring& key) {
    LSTATUS rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Unloaded while the process goes on: its windows are gone, the class must go too.
        UnregisterClassW(L"FennickMenuBottomLine", instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_MenuBottomLine) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

STDAPI DllUnregisterServer() {
    bool ok = DeleteTree(L"CLSID\\" + GuidText(CLSID_MenuBottomLine));
    ok = DeleteTree(kProgId) && ok;
    HRESULT hr = UnRegisterTypeLib(LIBID_Fennick, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    // Not registered is no failure for unregistration.
    if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_LIBNOTREGISTERED) ok = false;
    return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllRegisterServer() {
    const std::wstring path = ModulePath();
    HRESULT hr = RegisterClassKeys(path);
    if (SUCCEEDED(hr)) hr = RegisterTypeLibrary(path);
    // Half a registration is worse than none.
    if (FAILED(hr)) DllUnregisterServer();
    return hr;
}
