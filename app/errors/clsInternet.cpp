// app/errors/clsInternet.cpp
#include "errors/clsInternet.h"
#include "core/AppEnvironment.h"
#include "assistant/clsAgent.h"
#include "core/Service.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/win/Dialog.h"
#include "errors/clsError.h"
#include "errors/clsInternet.rh"
#include "registry/clsKeyFunc.h"
#include <winsock2.h>
#include <ws2tcpip.h>
#include <wininet.h>
#include <shellapi.h>
#include <commdlg.h>
#include <shlobj.h>
#include <softpub.h>
#include <wintrust.h>
#include <atomic>
#include <memory>
#include <mutex>

const wchar_t* const kInternetBusyText =
    L"Es besteht bereits eine Verbindung zum Server.\r\nBitte warten Sie, bis sie beendet ist.";

namespace {
const wchar_t* kModule = L"clsInternet";
const wchar_t* kNoConnection = L"Es konnte keine Internetverbindung hergestellt werden.";

const wchar_t* kInvalidReply = L"Der Server hat eine ungültige Antwort gesendet.";
constexpr size_t kMaxTextReply = 64 * 1024;

bool g_busy = false;
std::atomic<bool> g_cancel{false};

int Ask(const std::wstring& text, UINT style) {
    return MessageBoxW(GetActiveWindow(), text.c_str(), AppEnvironment.AppTitle.c_str(), style);
}

std::wstring Describe(DWORD error) {
    switch (error) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return L"Der Name des Servers konnte nicht aufgelöst werden.";
    case ERROR_INTERNET_CANNOT_CONNECT: return L"Zum Server konnte keine Verbindung aufgebaut werden.";
    case ERROR_INTERNET_TIMEOUT: return L"Der Server hat nicht rechtzeitig geantwortet.";
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET: return L"Die Verbindung zum Server wurde unterbrochen.";
    case ERROR_INTERNET_INVALID_URL:
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME: return L"Die Adresse des Servers ist ungültig.";
    case ERROR_INTERNET_PROXY_SERVER_UNREACHABLE: return L"Der Proxyserver ist nicht erreichbar.";
    default: return L"Die Anfrage ist gescheitert (WinINet-Fehler " + std::to_wstring(error) + L").";
    }
}

// One request, shared by the thread that runs it and the user-interface thread that waits for
// it: stopping closes the session, which ends every WinINet call the thread is blocked in.
struct FetchJob {
    std::wstring url, file, proxy;
    DWORD timeout = 0;
    std::mutex m;
    HINTERNET session = nullptr, request = nullptr;
    bool stopped = false;
    std::atomic<unsigned long long> received{0};
    WebReply reply;

    void Stop() {
        std::lock_guard<std::mutex> lock(m);
        stopped = true;
        // The request first: closing it is what ends a receive the thread is blocked in.
        if (request) InternetCloseHandle(request);
        if (session) InternetCloseHandle(session);
        session = request = nullptr;
    }
    void Run();
};

