// app/internet/clsInternet.cpp
#include "internet/clsInternet.h"
#include "core/AppEnvironment.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/UniqueHandle.h"
#include "core/Service.h"
#include "registry/clsKeyFunc.h"
#include <winsock2.h>
#include <ws2tcpip.h>
#include <wininet.h>
#include <shellapi.h>
#include <atomic>
#include <memory>
#include <mutex>

const wchar_t* const kInternetBusyText =
    L"Es besteht bereits eine Verbindung zum Server.\r\nBitte warten Sie, bis sie beendet ist.";
const wchar_t* const kNoConnectionText = L"Es konnte keine Internetverbindung hergestellt werden.";
const wchar_t* const kInvalidReplyText = L"Der Server hat eine ungültige Antwort gesendet.";

namespace {
const wchar_t* kModule = L"clsInternet";
constexpr size_t kMaxTextReply = 64 * 1024;

bool g_busy = false;
std::atomic<bool> g_cancel{false};

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
// it: stopping closes its handles, which ends every WinINet call the thread is blocked in.
struct FetchJob {
    std::wstring url, file, proxy;
    DWORD timeout = 0;
    std::mutex m;
    UniqueHInternet session, connection, request;
    bool stopped = false;
    std::atomic<unsigned long long> received{0};
    WebReply reply;

