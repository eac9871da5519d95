// tests/internet/UpdateCheck_test.cpp: the update check and the bug report answer through the
// caller's questions; they show nothing themselves.
#include "core/AppEnvironment.h"
#include "internet/InternetFixture.h"
#include "core/Text.h"
#include "support/TestHttpServer.h"
#include "internet/BugReportSender.h"
#include "internet/UpdateCheck.h"
#include "main/ClassHandler.h"
#include "registry/clsKeyFunc.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <algorithm>

namespace {
using Tone = InternetQuestions::Tone;

// Records every call in order; answers questions from a list (the last one repeats).
class Recorder : public InternetQuestions {
public:
    std::vector<std::wstring> calls;
    std::vector<bool> answers{true};
    std::wstring saveAs;

    void Say(const wchar_t* procedure, const std::wstring& text) override {
        calls.push_back(L"say " + std::wstring(procedure) + L": " + text);
    }
    void Tell(const std::wstring& text, Tone tone) override {
        calls.push_back(std::wstring(tone == Tone::Warning ? L"warn: " : L"tell: ") + text);
    }
    bool Ask(const std::wstring& question, Tone tone, bool yesIsDefault) override {
        calls.push_back(std::wstring(tone == Tone::Warning ? L"ask warning" : L"ask") + (yesIsDefault ? L"" : L" no-default") +
                        L": " + question);
        const bool yes = answers[std::min(asked_++, answers.size() - 1)];
        return yes;
    }
    std::wstring ChooseSavePath(const std::wstring& suggested) override {
        calls.push_back(L"save: " + suggested);
        return saveAs;
    }
    void WaitBegins(const std::wstring& text) override { calls.push_back(L"wait: " + text); }
    void WaitProgress(unsigned long long) override {}
    void WaitEnds() override { calls.push_back(L"wait ends"); }

private:
    size_t asked_ = 0;
};

class Seam : public InternetFixture {
protected:
    Recorder user;
    // Any message box the services opened themselves would land here.
    MessageBoxes boxes{L"Torvane", {IDOK}};
};

const std::wstring kWaitText = L"wait: Verbindung zum Server wird hergestellt...";
}  // namespace

TEST_F(Seam, TheUpdateCheckTellsItsResultOnlyThroughTheCallersQuestions) {
    server.Serve("/appver.txt", {200, "2.9.9"});
    EXPECT_EQ(UpdateCheck(net(), user).Run(), UpdateCheck::Outcome::NoUpdate);
    const std::wstring none = L"Zur Zeit ist kein Update verfügbar.";
    EXPECT_EQ(user.calls, (std::vector<std::wstring>{kWaitText, L"wait ends", L"say LiveUpdate: " + none, L"tell: " + none}));

    // A newer version not signed: saved, the start asked with a warning and "Nein" as default.
    std::string program = "MZ" + std::string(5000, 'p');
    server.Serve("/appver.txt", {200, "2.11"});
    server.Serve("/download.php", {200, program, "application/octet-stream"});
    user.calls.clear();
    user.saveAs = folder.Path() + L"Update.exe";
    user.answers = {false};
    EXPECT_EQ(UpdateCheck(net(), user).Run(), UpdateCheck::Outcome::NotStarted);
    ASSERT_EQ(user.calls.size(), 7u);
    EXPECT_TRUE(StartsWith(user.calls[2], L"say LiveUpdate: Die Version 2.11 des Programms wurde gefunden"));
    EXPECT_EQ(user.calls[3], L"save: TorvaneUpdate_2.11.exe");
    EXPECT_EQ(user.calls[4], L"wait: Das Update wird geladen...");
    EXPECT_TRUE(StartsWith(user.calls[6], L"ask warning no-default: Die Version 2.11 wurde gespeichert:\r\n" + user.saveAs))
        << ToUtf8(user.calls[6]);
    EXPECT_TRUE(started.empty());
    user.answers = {true};
    EXPECT_EQ(UpdateCheck(net(), user).Run(), UpdateCheck::Outcome::Started);
    EXPECT_EQ(started, std::vector<std::wstring>{user.saveAs});
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(Seam, RetriesFollowTheCallersAnswerAndTheBugReportWaitsForItsConfirmation) {
    int port;
    {
        TestHttpServer gone;
        port = gone.Port();
    }
    ClassHandler().KeyFunc().SaveSetting(L"Optionen", L"Server", L"http://127.0.0.1:" + std::to_wstring(port));
    user.answers = {true, false};  // one retry, then no more
    EXPECT_EQ(UpdateCheck(net(), user).Run(), UpdateCheck::Outcome::NoConnection);
    size_t asked = 0, waited = 0;
    for (const std::wstring& c : user.calls) {
        asked += StartsWith(c, L"ask warning: Es konnte keine Internetverbindung hergestellt werden.");
        waited += c == kWaitText;
    }
    EXPECT_EQ(asked, 2u);
    EXPECT_EQ(waited, 2u);

    // Not confirmed: nothing is sent.
    ClassHandler().KeyFunc().SaveSetting(L"Optionen", L"Server", server.Base());
    server.Serve("/bug_report.php", {200, "OK"});
    BugReportData r;
    r.mail_sender = L"anna.muster@example.org";
    user.calls.clear();
    user.answers = {false};
    EXPECT_EQ(BugReportSender(net(), user).Send(r), BugReportSender::Outcome::NotConfirmed);
    ASSERT_EQ(user.calls.size(), 1u);
    EXPECT_TRUE(StartsWith(user.calls[0], L"ask: Folgende Angaben werden an 127.0.0.1")) << ToUtf8(user.calls[0]);
    EXPECT_TRUE(server.Requests().empty());
    user.answers = {true};
    EXPECT_EQ(BugReportSender(net(), user).Send(r), BugReportSender::Outcome::Sent);
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_TRUE(boxes.Texts().empty());
}