void FetchJob::Run() {
    WebReply r;
    const DWORD access = proxy.empty() ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_PROXY;
    HINTERNET s = InternetOpenW(AppEnvironment.AppTitle.c_str(), access, proxy.empty() ? nullptr : proxy.c_str(),
                                nullptr, 0);
    if (!s) {
        r.reason = Describe(GetLastError());
        std::lock_guard<std::mutex> lock(m);
        reply = r;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m);
        if (stopped) {
            InternetCloseHandle(s);
            return;
        }
        session = s;
    }
    DWORD t = timeout, one = 1;
    InternetSetOptionW(s, INTERNET_OPTION_CONNECT_TIMEOUT, &t, sizeof t);
    InternetSetOptionW(s, INTERNET_OPTION_SEND_TIMEOUT, &t, sizeof t);
    InternetSetOptionW(s, INTERNET_OPTION_RECEIVE_TIMEOUT, &t, sizeof t);
    InternetSetOptionW(s, INTERNET_OPTION_CONNECT_RETRIES, &one, sizeof one);
    // Connection and request opened one by one: the time-outs only hold when set on the request.
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256] = L"", path[4096] = L"";
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 4096;
    parts.dwExtraInfoLength = 1;  // the query: pointed to inside the address, however long it is
    HINTERNET req = nullptr;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
    } else if (HINTERNET c = InternetConnectW(s, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0)) {
        const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                            INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                            (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
        const std::wstring target = std::wstring(path) + (parts.lpszExtraInfo ? std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength) : L"");
        const wchar_t* accept[] = {L"*/*", nullptr};
        req = HttpOpenRequestW(c, L"GET", target.c_str(), nullptr, nullptr, accept, flags, 0);
        if (req) {
            for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
                InternetSetOptionW(req, option, &t, sizeof t);
            {
                std::lock_guard<std::mutex> lock(m);
                if (stopped) {
                    InternetCloseHandle(req);
                    req = nullptr;
                }
                request = req;
            }
            if (!HttpSendRequestW(req, nullptr, 0, nullptr, 0)) {
                const DWORD err = GetLastError();
                InternetCloseHandle(req);
                req = nullptr;
                SetLastError(err);
            }
        }
    }
    if (!req) {
        r.reason = Describe(GetLastError());
    } else {
        DWORD status = 0, size = sizeof status;
        HttpQueryInfoW(req, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
        r.httpStatus = status;
        DWORD length = 0;
        size = sizeof length;
        const bool haveLength =
            HttpQueryInfoW(req, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr) != FALSE;
        if (status != 200) {
            r.result = WebReply::Result::Invalid;
            r.reason = L"Der Server meldet den Status " + std::to_wstring(status) + L".";
        } else {
            HANDLE out = INVALID_HANDLE_VALUE;
            if (!file.empty()) {
                out = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
                if (out == INVALID_HANDLE_VALUE) r.reason = L"Die Datei " + file + L" konnte nicht angelegt werden.";
            }
            bool complete = file.empty() || out != INVALID_HANDLE_VALUE;
            char buf[16384];
            while (complete) {
                DWORD n = 0;
                if (!InternetReadFile(req, buf, sizeof buf, &n)) {
                    r.reason = Describe(GetLastError());
                    complete = false;
                    break;
                }
                if (n == 0) break;
                r.bytes += n;
                received = r.bytes;
                if (out != INVALID_HANDLE_VALUE) {
                    DWORD written = 0;
                    if (!WriteFile(out, buf, n, &written, nullptr) || written != n) {
                        r.reason = L"Die Datei " + file + L" konnte nicht geschrieben werden.";
                        complete = false;
                    }
                } else {
                    r.body.append(buf, n);
                    if (r.body.size() > kMaxTextReply) {
                        r.reason = L"Die Antwort ist zu lang.";
                        complete = false;
                    }
                }
            }
            if (out != INVALID_HANDLE_VALUE && !FlushFileBuffers(out) && complete) {
                r.reason = L"Die Datei " + file + L" konnte nicht geschrieben werden.";
                complete = false;
            }
            if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
            if (complete && haveLength && r.bytes < length) {
                complete = false;
                r.reason = L"Die Antwort ist unvollständig (" + std::to_wstring(r.bytes) + L" von " +
                           std::to_wstring(length) + L" Bytes).";
            }
            // A reply that began but broke off is the server's fault, not a missing connection.
            r.result = complete ? WebReply::Result::Ok : WebReply::Result::Invalid;
        }
    }
    std::lock_guard<std::mutex> lock(m);
    if (req && !stopped) InternetCloseHandle(req);
    if (session) InternetCloseHandle(session);
    session = request = nullptr;
    reply = r;
}

DWORD WINAPI FetchThread(void* p) {
    std::unique_ptr<std::shared_ptr<FetchJob>> job(static_cast<std::shared_ptr<FetchJob>*>(p));
    (*job)->Run();
    return 0;
}

// The small window shown while a request runs; "Abbrechen" and Escape cancel it.
class InternetWaitWindow : public Dialog {
public:
    const wchar_t* Name() const override { return L"clsInternet"; }
    explicit InternetWaitWindow(std::wstring text) : text_(std::move(text)) {}
    ~InternetWaitWindow() override {
        if (h_ && IsWindow(h_)) {
            UnregisterModeless(h_);
            DestroyWindow(h_);
        }
    }
    void Open() {
        HWND owner = GetActiveWindow();
        if (CreateModeless(owner, IDD_dlgInternetWait)) {
            ShowWindow(h_, SW_SHOW);
            UpdateWindow(h_);
        }
    }
    void SetProgress(unsigned long long bytes) {
        if (!h_ || bytes == shown_) return;
        shown_ = bytes;
        Item(IDC_lblInternetWait).SetText(text_ + L"\r\n" + std::to_wstring(bytes / 1024) + L" KB empfangen");
    }

protected:
    bool OnInit() override {
        Item(IDC_lblInternetWait).SetText(text_);
        return true;
    }
    void OnCommand(int id, int, HWND) override {
        if (id == IDC_cmdInternetCancel || id == IDCANCEL) clsInternet::Cancel();
    }
    void OnClose() override { clsInternet::Cancel(); }

private:
    std::wstring text_;
    unsigned long long shown_ = 0;
};

