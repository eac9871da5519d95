// app/internet/InternetQuestions.cpp
#include "internet/InternetQuestions.h"
#include "core/Trap.h"

WebReply FetchWithRetries(clsInternet& net, InternetQuestions& user, const std::wstring& url,
                          const InternetRequest& r, const std::function<void(WebReply&)>& check) {
    for (int attempt = 1;; ++attempt) {
        WebReply reply = net.Fetch(url, L"", &user);
        check(reply);
        if (reply.result == WebReply::Result::Busy) user.Tell(kInternetBusyText, InternetQuestions::Tone::Information);
        if (reply.result != WebReply::Result::NoConnection) return reply;
        ReportError(r.module, r.procedure, RuntimeError{r.errorNumber, kNoConnectionText}, Style::Warning, false,
                    reply.reason);
        user.Say(r.procedure, r.noConnectionText);
        if (attempt < clsInternet::kMaxAttempts &&
            user.Ask(r.noConnectionText + L"\r\n\r\n" + r.retryQuestion, InternetQuestions::Tone::Warning)) {
            Trace(r.module, r.procedure, L"wiederholt");
            continue;
        }
        if (attempt >= clsInternet::kMaxAttempts) user.Tell(r.noConnectionText, InternetQuestions::Tone::Warning);
        return reply;
    }
}
