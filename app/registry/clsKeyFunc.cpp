// app/registry/clsKeyFunc.cpp
#include "registry/clsKeyFunc.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/Text.h"
#include "core/Trap.h"

namespace {
const wchar_t* kModule = L"clsKeyFunc";

// Handle value as the program reports it: non-zero when a key was opened.
int32_t HandleValue(HKEY h) {
    if (!h) return 0;
    int32_t v = static_cast<int32_t>(reinterpret_cast<intptr_t>(h));
    return v ? v : 1;
}
std::wstring Root(RootKey r) { return std::to_wstring(r); }
}  // namespace

void clsKeyFunc::TraceCall(const wchar_t* proc, const std::wstring& info) {
    if (Logging()) HandleError(kModule, proc, info, 0, L"", Style::Information, false);
}

int32_t clsKeyFunc::CreateKey(RootKey root, const std::wstring& key) {
    RegKey k;
    k.Create(ToHkey(root), key);
    TraceCall(L"CreateKey", Root(root) + L"; " + key);
    return 0;
}

int32_t clsKeyFunc::KeyExist(RootKey root, const std::wstring& key, REGSAM access) {
    RegKey k;
    k.Open(ToHkey(root), key, access);
    int32_t result = HandleValue(k.get());
    TraceCall(L"KeyExist", Root(root) + L"; " + key + L"; Result=" + std::to_wstring(result));
    return result;
}

KeyValue clsKeyFunc::QueryKeyValue(RootKey root, const std::wstring& key, const std::wstring& name) {
    RegKey k;
    if (k.Open(ToHkey(root), key, KEY_QUERY_VALUE) != ERROR_SUCCESS) return {};
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(k.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
    std::wstring buf;
    for (;;) {
        buf.assign(size / 2 + 2, L'\0');
        DWORD got = size;
        LSTATUS rc = RegQueryValueExW(k.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &got);
        if (rc == ERROR_MORE_DATA) { size = got; continue; }
        if (rc != ERROR_SUCCESS) return {};
        size = got;
        break;
    }
    switch (type) {
    case REG_SZ: return std::wstring(buf.c_str());
    case REG_MULTI_SZ: {
        std::wstring raw = buf.substr(0, size / 2);
        return raw;
    }
    case REG_BINARY:
    case REG_DWORD: {
        const BYTE* p = reinterpret_cast<const BYTE*>(buf.data());
        uint16_t lo = static_cast<uint16_t>((size > 0 ? p[0] : 0) | ((size > 1 ? p[1] : 0) << 8));
        return static_cast<int16_t>(lo);
    }
    default: return {};
    }
}

std::wstring clsKeyFunc::ReadKeyValue(RootKey root, const std::wstring& key, const std::wstring& name) {
    RegKey k;
    if (k.Open(ToHkey(root), key, KEY_QUERY_VALUE) != ERROR_SUCCESS) return L"";
    RegValue v;
    for (DWORD i = 0; EnumValue(k.get(), i, v) == ERROR_SUCCESS; ++i) {
        if (v.bytes > 0 && v.name == name) return ValueText(v);
    }
    return L"";
}

void clsKeyFunc::DelKey(RootKey root, const std::wstring& key, REGSAM access) {
    RegKey k;
    k.Open(ToHkey(root), key, access | DELETE);
    if (k) RegDeleteKeyW(k.get(), L"");
    TraceCall(L"DelKey", Root(root) + L"; " + key + L"; " + std::to_wstring(HandleValue(k.get())));
}

void clsKeyFunc::DelKeyValue(RootKey root, const std::wstring& key, const std::wstring& name) {
    RegKey k;
    if (k.Open(ToHkey(root), key, KEY_SET_VALUE) == ERROR_SUCCESS) RegDeleteValueW(k.get(), name.c_str());
    TraceCall(L"DelKeyValue", Root(root) + L"; " + key + L"; " + name);
}

int32_t clsKeyFunc::SetKeyValue(RootKey root, const std::wstring& key, const std::wstring& name,
                                const std::wstring& text, DWORD type, REGSAM access) {
    RegKey k;
    if (k.Open(ToHkey(root), key, access) != ERROR_SUCCESS) {
        CreateKey(root, key);
        k.Open(ToHkey(root), key, access);
    }
    int32_t result = HandleValue(k.get());
    if (k) {
        if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
            // Stored with its terminating zero(s), so every reader gets the whole text back.
            std::wstring data = text;
            data.push_back(L'\0');
            if (type == REG_MULTI_SZ && (data.size() < 2 || data[data.size() - 2] != L'\0')) data.push_back(L'\0');
            RegSetValueExW(k.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size() * sizeof(wchar_t)));
        } else if (type == REG_BINARY || type == REG_DWORD) {
            int16_t n = ToInt16(text);
            if (n < 0 || n > 255) Raise(Err::Overflow);
            BYTE bytes[4] = {static_cast<BYTE>(n), 0, 0, 0};
            RegSetValueExW(k.get(), name.c_str(), 0, type, bytes, 4);
        }
    }
    TraceCall(L"SetKeyValue", Root(root) + L"; " + key + L"; " + std::to_wstring(type) + L"; " + name + L"; " + text);
    return result;
}