std::wstring ProxyOfOptions() {
    const int port = ProxyPortOfOptions();
    if (AppSwitches.Proxy != 1 || Trim(AppSwitches.ProxyAdresse).empty() || port == 0) return L"";
    return Trim(AppSwitches.ProxyAdresse) + L":" + std::to_wstring(port);
}

bool IsHtml(const std::string& body) {
    size_t p = body.find_first_not_of(" \t\r\n");
    if (p != std::string::npos && static_cast<unsigned char>(body[p]) == 0xEF) p += 3;  // UTF-8 byte-order mark
    return p < body.size() && body[p] == '<';
}

bool HasEmbeddedSignature(const std::wstring& file) {
    using QueryFn = BOOL(WINAPI*)(DWORD, const void*, DWORD, DWORD, DWORD, DWORD*, DWORD*, DWORD*, HCERTSTORE*,
                                  HCRYPTMSG*, const void**);
    HMODULE lib = LoadLibraryW(L"crypt32.dll");
    auto query = lib ? reinterpret_cast<QueryFn>(GetProcAddress(lib, "CryptQueryObject")) : nullptr;
    HCERTSTORE store = nullptr;
    HCRYPTMSG msg = nullptr;
    const bool found = query && query(CERT_QUERY_OBJECT_FILE, file.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                                      CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store, &msg, nullptr);
    using CloseStoreFn = BOOL(WINAPI*)(HCERTSTORE, DWORD);
    using CloseMsgFn = BOOL(WINAPI*)(HCRYPTMSG);
    if (store) reinterpret_cast<CloseStoreFn>(GetProcAddress(lib, "CertCloseStore"))(store, 0);
    if (msg) reinterpret_cast<CloseMsgFn>(GetProcAddress(lib, "CryptMsgClose"))(msg);
    if (lib) FreeLibrary(lib);
    return found;
}

std::wstring SuggestedName(const std::vector<unsigned long>& remote) {
    return L"TorvaneUpdate_" + clsInternet::VersionText(remote) + L".exe";
}
}  // namespace

InternetBusy::InternetBusy() : acquired_(!g_busy) {
    if (acquired_) {
        g_busy = true;
        g_cancel = false;
    }
}
InternetBusy::~InternetBusy() {
    if (acquired_) g_busy = false;
}

int ProxyPortOfOptions() {
    return AppSwitches.ProxyPort;
}

bool clsInternet::Busy() { return g_busy; }
void clsInternet::Cancel() { g_cancel = true; }

DWORD& clsInternet::TimeoutMs() {
    static DWORD ms = 20000;
    return ms;
}

std::wstring clsInternet::ServerBase() {
    std::wstring base = Trim(Service<clsKeyFunc>().GetSetting(L"Optionen", L"Server", L""));
    if (base.empty()) base = kDefaultServer;
    if (base.find(L"://") == std::wstring::npos) base = L"http://" + base;
    while (!base.empty() && base.back() == L'/') base.pop_back();
    return base;
}

std::wstring clsInternet::ServerHost() {
    std::wstring base = ServerBase();
    std::wstring rest = base.substr(base.find(L"://") + 3);
    return rest.substr(0, rest.find(L'/'));
}

