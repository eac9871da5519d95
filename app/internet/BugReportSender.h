// app/internet/BugReportSender.h
#pragma once
#include "internet/InternetQuestions.h"
#include <string>

// What a bug report carries; the error number is sent whole, whatever its size.
struct BugReportData {
    std::wstring tvversion, tvbuild;
    long long errnr = 0;
    std::wstring errdesc, modul, procedur, os, sp, usrdesc, mail_sender;
};

// Sends a bug report to the product web server after the user confirmed what is sent, with the
// retries the user asks for. Everything the user sees goes through the caller's InternetQuestions.
class BugReportSender {
public:
    enum class Outcome { NotConfirmed, Sent, Busy, Cancelled, Invalid, NoConnection };
    BugReportSender(clsInternet& net, InternetQuestions& user) : net_(net), user_(user) {}
    Outcome Send(const BugReportData& report);

    static std::wstring Query(const BugReportData& report);
    // What will be sent, one field a line, as the user confirms it.
    static std::wstring Preview(const BugReportData& report);

private:
    clsInternet& net_;
    InternetQuestions& user_;
};