std::wstring clsKeyFunc::HiveName(RootKey root) {
    switch (static_cast<uint32_t>(root)) {
    case 0x80000000u: return L"HKEY_CLASSES_ROOT";
    case 0x80000001u: return L"HKEY_CURRENT_USER";
    case 0x80000002u: return L"HKEY_LOCAL_MACHINE";
    case 0x80000003u: return L"HKEY_USERS";
    case 0x80000004u: return L"HKEY_PERFORMANCE_DATA";
    case 0x80000005u: return L"HKEY_CURRENT_CONFIG";
    case 0x80000006u: return L"HKEY_DYN_DATA";
    default: return L"";
    }
}

void clsKeyFunc::FileExtension(std::vector<std::wstring>& extensions, std::vector<std::wstring>& typeNames,
                               std::vector<std::wstring>& openCommands) {
    extensions.assign(1, L"");
    RegKey classes;
    if (classes.Open(HKEY_LOCAL_MACHINE, L"Software\\Classes", KEY_ENUMERATE_SUB_KEYS) != ERROR_SUCCESS) return;
    std::wstring name;
    for (DWORD i = 0; EnumKey(classes.get(), i, name) == ERROR_SUCCESS; ++i) {
        if (name.empty() || name[0] != L'.') continue;
        Trap(kModule, L"FileExtension", [&] {
            extensions.push_back(name);
            std::wstring type = ReadKeyValue(kHKLM, L"Software\\Classes\\" + name, L"");
            typeNames.push_back(type);
            openCommands.push_back(ReadKeyValue(kHKLM, L"Software\\Classes\\" + type + L"\\shell\\open\\command", L""));
        });
    }
}

std::wstring clsKeyFunc::TrimAtNull(const std::wstring& text, size_t length) {
    std::wstring s = text.substr(0, length);
    if (length >= 1 && length <= text.size() && text[length - 1] == L'\0') s.pop_back();
    return s;
}

// --- settings store ---------------------------------------------------------------------------

static std::wstring SettingsKey(const std::wstring& section) {
    return L"Software\\" + AppEnvironment.AppTitle + L"\\" + section;
}