WebReply clsInternet::Fetch(const std::wstring& url, const std::wstring& file) {
    InternetBusy busy;
    WebReply reply;
    if (!busy.Acquired()) {
        reply.result = WebReply::Result::Busy;
        reply.reason = kInternetBusyText;
        return reply;
    }
    auto job = std::make_shared<FetchJob>();
    job->url = url;
    job->file = file;
    job->proxy = ProxyOfOptions();
    job->timeout = TimeoutMs();
    HANDLE thread = CreateThread(nullptr, 0, FetchThread, new std::shared_ptr<FetchJob>(job), 0, nullptr);
    if (!thread) {
        reply.reason = L"Die Anfrage konnte nicht gestartet werden.";
        return reply;
    }
    InternetWaitWindow wait(file.empty() ? L"Verbindung zum Server wird hergestellt..." : L"Das Update wird geladen...");
    wait.Open();
    // A text reply has to be there within three time-outs; a download only has to keep coming.
    const ULONGLONG start = GetTickCount64();
    ULONGLONG lastProgress = start;
    unsigned long long lastBytes = 0;
    bool stopped = false;
    while (true) {
        DWORD w = MsgWaitForMultipleObjects(1, &thread, FALSE, 50, QS_ALLINPUT);
        if (w == WAIT_OBJECT_0) break;
        DoEvents();
        const ULONGLONG now = GetTickCount64();
        const unsigned long long bytes = job->received;
        if (bytes != lastBytes) {
            lastBytes = bytes;
            lastProgress = now;
            wait.SetProgress(bytes);
        }
        const bool timedOut = now - lastProgress > job->timeout || (file.empty() && now - start > 3ull * job->timeout);
        if (g_cancel || timedOut) {
            reply.result = g_cancel ? WebReply::Result::Cancelled : WebReply::Result::NoConnection;
            reply.reason = g_cancel ? L"Die Verbindung wurde abgebrochen." : L"Der Server hat nicht rechtzeitig geantwortet.";
            job->Stop();
            stopped = true;
            break;
        }
    }
    if (stopped) {
        // Closing the session ends the thread's calls; a thread that still hangs keeps its own
        // share of the job and is left to end by itself.
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
        if (!file.empty()) DeleteFileW(file.c_str());
        return reply;
    }
    CloseHandle(thread);
    std::lock_guard<std::mutex> lock(job->m);
    return job->reply;
}

std::wstring clsInternet::UrlEncode(const std::wstring& text) {
    static const char* hex = "0123456789ABCDEF";
    std::wstring out;
    for (unsigned char c : ToUtf8(text)) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
            c == '.' || c == '~') {
            out += static_cast<wchar_t>(c);
        } else {
            out += L'%';
            out += static_cast<wchar_t>(hex[c >> 4]);
            out += static_cast<wchar_t>(hex[c & 15]);
        }
    }
    return out;
}

std::wstring clsInternet::BugReportQuery(const BugReportData& r) {
    const std::pair<const wchar_t*, std::wstring> pairs[] = {
        {L"tvversion", r.tvversion}, {L"tvbuild", r.tvbuild},   {L"errnr", std::to_wstring(r.errnr)},
        {L"errdesc", r.errdesc},     {L"modul", r.modul},       {L"procedur", r.procedur},
        {L"os", r.os},               {L"sp", r.sp},             {L"usrdesc", r.usrdesc},
        {L"from", L"Programm"},      {L"mail_sender", r.mail_sender},
    };
    std::wstring q;
    for (const auto& [key, value] : pairs) {
        if (!q.empty()) q += L'&';
        q += key;
        q += L'=';
        q += UrlEncode(value);
    }
    return q;
}

std::wstring clsInternet::BugReportPreview(const BugReportData& r) {
    return L"Version: " + r.tvversion + L"\r\nBuild: " + r.tvbuild + L"\r\nFehlernummer: " + std::to_wstring(r.errnr) +
           L"\r\nFehlertext: " + r.errdesc + L"\r\nModul: " + r.modul + L"\r\nProzedur: " + r.procedur +
           L"\r\nBetriebssystem: " + r.os + L"\r\nService Pack: " + r.sp + L"\r\nFehlerbeschreibung: " + r.usrdesc +
           L"\r\nAbsender: Programm\r\nE-Mail-Adresse: " + r.mail_sender;
}

