// app/internet/clsInternet.h
#pragma once
#include <windows.h>
#include <string>


// The outcome of one HTTP request.
struct WebReply {
    enum class Result { Ok, NoConnection, Invalid, Cancelled, Busy };
    Result result = Result::NoConnection;
    unsigned long httpStatus = 0;
    std::string body;        // the whole reply (empty for a download to a file)
    unsigned long long bytes = 0;
    std::wstring reason;     // German, for the user and the log, when it failed
};

// What the caller shows while a request runs (its wait window). Every call comes on the calling
// thread, from inside Fetch; the window's "Abbrechen" calls clsInternet::Cancel().
class InternetWait {
public:
    virtual ~InternetWait() = default;
    // The request has started; `text` says what is waited for.
    virtual void WaitBegins(const std::wstring& text) = 0;
    // Bytes received so far, reported when the count changes.
    virtual void WaitProgress(unsigned long long bytes) = 0;
    // The request is over, whatever its outcome.
    virtual void WaitEnds() = 0;
};

// The program's one HTTP client (WinINet): requests to the product web server, through the proxy
// of the options or the system's settings. One request at a time; each has a time-out and can be
// cancelled. It shows nothing itself: the update check and the bug report (UpdateCheck,
// BugReportSender) and their windows decide what the user sees.
class clsInternet {
public:

    // Opens a web address in the system's browser.
    void CallWebSite(const std::wstring& address);

    // GET of an address: the reply read to its end, or written to `file` when one is given.
    // Goes through the proxy of the options when "Proxy" is 1, else the system's settings.
    // Events are processed while it waits; `wait`, when given, is told how the request goes.
    WebReply Fetch(const std::wstring& url, const std::wstring& file = L"", InternetWait* wait = nullptr);
    // True while a request or the proxy test runs; a second one is refused meanwhile.
    static bool Busy();
    // Cancels the running request (its wait window's "Abbrechen" does the same).
    static void Cancel();

    // The product web server: the setting "Server" of "Optionen", else the built-in address;
    // without trailing "/".
    static constexpr const wchar_t* kDefaultServer = L"http://www.torvane.de";
    static std::wstring ServerBase();
    static std::wstring ServerHost();

    // Percent-encoding of the UTF-8 bytes of a text: only A-Z a-z 0-9 - _ . ~ stay as they are.
    static std::wstring UrlEncode(const std::wstring& text);
    // True when a reply is an HTML page (an error page of the server) rather than the text asked for.
    static bool IsHtml(const std::string& body);

    // Attempts of one operation before the retry question is no longer offered.
    static constexpr int kMaxAttempts = 3;
    // Time-out of one request in milliseconds (connect, each send and receive, and the whole).
    static DWORD& TimeoutMs();

};

// Marks a request running for its lifetime; false from Acquired() when another one runs.
class InternetBusy {
public:
    InternetBusy();
    ~InternetBusy();
    InternetBusy(const InternetBusy&) = delete;
    InternetBusy& operator=(const InternetBusy&) = delete;
    bool Acquired() const { return acquired_; }

private:
    bool acquired_;
};

// The proxy test: connects to the proxy, sends one request for the server's home page, reads the
// reply's status line and closes. Events are processed while it waits. An unusable address or port
// raises 10049; otherwise it returns "" on success or the German text of the step that failed.
std::wstring TestProxy(const std::wstring& host, int port, const std::wstring& serverBase,
                       const std::wstring& serverHost, DWORD timeoutMs);
// The proxy port of the options (0 = none).
int ProxyPortOfOptions();
// The message the user sees when the internet is busy with another request.
extern const wchar_t* const kInternetBusyText;
// The first line of what the user sees when no connection came about, and when the reply was unusable.
extern const wchar_t* const kNoConnectionText;
extern const wchar_t* const kInvalidReplyText;
