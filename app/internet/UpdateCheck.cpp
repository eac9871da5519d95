// app/internet/UpdateCheck.cpp
#include "internet/UpdateCheck.h"
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/UniqueHandle.h"
#include <shellapi.h>
#include <softpub.h>
#include <wintrust.h>
#include <algorithm>

namespace {
// The protocol and the bug report's list of modules know these steps under the client's name.
const wchar_t* kModule = L"clsInternet";
using Tone = InternetQuestions::Tone;

bool HasEmbeddedSignature(const std::wstring& file) {
    using QueryFn = BOOL(WINAPI*)(DWORD, const void*, DWORD, DWORD, DWORD, DWORD*, DWORD*, DWORD*, HCERTSTORE*,
                                  HCRYPTMSG*, const void**);
    const UniqueHModule lib(LoadLibraryW(L"crypt32.dll"));
    auto query = lib ? reinterpret_cast<QueryFn>(GetProcAddress(lib.get(), "CryptQueryObject")) : nullptr;
    HCERTSTORE store = nullptr;
    HCRYPTMSG msg = nullptr;
    const bool found = query && query(CERT_QUERY_OBJECT_FILE, file.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                                      CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store, &msg, nullptr);
    using CloseStoreFn = BOOL(WINAPI*)(HCERTSTORE, DWORD);
    using CloseMsgFn = BOOL(WINAPI*)(HCRYPTMSG);
    if (store) reinterpret_cast<CloseStoreFn>(GetProcAddress(lib.get(), "CertCloseStore"))(store, 0);
    if (msg) reinterpret_cast<CloseMsgFn>(GetProcAddress(lib.get(), "CryptMsgClose"))(msg);
    return found;
}

std::wstring SuggestedName(const std::vector<unsigned long>& remote) {
    return L"TorvaneUpdate_" + UpdateCheck::VersionText(remote) + L".exe";
}
}  // namespace

bool UpdateCheck::ParseVersion(const std::string& text, std::vector<unsigned long>& parts) {
    parts.clear();
    std::string t;
    for (char c : text)
        if (c != ' ') t += c;
    const size_t first = t.find_first_not_of("\t\r\n"), last = t.find_last_not_of("\t\r\n");
    if (first == std::string::npos) return false;
    t = t.substr(first, last - first + 1);
    unsigned long value = 0;
    int digits = 0;
    for (size_t i = 0; i <= t.size(); ++i) {
        if (i == t.size() || t[i] == '.') {
            if (digits == 0) return false;
            parts.push_back(value);
            value = 0;
            digits = 0;
        } else if (t[i] >= '0' && t[i] <= '9' && digits < 9) {
            value = value * 10 + static_cast<unsigned long>(t[i] - '0');
            ++digits;
        } else {
            return false;
        }
    }
    return parts.size() <= 4;
}