bool clsInternet::ParseVersion(const std::string& text, std::vector<unsigned long>& parts) {
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

int clsInternet::CompareVersions(const std::vector<unsigned long>& a, const std::vector<unsigned long>& b) {
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const unsigned long x = i < a.size() ? a[i] : 0, y = i < b.size() ? b[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

std::vector<unsigned long> clsInternet::LocalVersion() {
    std::vector<unsigned long> v;
    ParseVersion(ToUtf8(AppEnvironment.AppVersion), v);
    v.resize(2);
    v.push_back(static_cast<unsigned long>(AppEnvironment.Revision));
    return v;
}

std::wstring clsInternet::VersionText(const std::vector<unsigned long>& parts) {
    std::wstring s;
    for (unsigned long p : parts) s += (s.empty() ? L"" : L".") + std::to_wstring(p);
    return s;
}

std::function<std::wstring(const std::wstring&)>& clsInternet::ChooseSavePath() {
    static std::function<std::wstring(const std::wstring&)> choose = [](const std::wstring& suggested) {
        wchar_t path[MAX_PATH] = L"";
        lstrcpynW(path, suggested.c_str(), MAX_PATH);
        std::wstring folder;
        PWSTR downloads = nullptr;
        if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &downloads))) folder = downloads;
        CoTaskMemFree(downloads);
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = GetActiveWindow();
        ofn.lpstrFilter = L"Programme (*.exe)\0*.exe\0Alle Dateien (*.*)\0*.*\0";
        ofn.lpstrFile = path;
        ofn.nMaxFile = MAX_PATH;
        ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
        ofn.lpstrTitle = L"Update speichern unter";
        ofn.lpstrDefExt = L"exe";
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
        return GetSaveFileNameW(&ofn) ? std::wstring(path) : std::wstring();
    };
    return choose;
}