std::wstring clsKeyFunc::GetSetting(const std::wstring& section, const std::wstring& key, const std::wstring& def) {
    RegKey k;
    if (k.Open(HKEY_CURRENT_USER, SettingsKey(section), KEY_QUERY_VALUE) != ERROR_SUCCESS) return def;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(k.get(), key.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return def;
    std::wstring buf(size / 2 + 1, L'\0');
    DWORD got = size;
    if (RegQueryValueExW(k.get(), key.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &got) != ERROR_SUCCESS)
        return def;
    if (type == REG_DWORD && got == 4) return std::to_wstring(*reinterpret_cast<const DWORD*>(buf.data()));
    if (type != REG_SZ && type != REG_EXPAND_SZ) return def;
    return std::wstring(buf.c_str());
}

void clsKeyFunc::SaveSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    RegKey k;
    if (LSTATUS rc = k.Create(HKEY_CURRENT_USER, SettingsKey(section), KEY_SET_VALUE); rc != ERROR_SUCCESS) RaiseWin32(rc);
    LSTATUS rc = RegSetValueExW(k.get(), key.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    if (rc != ERROR_SUCCESS) RaiseWin32(rc);
}

void clsKeyFunc::ReadAppSwitch() {
    auto& s = AppSwitches;
    // Each key is read on its own: a value that cannot be converted leaves its field as it was.
    auto flag = [&](const wchar_t* section, const wchar_t* key, const wchar_t* def, int16_t& field) {
        try {
            field = ToInt16(GetSetting(section, key, def));
        } catch (...) {
            if (Logging()) ReportError(kModule, L"ReadAppSwitch", CurrentError(), Style::Critical);
        }
    };
    auto text = [&](const wchar_t* section, const wchar_t* key, const wchar_t* def, std::wstring& field) {
        field = GetSetting(section, key, def);
    };
    const wchar_t* O = L"Optionen";
    const wchar_t* S = L"Screen";
    flag(O, L"AgentLoad", L"0", s.AgentLoad);
    text(O, L"AgentType", L"", s.AgentType);
    if (!s.AgentType.empty()) s.AgentFile = s.AgentType + L".acs";
    flag(O, L"1stRun", L"1", s.FirstRun);
    flag(O, L"AutoClose", L"0", s.AutoClose);
    flag(O, L"AutoEntfernen", L"0", s.AutoEntfernen);
    flag(O, L"AutoFileDelAfterReentry", L"0", s.AutoFileDelAfterReentry);
    flag(O, L"AutoRegFileDel", L"0", s.AutoRegFileDel);
    flag(O, L"AutoScan", L"0", s.AutoScan);
    flag(O, L"DelAfterDays", L"0", s.DelAfterDays);
    text(O, L"EMail", L"", s.EMail);
    flag(S, L"Form_Height", L"9000", s.Form_Height);
    flag(S, L"Form_Width", L"9825", s.Form_Width);
    flag(O, L"Protokoll", L"0", s.Protokoll);
    flag(O, L"Proxy", L"0", s.Proxy);
    text(O, L"ProxyAdresse", L"0.0.0.0", s.ProxyAdresse);
    try {
        s.ProxyPort = ToIntInRange(GetSetting(O, L"ProxyPort", L"0"), 0, 65535);
    } catch (...) {
        if (Logging()) ReportError(kModule, L"ReadAppSwitch", CurrentError(), Style::Critical);
    }
    flag(O, L"RebootAfterDelete", L"0", s.RebootAfterDelete);
    flag(O, L"RebootAfterEntry", L"0", s.RebootAfterEntry);
    flag(S, L"ScreenSave", L"0", s.ScreenSave);
    flag(S, L"ScreenX", L"0", s.ScreenX);
    flag(S, L"ScreenY", L"0", s.ScreenY);
    flag(O, L"Recycler", L"1", s.Recycler);
    flag(O, L"Löschsicherheit", L"0", s.Loeschsicherheit);
    flag(O, L"RecyclerSecurity", L"0", s.RecyclerSecurity);
    flag(O, L"RecyclerAutoClean", L"0", s.RecyclerAutoClean);
    if (Logging()) Trace(kModule, L"ReadAppSwitch", L"vollständig gelesen");
}

std::wstring ReadServicePack() {
    return Service<clsKeyFunc>().ReadKeyValue(kHKLM, L"Software\\Microsoft\\Windows NT\\CurrentVersion", L"CSDVersion");
}