int UpdateCheck::CompareVersions(const std::vector<unsigned long>& a, const std::vector<unsigned long>& b) {
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const unsigned long x = i < a.size() ? a[i] : 0, y = i < b.size() ? b[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

std::vector<unsigned long> UpdateCheck::LocalVersion() {
    std::vector<unsigned long> v;
    ParseVersion(ToUtf8(AppEnvironment.AppVersion), v);
    v.resize(2);
    v.push_back(static_cast<unsigned long>(AppEnvironment.Revision));
    return v;
}

std::wstring UpdateCheck::VersionText(const std::vector<unsigned long>& parts) {
    std::wstring s;
    for (unsigned long p : parts) s += (s.empty() ? L"" : L".") + std::to_wstring(p);
    return s;
}

std::function<void(const std::wstring&)>& UpdateCheck::StartUpdateAction() {
    static std::function<void(const std::wstring&)> start = [](const std::wstring& file) {
        SHELLEXECUTEINFOW sei{};
        sei.cbSize = sizeof sei;
        sei.fMask = SEE_MASK_NOASYNC;
        sei.hwnd = GetActiveWindow();
        sei.lpFile = file.c_str();
        sei.nShow = SW_SHOWNORMAL;
        if (!ShellExecuteExW(&sei)) RaiseWin32(GetLastError());
    };
    return start;
}

UpdateCheck::Trust UpdateCheck::CheckSignature(const std::wstring& file, std::wstring& reason) {
    // Loaded when needed: a system without it still gets the update, with a warning.
    using VerifyFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
    const UniqueHModule lib(LoadLibraryW(L"wintrust.dll"));
    auto verify = lib ? reinterpret_cast<VerifyFn>(GetProcAddress(lib.get(), "WinVerifyTrust")) : nullptr;
    if (!verify) {
        reason = L"Die digitale Signatur der Datei kann auf diesem System nicht geprüft werden.";
        return Trust::Unavailable;
    }
    WINTRUST_FILE_INFO info{};
    info.cbStruct = sizeof info;
    info.pcwszFilePath = file.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG status = verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    // Some systems answer success for a file without any signature: one must be embedded too.
    if (status == ERROR_SUCCESS && HasEmbeddedSignature(file)) return Trust::Trusted;
    wchar_t code[16];
    wsprintfW(code, L"0x%08X", static_cast<unsigned>(status));
    reason = status == static_cast<LONG>(TRUST_E_NOSIGNATURE) || status == ERROR_SUCCESS
                 ? L"Die Datei ist nicht digital signiert."
                 : L"Die digitale Signatur der Datei ist nicht gültig oder nicht vertrauenswürdig (" + std::wstring(code) + L").";
    return Trust::NotTrusted;
}

UpdateCheck::Outcome UpdateCheck::Run() {
    Trace(kModule, L"LiveUpdate", L"started");
    Outcome outcome = Outcome::NoConnection;
    std::vector<unsigned long> remote;
    const InternetRequest request{kModule, L"LiveUpdate", 10200,
                                  std::wstring(kNoConnectionText) +
                                      L"\r\n\r\nStellen Sie sicher, das eine Internetverbindung besteht.",
                                  L"Soll erneut nach einem Update gesucht werden?"};
    const WebReply reply = FetchWithRetries(net_, user_, clsInternet::ServerBase() + L"/appver.txt", request,
                                            [&remote](WebReply& r) {
        remote.clear();
        if (r.result == WebReply::Result::Ok && !ParseVersion(r.body, remote)) {
            r.result = WebReply::Result::Invalid;
            r.reason = r.body.find_first_not_of(" \t\r\n") == std::string::npos
                           ? L"Die Versionsdatei ist leer."
                           : clsInternet::IsHtml(r.body) ? L"Statt der Versionsdatei kam eine HTML-Seite."
                                                         : L"Die Versionsdatei enthält keine Versionsnummer.";
        }
    });
    switch (reply.result) {
    case WebReply::Result::Busy: outcome = Outcome::Busy; break;
    case WebReply::Result::Cancelled:
        Trace(kModule, L"LiveUpdate", L"abgebrochen");
        outcome = Outcome::Cancelled;
        break;
    case WebReply::Result::Invalid:
        ReportError(kModule, L"LiveUpdate", RuntimeError{10200, kInvalidReplyText}, Style::Warning, false, reply.reason);
        user_.Tell(std::wstring(kInvalidReplyText) + L"\r\n" + reply.reason, Tone::Warning);
        outcome = Outcome::Invalid;
        break;
    case WebReply::Result::Ok:
        if (CompareVersions(remote, LocalVersion()) > 0) {
            outcome = OfferDownload(remote);
        } else {
            Trace(kModule, L"LiveUpdate", L"Zur Zeit gibt es kein Update. ");
            const wchar_t* none = L"Zur Zeit ist kein Update verfügbar.";
            user_.Say(L"LiveUpdate", none);
            user_.Tell(none, Tone::Information);
            outcome = Outcome::NoUpdate;
        }
        break;
    case WebReply::Result::NoConnection: break;
    }
    Trace(kModule, L"LiveUpdate", L"endet");
    return outcome;
}

UpdateCheck::Outcome UpdateCheck::OfferDownload(const std::vector<unsigned long>& remote) {
    const std::wstring version = VersionText(remote);
    Trace(kModule, L"LiveUpdate", L"Update " + version + L" gefunden");
    user_.Say(L"LiveUpdate",
        L"Die Version " + version +
            L" des Programms wurde gefunden, legen Sie jetzt fest, wo die Datei gespeichert werden soll.");
    std::wstring path;
    Trap(kModule, L"LiveUpdate", [&] { path = user_.ChooseSavePath(SuggestedName(remote)); });
    if (path.empty()) {
        Trace(kModule, L"LiveUpdate", L"Speichern abgebrochen");
        return Outcome::NotSaved;
    }
    // Written beside the target first, so a broken download never takes the chosen name.
    const std::wstring part = path + L".part";
    WebReply reply = net_.Fetch(clsInternet::ServerBase() + L"/download.php?file=update", part, &user_);
    if (reply.result == WebReply::Result::Ok && reply.bytes == 0) {
        reply.result = WebReply::Result::Invalid;
        reply.reason = L"Die Datei ist leer.";
    }
    if (reply.result == WebReply::Result::Ok) {
        char head[2] = {};
        DWORD n = 0;
        if (const UniqueHFile f{CreateFileW(part.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)})
            ReadFile(f.get(), head, 2, &n, nullptr);
        if (n < 2 || head[0] != 'M' || head[1] != 'Z') {
            reply.result = WebReply::Result::Invalid;
            reply.reason = L"Die geladene Datei ist kein Programm.";
        }
    }
    if (reply.result == WebReply::Result::Ok && !MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        reply.result = WebReply::Result::Invalid;
        reply.reason = L"Die Datei " + path + L" konnte nicht angelegt werden.";
    }
    if (reply.result != WebReply::Result::Ok) {
        DeleteFileW(part.c_str());
        if (reply.result == WebReply::Result::Cancelled) {
            Trace(kModule, L"LiveUpdate", L"Download abgebrochen");
            return Outcome::Cancelled;
        }
        ReportError(kModule, L"LiveUpdate", RuntimeError{10200, L"Das Update konnte nicht geladen werden."},
                    Style::Warning, false, reply.reason);
        user_.Tell(L"Das Update konnte nicht geladen werden.\r\n" + reply.reason, Tone::Warning);
        return Outcome::Invalid;
    }
    Trace(kModule, L"LiveUpdate", L"gespeichert: " + path);
    std::wstring reason;
    const bool trusted = CheckSignature(path, reason) == Trust::Trusted;
    std::wstring text = L"Die Version " + version + L" wurde gespeichert:\r\n" + path + L"\r\n\r\n";
    if (!trusted) text += reason + L"\r\nStarten Sie die Datei nur, wenn Sie ihrer Herkunft vertrauen.\r\n\r\n";
    text += L"Soll das Update jetzt gestartet werden?";
    // Not trusted: a warning, and "Nein" is what Enter answers.
    if (!user_.Ask(text, trusted ? Tone::Information : Tone::Warning, trusted)) {
        Trace(kModule, L"LiveUpdate", L"nicht gestartet");
        return Outcome::NotStarted;
    }
    Trap(kModule, L"LiveUpdate", [&] { StartUpdateAction()(path); }, Style::Warning, true);
    return Outcome::Started;
}
