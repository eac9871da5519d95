// app/internet/BugReportSender.cpp
#include "internet/BugReportSender.h"
#include "core/Text.h"
#include "core/Trap.h"
#include <utility>

namespace {
// The protocol and the bug report's list of modules know these steps under the client's name.
const wchar_t* kModule = L"clsInternet";
using Tone = InternetQuestions::Tone;
}  // namespace

std::wstring BugReportSender::Query(const BugReportData& r) {
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
        q += clsInternet::UrlEncode(value);
    }
    return q;
}

std::wstring BugReportSender::Preview(const BugReportData& r) {
    return L"Version: " + r.tvversion + L"\r\nBuild: " + r.tvbuild + L"\r\nFehlernummer: " + std::to_wstring(r.errnr) +
           L"\r\nFehlertext: " + r.errdesc + L"\r\nModul: " + r.modul + L"\r\nProzedur: " + r.procedur +
           L"\r\nBetriebssystem: " + r.os + L"\r\nService Pack: " + r.sp + L"\r\nFehlerbeschreibung: " + r.usrdesc +
           L"\r\nAbsender: Programm\r\nE-Mail-Adresse: " + r.mail_sender;
}

BugReportSender::Outcome BugReportSender::Send(const BugReportData& report) {
    Trace(kModule, L"BugReport", L"started");
    const std::wstring preview = L"Folgende Angaben werden an " + clsInternet::ServerHost() + L" gesendet:\r\n\r\n" +
                                 Preview(report) + L"\r\n\r\nSoll der Bug-Report jetzt gesendet werden?";
    if (!user_.Ask(preview, Tone::Information)) {
        Trace(kModule, L"BugReport", L"nicht gesendet");
        Trace(kModule, L"BugReport", L"endet");
        return Outcome::NotConfirmed;
    }
    Outcome outcome = Outcome::NoConnection;
    const std::wstring url = clsInternet::ServerBase() + L"/bug_report.php?" + Query(report);
    const InternetRequest request{kModule, L"BugReport", 10201,
                                  std::wstring(kNoConnectionText) +
                                      L"\r\n\r\nDer Bug-Report konnte noch nicht versendet werden.\r\nStellen Sie "
                                      L"sicher, das eine Internetverbindung besteht.",
                                  L"Soll der Versand noch einmal versucht werden?"};
    const WebReply reply = FetchWithRetries(net_, user_, url, request, [](WebReply& r) {
        if (r.result == WebReply::Result::Ok &&
            (r.body.find_first_not_of(" \t\r\n") == std::string::npos || clsInternet::IsHtml(r.body))) {
            r.result = WebReply::Result::Invalid;
            r.reason = clsInternet::IsHtml(r.body) ? L"Statt einer Bestätigung kam eine HTML-Seite." : L"Die Antwort ist leer.";
        }
    });
    switch (reply.result) {
    case WebReply::Result::Busy: outcome = Outcome::Busy; break;
    case WebReply::Result::Cancelled:
        ReportError(kModule, L"BugReport", RuntimeError{10201, L"Der Bug-Report wurde nicht gesendet."},
                    Style::Warning, false, reply.reason);
        outcome = Outcome::Cancelled;
        break;
    case WebReply::Result::Ok: {
        Trace(kModule, L"BugReport", L"gesendet");
        const std::wstring thanks = L"Vielen Dank für Ihre Unterstützung.\r\n\r\nDer Bug-Report ist erfolgreich versendet worden.";
        user_.Say(L"BugReport", thanks);
        user_.Tell(thanks, Tone::Information);
        outcome = Outcome::Sent;
        break;
    }
    case WebReply::Result::Invalid:
        ReportError(kModule, L"BugReport", RuntimeError{10201, kInvalidReplyText}, Style::Warning, false, reply.reason);
        user_.Tell(std::wstring(kInvalidReplyText) + L"\r\n" + reply.reason + L"\r\n\r\nDer Bug-Report konnte nicht versendet werden.",
                   Tone::Warning);
        outcome = Outcome::Invalid;
        break;
    case WebReply::Result::NoConnection: break;
    }
    Trace(kModule, L"BugReport", L"endet");
    return outcome;
}
