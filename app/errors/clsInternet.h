// app/errors/clsInternet.h
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>


// What a bug report carries; the error number is sent whole, whatever its size.
struct BugReportData {
    std::wstring tvversion, tvbuild;
    long long errnr = 0;
    std::wstring errdesc, modul, procedur, os, sp, usrdesc, mail_sender;
};

// The outcome of one HTTP request.
struct WebReply {
    enum class Result { Ok, NoConnection, Invalid, Cancelled, Busy };
    Result result = Result::NoConnection;
    unsigned long httpStatus = 0;
    std::string body;        // the whole reply (empty for a download to a file)
    unsigned long long bytes = 0;
    std::wstring reason;     // German, for the user and the log, when it failed
};

// The program's one HTTP client (WinINet): update check and download, bug report, home page.
// One request at a time; each has a time-out and can be cancelled from its wait window.
class clsInternet {
public:

    void CallWebSite(const std::wstring& address);
    void LiveUpdate();
    void BugReport(const BugReportData& report);

    // GET of an address: the reply read to its end, or written to `file` when one is given.
    // Goes through the proxy of the options when "Proxy" is 1, else the system's settings.
    WebReply Fetch(const std::wstring& url, const std::wstring& file = L"");
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
    static std::wstring BugReportQuery(const BugReportData& report);
    // What will be sent, one field a line, as the user confirms it.
    static std::wstring BugReportPreview(const BugReportData& report);
    // A version text: numbers separated by "." (blanks dropped, line ends trimmed); false for
    // anything else (an HTML page, an error text, garbage).
    static bool ParseVersion(const std::string& text, std::vector<unsigned long>& parts);
    // <0, 0, >0 comparing part by part as numbers; missing parts count as 0.
    static int CompareVersions(const std::vector<unsigned long>& a, const std::vector<unsigned long>& b);
    // The running program: major.minor.revision.
    static std::vector<unsigned long> LocalVersion();
    static std::wstring VersionText(const std::vector<unsigned long>& parts);

    // Attempts of one operation before the retry question is no longer offered.
    static constexpr int kMaxAttempts = 3;
    // Time-out of one request in milliseconds (connect, each send and receive, and the whole).
    static DWORD& TimeoutMs();

    // Replaceable steps, so tests neither open a file dialog nor start a program.
    // Asks where to save the update (suggested file name given); "" = the user cancelled.
    static std::function<std::wstring(const std::wstring&)>& ChooseSavePath();
    // Starts the saved update after the user's "Ja".
    static std::function<void(const std::wstring&)>& StartUpdateAction();

    // Signature check of a downloaded file.
    enum class Trust { Trusted, NotTrusted, Unavailable };
    static Trust CheckSignature(const std::wstring& file, std::wstring& reason);

private:
    void OfferDownload(const std::vector<unsigned long>& remote);
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