std::function<void(const std::wstring&)>& clsInternet::StartUpdateAction() {
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

clsInternet::Trust clsInternet::CheckSignature(const std::wstring& file, std::wstring& reason) {
    // Loaded when needed: a system without it still gets the update, with a warning.
    using VerifyFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
    HMODULE lib = LoadLibraryW(L"wintrust.dll");
    auto verify = lib ? reinterpret_cast<VerifyFn>(GetProcAddress(lib, "WinVerifyTrust")) : nullptr;
    if (!verify) {
        if (lib) FreeLibrary(lib);
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
    FreeLibrary(lib);
    // Some systems answer success for a file without any signature: one must be embedded too.
    if (status == ERROR_SUCCESS && HasEmbeddedSignature(file)) return Trust::Trusted;
    wchar_t code[16];
    wsprintfW(code, L"0x%08X", static_cast<unsigned>(status));
    reason = status == static_cast<LONG>(TRUST_E_NOSIGNATURE) || status == ERROR_SUCCESS
                 ? L"Die Datei ist nicht digital signiert."
                 : L"Die digitale Signatur der Datei ist nicht gültig oder nicht vertrauenswürdig (" + std::wstring(code) + L").";
    return Trust::NotTrusted;
}

void clsInternet::CallWebSite(const std::wstring& address) {
    Trace(kModule, L"CallWebSite", L"started");
    Trap(kModule, L"CallWebSite", [&] {
        // Only web addresses: the setting that names the server must not start a program.
        if (!StartsWith(ToLower(address), L"http://") && !StartsWith(ToLower(address), L"https://"))
            Raise(Err::InvalidProperty, L"Die Adresse " + address + L" ist keine Webadresse.");
        ShellExecuteW(nullptr, nullptr, address.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
    });
    Trace(kModule, L"CallWebSite", L"endet");
}

void clsInternet::LiveUpdate() {
    Trace(kModule, L"LiveUpdate", L"started");
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        WebReply reply = Fetch(ServerBase() + L"/appver.txt");
        std::vector<unsigned long> remote;
        if (reply.result == WebReply::Result::Ok && !ParseVersion(reply.body, remote)) {
            reply.result = WebReply::Result::Invalid;
            reply.reason = reply.body.find_first_not_of(" \t\r\n") == std::string::npos
                               ? L"Die Versionsdatei ist leer."
                               : IsHtml(reply.body) ? L"Statt der Versionsdatei kam eine HTML-Seite."
                                                    : L"Die Versionsdatei enthält keine Versionsnummer.";
        }
        switch (reply.result) {
        case WebReply::Result::Busy:
            Ask(kInternetBusyText, MB_ICONINFORMATION | MB_OK);
            break;
        case WebReply::Result::Cancelled:
            Trace(kModule, L"LiveUpdate", L"abgebrochen");
            break;
        case WebReply::Result::Invalid:
            ReportError(kModule, L"LiveUpdate", RuntimeError{10200, kInvalidReply}, Style::Warning, false, reply.reason);
            Ask(std::wstring(kInvalidReply) + L"\r\n" + reply.reason, MB_ICONWARNING | MB_OK);
            break;
        case WebReply::Result::Ok:
            if (CompareVersions(remote, LocalVersion()) > 0) {
                OfferDownload(remote);
            } else {
                Trace(kModule, L"LiveUpdate", L"Zur Zeit gibt es kein Update. ");
                const wchar_t* none = L"Zur Zeit ist kein Update verfügbar.";
                Service<clsAgent>().Say(kModule, L"LiveUpdate", none);
                Ask(none, MB_ICONINFORMATION | MB_OK);
            }
            break;
        case WebReply::Result::NoConnection: {
            ReportError(kModule, L"LiveUpdate", RuntimeError{10200, kNoConnection}, Style::Warning, false, reply.reason);
            std::wstring text = std::wstring(kNoConnection) + L"\r\n\r\nStellen Sie sicher, das eine Internetverbindung besteht.";
            Service<clsAgent>().Say(kModule, L"LiveUpdate", text);
            if (attempt < kMaxAttempts &&
                Ask(text + L"\r\n\r\nSoll erneut nach einem Update gesucht werden?", MB_ICONWARNING | MB_YESNO) == IDYES) {
                Trace(kModule, L"LiveUpdate", L"wiederholt");
                continue;
            }
            if (attempt == kMaxAttempts) Ask(text, MB_ICONWARNING | MB_OK);
            break;
        }
        }
        break;
    }
    Trace(kModule, L"LiveUpdate", L"endet");
}

void clsInternet::OfferDownload(const std::vector<unsigned long>& remote) {
    const std::wstring version = VersionText(remote);
    Trace(kModule, L"LiveUpdate", L"Update " + version + L" gefunden");
    Service<clsAgent>().Say(kModule, L"LiveUpdate",
        L"Die Version " + version +
            L" des Programms wurde gefunden, legen Sie jetzt fest, wo die Datei gespeichert werden soll.");
    std::wstring path;
    Trap(kModule, L"LiveUpdate", [&] { path = ChooseSavePath()(SuggestedName(remote)); });
    if (path.empty()) {
        Trace(kModule, L"LiveUpdate", L"Speichern abgebrochen");
        return;
    }
    // Written beside the target first, so a broken download never takes the chosen name.
    const std::wstring part = path + L".part";
    WebReply reply = Fetch(ServerBase() + L"/download.php?file=update", part);
    if (reply.result == WebReply::Result::Ok && reply.bytes == 0) {
        reply.result = WebReply::Result::Invalid;
        reply.reason = L"Die Datei ist leer.";
    }
    if (reply.result == WebReply::Result::Ok) {
        char head[2] = {};
        HANDLE f = CreateFileW(part.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD n = 0;
        if (f != INVALID_HANDLE_VALUE) {
            ReadFile(f, head, 2, &n, nullptr);
            CloseHandle(f);
        }
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
            return;
        }
        ReportError(kModule, L"LiveUpdate", RuntimeError{10200, L"Das Update konnte nicht geladen werden."},
                    Style::Warning, false, reply.reason);
        Ask(L"Das Update konnte nicht geladen werden.\r\n" + reply.reason, MB_ICONWARNING | MB_OK);
        return;
    }
    Trace(kModule, L"LiveUpdate", L"gespeichert: " + path);
    std::wstring reason;
    const bool trusted = CheckSignature(path, reason) == Trust::Trusted;
    std::wstring text = L"Die Version " + version + L" wurde gespeichert:\r\n" + path + L"\r\n\r\n";
    if (!trusted) text += reason + L"\r\nStarten Sie die Datei nur, wenn Sie ihrer Herkunft vertrauen.\r\n\r\n";
    text += L"Soll das Update jetzt gestartet werden?";
    if (Ask(text, (trusted ? MB_ICONQUESTION : MB_ICONWARNING | MB_DEFBUTTON2) | MB_YESNO) != IDYES) {
        Trace(kModule, L"LiveUpdate", L"nicht gestartet");
        return;
    }
    Trap(kModule, L"LiveUpdate", [&] { StartUpdateAction()(path); }, Style::Warning, true);
}

void clsInternet::BugReport(const BugReportData& report) {
    Trace(kModule, L"BugReport", L"started");
    const std::wstring preview = L"Folgende Angaben werden an " + ServerHost() + L" gesendet:\r\n\r\n" +
                                 BugReportPreview(report) + L"\r\n\r\nSoll der Bug-Report jetzt gesendet werden?";
    if (Ask(preview, MB_ICONQUESTION | MB_YESNO) != IDYES) {
        Trace(kModule, L"BugReport", L"nicht gesendet");
        Trace(kModule, L"BugReport", L"endet");
        return;
    }
    const std::wstring url = ServerBase() + L"/bug_report.php?" + BugReportQuery(report);
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        WebReply reply = Fetch(url);
        if (reply.result == WebReply::Result::Ok &&
            (reply.body.find_first_not_of(" \t\r\n") == std::string::npos || IsHtml(reply.body))) {
            reply.result = WebReply::Result::Invalid;
            reply.reason = IsHtml(reply.body) ? L"Statt einer Bestätigung kam eine HTML-Seite." : L"Die Antwort ist leer.";
        }
        switch (reply.result) {
        case WebReply::Result::Busy:
            Ask(kInternetBusyText, MB_ICONINFORMATION | MB_OK);
            break;
        case WebReply::Result::Cancelled:
            ReportError(kModule, L"BugReport", RuntimeError{10201, L"Der Bug-Report wurde nicht gesendet."},
                        Style::Warning, false, reply.reason);
            break;
        case WebReply::Result::Ok: {
            Trace(kModule, L"BugReport", L"gesendet");
            const std::wstring thanks = L"Vielen Dank für Ihre Unterstützung.\r\n\r\nDer Bug-Report ist erfolgreich versendet worden.";
            Service<clsAgent>().Say(kModule, L"BugReport", thanks);
            Ask(thanks, MB_ICONINFORMATION | MB_OK);
            break;
        }
        case WebReply::Result::Invalid:
            ReportError(kModule, L"BugReport", RuntimeError{10201, kInvalidReply}, Style::Warning, false, reply.reason);
            Ask(std::wstring(kInvalidReply) + L"\r\n" + reply.reason + L"\r\n\r\nDer Bug-Report konnte nicht versendet werden.",
                MB_ICONWARNING | MB_OK);
            break;
        case WebReply::Result::NoConnection: {
            ReportError(kModule, L"BugReport", RuntimeError{10201, kNoConnection}, Style::Warning, false, reply.reason);
            std::wstring text = std::wstring(kNoConnection) +
                                L"\r\n\r\nDer Bug-Report konnte noch nicht versendet werden.\r\nStellen Sie sicher, das "
                                L"eine Internetverbindung besteht.";
            Service<clsAgent>().Say(kModule, L"BugReport", text);
            if (attempt < kMaxAttempts &&
                Ask(text + L"\r\n\r\nSoll der Versand noch einmal versucht werden?", MB_ICONWARNING | MB_YESNO) == IDYES) {
                Trace(kModule, L"BugReport", L"wiederholt");
                continue;
            }
            if (attempt == kMaxAttempts) Ask(text, MB_ICONWARNING | MB_OK);
            break;
        }
        }
        break;
    }
    Trace(kModule, L"BugReport", L"endet");
}

// ---- the proxy test (Winsock)

namespace {
struct Winsock {
    Winsock() {
        WSADATA d;
        ok = WSAStartup(MAKEWORD(2, 2), &d) == 0;
    }
    ~Winsock() {
        if (ok) WSACleanup();
    }
    bool ok = false;
};

struct Lookup {
    std::string host, port;
    addrinfo* result = nullptr;
    int error = 0;
};

DWORD WINAPI LookupThread(void* p) {
    auto job = static_cast<std::shared_ptr<Lookup>*>(p);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    (*job)->error = getaddrinfo((*job)->host.c_str(), (*job)->port.c_str(), &hints, &(*job)->result);
    delete job;
    return 0;
}

// Waits, processing events, until `ready` holds or the time is up (or the user cancels).
template <class Ready>
bool PumpUntil(Ready ready, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!ready()) {
        if (GetTickCount64() > end || g_cancel) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        DoEvents();
    }
    return true;
}

struct Socket {
    SOCKET s = INVALID_SOCKET;
    ~Socket() {
        if (s != INVALID_SOCKET) {
            shutdown(s, SD_BOTH);
            closesocket(s);
        }
    }
};

bool Writable(SOCKET s, bool& failed) {
    fd_set w, e;
    FD_ZERO(&w);
    FD_ZERO(&e);
    FD_SET(s, &w);
    FD_SET(s, &e);
    timeval zero{0, 0};
    if (select(0, nullptr, &w, &e, &zero) <= 0) return false;
    failed = FD_ISSET(s, &e) != 0;
    if (!failed) {
        int err = 0, len = sizeof err;
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
        failed = err != 0;
    }
    return true;
}
}  // namespace