    // Children before their parent: closing the request is what ends a receive the thread is
    // blocked in, and WinINet wants every handle derived from one closed before it.
    void CloseAll() {
        request.reset();
        connection.reset();
        session.reset();
    }
    void Stop() {
        std::lock_guard<std::mutex> lock(m);
        stopped = true;
        CloseAll();
    }
    // Hands a freshly opened handle to the job, unless the request was stopped meanwhile (then it
    // is closed here). Returns the handle to work with, or nullptr.
    HINTERNET Keep(UniqueHInternet& slot, UniqueHInternet opened) {
        std::lock_guard<std::mutex> lock(m);
        if (stopped) return nullptr;
        slot = std::move(opened);
        return slot.get();
    }
    void Run();
};

void FetchJob::Run() {
    WebReply r;
    const DWORD access = proxy.empty() ? INTERNET_OPEN_TYPE_PRECONFIG : INTERNET_OPEN_TYPE_PROXY;
    UniqueHInternet opened(InternetOpenW(AppEnvironment.AppTitle.c_str(), access, proxy.empty() ? nullptr : proxy.c_str(),
                                         nullptr, 0));
    if (!opened) {
        r.reason = Describe(GetLastError());
        std::lock_guard<std::mutex> lock(m);
        reply = r;
        return;
    }
    const HINTERNET s = Keep(session, std::move(opened));
    if (!s) return;
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
    HINTERNET req = nullptr;      // owned by `request`; Stop() may close it under the thread's feet
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
    } else if (UniqueHInternet conn{InternetConnectW(s, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0)}) {
        const HINTERNET c = Keep(connection, std::move(conn));
        const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                            INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                            (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
        const std::wstring target = std::wstring(path) + (parts.lpszExtraInfo ? std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength) : L"");
        const wchar_t* accept[] = {L"*/*", nullptr};
        if (UniqueHInternet opening{c ? HttpOpenRequestW(c, L"GET", target.c_str(), nullptr, nullptr, accept, flags, 0) : nullptr}) {
            for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
                InternetSetOptionW(opening.get(), option, &t, sizeof t);
            req = Keep(request, std::move(opening));
            if (req && !HttpSendRequestW(req, nullptr, 0, nullptr, 0)) {
                const DWORD err = GetLastError();
                std::lock_guard<std::mutex> lock(m);
                request.reset();
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
            UniqueHFile out;
            if (!file.empty()) {
                out.reset(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
                if (!out) r.reason = L"Die Datei " + file + L" konnte nicht angelegt werden.";
            }
            bool complete = file.empty() || out;
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
                if (out) {
                    DWORD written = 0;
                    if (!WriteFile(out.get(), buf, n, &written, nullptr) || written != n) {
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
            if (out && !FlushFileBuffers(out.get()) && complete) {
                r.reason = L"Die Datei " + file + L" konnte nicht geschrieben werden.";
                complete = false;
            }
            out.reset();
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
    CloseAll();
    reply = r;
}

DWORD WINAPI FetchThread(void* p) {
    std::unique_ptr<std::shared_ptr<FetchJob>> job(static_cast<std::shared_ptr<FetchJob>*>(p));
    (*job)->Run();
    return 0;
}

std::wstring ProxyOfOptions() {
    const int port = ProxyPortOfOptions();
    if (AppSwitches.Proxy != 1 || Trim(AppSwitches.ProxyAdresse).empty() || port == 0) return L"";
    return Trim(AppSwitches.ProxyAdresse) + L":" + std::to_wstring(port);
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

namespace {
// Tells the caller's wait window that the request is over, however Fetch returns.
struct WaitShown {
    InternetWait* wait;
    WaitShown(InternetWait* w, const std::wstring& text) : wait(w) {
        if (wait) wait->WaitBegins(text);
    }
    ~WaitShown() {
        if (wait) wait->WaitEnds();
    }
    WaitShown(const WaitShown&) = delete;
    WaitShown& operator=(const WaitShown&) = delete;
};
}  // namespace

WebReply clsInternet::Fetch(const std::wstring& url, const std::wstring& file, InternetWait* wait) {
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
    const UniqueKernelHandle thread(CreateThread(nullptr, 0, FetchThread, new std::shared_ptr<FetchJob>(job), 0, nullptr));
    if (!thread) {
        reply.reason = L"Die Anfrage konnte nicht gestartet werden.";
        return reply;
    }
    const WaitShown shown(wait, file.empty() ? L"Verbindung zum Server wird hergestellt..." : L"Das Update wird geladen...");
    const HANDLE running = thread.get();
    // A text reply has to be there within three time-outs; a download only has to keep coming.
    const ULONGLONG start = GetTickCount64();
    ULONGLONG lastProgress = start;
    unsigned long long lastBytes = 0;
    bool stopped = false;
    while (true) {
        DWORD w = MsgWaitForMultipleObjects(1, &running, FALSE, 50, QS_ALLINPUT);
        if (w == WAIT_OBJECT_0) break;
        DoEvents();
        const ULONGLONG now = GetTickCount64();
        const unsigned long long bytes = job->received;
        if (bytes != lastBytes) {
            lastBytes = bytes;
            lastProgress = now;
            if (wait) wait->WaitProgress(bytes);
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
        // Closing the handles ends the thread's calls; a thread that still hangs keeps its own
        // share of the job and is left to end by itself.
        WaitForSingleObject(running, 5000);
        if (!file.empty()) DeleteFileW(file.c_str());
        return reply;
    }
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

bool clsInternet::IsHtml(const std::string& body) {
    size_t p = body.find_first_not_of(" \t\r\n");
    if (p != std::string::npos && static_cast<unsigned char>(body[p]) == 0xEF) p += 3;  // UTF-8 byte-order mark
    return p < body.size() && body[p] == '<';
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

// A socket of the proxy test: shut down both ways before it closes, so the proxy sees the end.
struct InvalidSocketIsNone {
    static SOCKET None() noexcept { return INVALID_SOCKET; }
    static bool Valid(SOCKET s) noexcept { return s != INVALID_SOCKET; }
};
struct ShutdownAndClose {
    void operator()(SOCKET s) const noexcept {
        shutdown(s, SD_BOTH);
        closesocket(s);
    }
};
using UniqueSocket = UniqueHandle<SOCKET, ShutdownAndClose, InvalidSocketIsNone>;

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
    UniqueKernelHandle thread(CreateThread(nullptr, 0, LookupThread, new std::shared_ptr<Lookup>(lookup), 0, nullptr));
    if (!thread) return L"Der Name des Proxyservers konnte nicht aufgelöst werden.";
    const bool looked = PumpUntil([&] { return WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0; }, timeoutMs);
    thread.reset();
    if (!looked || lookup->error != 0 || !lookup->result) {
        if (looked && lookup->result) freeaddrinfo(lookup->result);
        return g_cancel ? L"Der Test wurde abgebrochen."
                        : L"Der Name des Proxyservers " + h + L" konnte nicht aufgelöst werden.";
    }
    const UniqueSocket sock(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in addr = *reinterpret_cast<sockaddr_in*>(lookup->result->ai_addr);
    freeaddrinfo(lookup->result);
    if (!sock) return L"Es konnte keine Netzwerkverbindung angelegt werden.";
    u_long nonBlocking = 1;
    ioctlsocket(sock.get(), FIONBIO, &nonBlocking);
    const std::wstring where = h + L":" + std::to_wstring(port);
    if (connect(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = WSAGetLastError();
        if (err == WSAEADDRNOTAVAIL) Raise(10049, L"Die angeforderte Adresse ist nicht gültig (" + where + L").");
        if (err != WSAEWOULDBLOCK) return L"Zum Proxyserver " + where + L" konnte keine Verbindung aufgebaut werden.";
    }
    bool failed = false;
    if (!PumpUntil([&] { return Writable(sock.get(), failed); }, timeoutMs) || failed)
        return L"Zum Proxyserver " + where + L" konnte keine Verbindung aufgebaut werden.";

    const std::string request = "GET " + ToUtf8(serverBase) + "/ HTTP/1.0\r\nAccept: */*\r\nProxy-Connection: Keep-Alive\r\n"
                                "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)\r\nHost: " + ToUtf8(serverHost) +
                                "\r\n\r\n";
    size_t sent = 0;
    const bool allSent = PumpUntil([&] {
        int n = send(sock.get(), request.data() + sent, static_cast<int>(request.size() - sent), 0);
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
        int n = recv(sock.get(), buf, sizeof buf, 0);
        if (n > 0) head.append(buf, static_cast<size_t>(n));
        else if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) closed = true;
        return closed || head.find('\n') != std::string::npos || head.size() > 256;
    }, timeoutMs);
    if (head.empty())
        return closed ? L"Der Proxyserver hat die Verbindung ohne Antwort beendet." : L"Der Proxyserver hat nicht geantwortet.";
    if (head.compare(0, 5, "HTTP/") != 0) return L"Der Proxyserver hat keine gültige HTTP-Antwort gesendet.";
    return L"";
}
