// app/internet/InternetQuestions.h
#pragma once
#include "internet/clsInternet.h"
#include <functional>
#include <string>

// What the update check and the bug report tell and ask the user, and the wait window of their
// requests. The window that starts them answers with the assistant, message boxes and dialogs
// (InternetDialogs); the services themselves show nothing. Calls come in the order the user sees them.
class InternetQuestions : public InternetWait {
public:
    enum class Tone { Information, Warning };
    // The assistant says `text`; `procedure` names the step for the protocol.
    virtual void Say(const wchar_t* procedure, const std::wstring& text) = 0;
    // A message the user only acknowledges.
    virtual void Tell(const std::wstring& text, Tone tone) = 0;
    // A Yes/No question; true for Yes. `yesIsDefault` false: No is the default button.
    virtual bool Ask(const std::wstring& question, Tone tone, bool yesIsDefault = true) = 0;
    // Where to save the update (the suggested file name given); "" = the user cancelled.
    virtual std::wstring ChooseSavePath(const std::wstring& suggested) = 0;
};

// One request with the attempts the user allows: `check` may turn a received reply into Invalid;
// a request while another one runs is told to the user.
// After an attempt that found no connection the protocol gets the error with its reason, the
// assistant says `noConnectionText`, and the user is asked `retryQuestion` below it while attempts
// are left; the last attempt only tells. The reply of the last attempt is returned.
struct InternetRequest {
    const wchar_t* module;
    const wchar_t* procedure;
    int errorNumber;
    std::wstring noConnectionText;
    std::wstring retryQuestion;
};
WebReply FetchWithRetries(clsInternet& net, InternetQuestions& user, const std::wstring& url,
                          const InternetRequest& request, const std::function<void(WebReply&)>& check);