std::wstring TestProxy(const std::wstring& host, int port, const std::wstring& serverBase,
                       const std::wstring& serverHost, DWORD timeoutMs) {
    const std::wstring h = Trim(host);
    if (h.empty() || h == L"0.0.0.0" || port <= 0 || port > 65535)
        Raise(10049, L"Die angeforderte Adresse ist nicht gültig (" + h + L":" + std::to_wstring(port) + L").");
    Winsock ws;
    if (!ws.ok) return L"Die Netzwerkfunktionen des Systems stehen nicht zur Verfügung.";

    // Name lookup on its own thread: a slow name server must not freeze the windows.
    auto lookup = std::make_shared<Lookup>();
    lookup->host = ToUtf8(h);
    lookup->port = std::to_string(port);
    HANDLE thread = CreateThread(nullptr, 0, LookupThread, new std::shared_ptr<Lookup>(lookup), 0, nullptr);
    if (!thread) return L"Der Name des Proxyservers konnte nicht aufgelöst werden.";
    const bool looked = PumpUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, timeoutMs);
    CloseHandle(thread);
    if (!looked || lookup->error != 0 || !lookup->result) {
        if (looked && lookup->result) freeaddrinfo(lookup->result);
        return g_cancel ? L"Der Test wurde abgebrochen."
                        : L"Der Name des Proxyservers " + h + L" konnte nicht aufgelöst werden.";
    }
    Socket sock;
    sock.s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = *reinterpret_cast<sockaddr_in*>(lookup->result->ai_addr);
    freeaddrinfo(lookup->result);
    if (sock.s == INVALID_SOCKET) return L"Es konnte keine Netzwerkverbindung angelegt werden.";
    u_long nonBlocking = 1;
    ioctlsocket(sock.s, FIONBIO, &nonBlocking);
    const std::wstring where = h + L":" + std::to_wstring(port);
    if (connect(sock.s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = WSAGetLastError();
        if (err == WSAEADDRNOTAVAIL) Raise(10049, L"Die angeforderte Adresse ist nicht gültig (" + where + L").");
        if (err != WSAEWOULDBLOCK) return L"Zum Proxyserver " + where + L" konnte keine Verbindung aufgebaut werden.";
    }
    bool failed = false;
    if (!PumpUntil([&] { return Writable(sock.s, failed); }, timeoutMs) || failed)
        return L"Zum Proxyserver " + where + L" konnte keine Verbindung aufgebaut werden.";

    const std::string request = "GET " + ToUtf8(serverBase) + "/ HTTP/1.0\r\nAccept: */*\r\nProxy-Connection: Keep-Alive\r\n"
                                "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\r\nHost: " + ToUtf8(serverHost) +
                                "\r\n\r\n";
    size_t sent = 0;
    const bool allSent = PumpUntil([&] {
        int n = send(sock.s, request.data() + sent, static_cast<int>(request.size() - sent), 0);
        if (n > 0) sent += static_cast<size_t>(n);
        else if (WSAGetLastError() != WSAEWOULDBLOCK) return true;
        return sent == request.size();
    }, timeoutMs);
    if (!allSent || sent != request.size()) return L"Die Anfrage konnte nicht an den Proxyserver gesendet werden.";

    // The status line is enough to know the proxy answers.
    std::string head;
    bool closed = false;
    PumpUntil([&] {
        char buf[512];
        int n = recv(sock.s, buf, sizeof buf, 0);
        if (n > 0) head.append(buf, static_cast<size_t>(n));
        else if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) closed = true;
        return closed || head.find('\n') != std::string::npos || head.size() > 256;
    }, timeoutMs);
    if (head.empty())
        return closed ? L"Der Proxyserver hat die Verbindung ohne Antwort beendet." : L"Der Proxyserver hat nicht geantwortet.";
    if (head.compare(0, 5, "HTTP/") != 0) return L"Der Proxyserver hat keine gültige HTTP-Antwort gesendet.";
    return L"";
}
