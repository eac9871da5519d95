// app/ui/InternetDialogs.h
#pragma once
#include "internet/InternetQuestions.h"
#include <memory>
#include <string>

class InternetWaitWindow;

// How the windows answer the update check and the bug report: the assistant speaks, message boxes
// tell and ask (owned by the active window, with the program's title), the save dialog asks for
// the update's place, and a small window with "Abbrechen" shows while a request runs.
class InternetDialogs : public InternetQuestions {
public:
    InternetDialogs();
    ~InternetDialogs() override;

    void Say(const wchar_t* procedure, const std::wstring& text) override;
    void Tell(const std::wstring& text, Tone tone) override;
    bool Ask(const std::wstring& question, Tone tone, bool yesIsDefault = true) override;
    std::wstring ChooseSavePath(const std::wstring& suggested) override;

    void WaitBegins(const std::wstring& text) override;
    void WaitProgress(unsigned long long bytes) override;
    void WaitEnds() override;

private:
    std::unique_ptr<InternetWaitWindow> wait_;
};
