// app/internet/UpdateCheck.h
#pragma once
#include "internet/InternetQuestions.h"
#include <functional>
#include <string>
#include <vector>

// The update check: asks the product web server for its version, and when it is newer than the
// running program downloads the update where the user chooses, checks its signature and starts it
// after the user's "Ja". Everything the user sees goes through the caller's InternetQuestions.
class UpdateCheck {
public:
    enum class Outcome {
        NoUpdate,       // the server's version is not newer
        Busy,           // another request was running
        Cancelled,      // the user cancelled a request
        Invalid,        // the server's reply was no version, or the download was broken
        NoConnection,   // no connection, the retries used up or declined
        NotSaved,       // an update was found, the user chose no place for it
        NotStarted,     // saved, the user did not start it
        Started,        // saved and started
    };
    UpdateCheck(clsInternet& net, InternetQuestions& user) : net_(net), user_(user) {}
    Outcome Run();

    // A version text: numbers separated by "." (blanks dropped, line ends trimmed); false for
    // anything else (an HTML page, an error text, garbage).
    static bool ParseVersion(const std::string& text, std::vector<unsigned long>& parts);
    // <0, 0, >0 comparing part by part as numbers; missing parts count as 0.
    static int CompareVersions(const std::vector<unsigned long>& a, const std::vector<unsigned long>& b);
    // The running program: major.minor.revision.
    static std::vector<unsigned long> LocalVersion();
    static std::wstring VersionText(const std::vector<unsigned long>& parts);

    // Starts the saved update after the user's "Ja"; replaceable, so tests start nothing.
    static std::function<void(const std::wstring&)>& StartUpdateAction();

    // Signature check of a downloaded file.
    enum class Trust { Trusted, NotTrusted, Unavailable };
    static Trust CheckSignature(const std::wstring& file, std::wstring& reason);

private:
    Outcome OfferDownload(const std::vector<unsigned long>& remote);
    clsInternet& net_;
    InternetQuestions& user_;
};
