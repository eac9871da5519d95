// tests/internet/clsInternet_wintest.cpp: WinINet against a server of our own on 127.0.0.1
#include "core/AppEnvironment.h"
#include "internet/InternetFixture.h"
#include "main/ClassHandler.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "support/TestHttpServer.h"
#include "internet/BugReportSender.h"
#include "internet/UpdateCheck.h"
#include "internet/clsInternet.h"
#include "ui/InternetDialogs.h"
#include "ui/InternetDialogs.rh"
#include "registry/clsKeyFunc.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <gtest/gtest.h>

namespace {
using V = std::vector<unsigned long>;

V Parse(const std::string& s) {
    V v;
    EXPECT_TRUE(UpdateCheck::ParseVersion(s, v)) << s;
    return v;
}

// The windows' answers, but the save dialog replaced by the test's choice.
class TestDialogs : public InternetDialogs {
public:
    TestDialogs(std::vector<std::wstring>& suggestions, const std::wstring& saveAs)
        : suggestions_(suggestions), saveAs_(saveAs) {}
    std::wstring ChooseSavePath(const std::wstring& suggested) override {
        suggestions_.push_back(suggested);
        return saveAs_;
    }

private:
    std::vector<std::wstring>& suggestions_;
    const std::wstring& saveAs_;
};

class Internet : public InternetFixture {
protected:
    void SetUp() override {
        InternetFixture::SetUp();
        AppSwitches.Protokoll = 1;
    }
    std::string Log() { return ReadBytes(folder.Path() + L"torvane.log"); }
    // Runs one update check and returns the texts of the message boxes it showed.
    std::vector<std::wstring> Check(std::vector<int> answers = {IDOK}) {
        MessageBoxes boxes(L"Torvane", std::move(answers));
        UpdateCheck(net(), dialogs).Run();
        return boxes.Texts();
    }
    void SendReport(const BugReportData& r) { BugReportSender(net(), dialogs).Send(r); }
    std::wstring saveAs;
    std::vector<std::wstring> suggestions;
    TestDialogs dialogs{suggestions, saveAs};
};

const std::wstring kNoUpdate = L"Zur Zeit ist kein Update verfügbar.";
const std::wstring kInvalid = L"Der Server hat eine ungültige Antwort gesendet.";

bool Contains(const std::wstring& s, const std::wstring& part) { return s.find(part) != std::wstring::npos; }
}  // namespace

TEST(InternetText, VersionsCompareAsNumbersPartByPart) {
    EXPECT_GT(UpdateCheck::CompareVersions(Parse("2.10"), Parse("2.9")), 0);
    EXPECT_GT(UpdateCheck::CompareVersions(Parse("10.0.0"), Parse("9.9.9")), 0);
    EXPECT_LT(UpdateCheck::CompareVersions(Parse("3.9.0"), Parse("3.10.0")), 0);
    EXPECT_EQ(UpdateCheck::CompareVersions(Parse("2.0"), Parse("2.0.0")), 0);
    // Blanks inside and a line end after the number are not part of it.
    EXPECT_EQ(Parse("3. 2. 146\r\n"), (V{3, 2, 146}));
    V v;
    for (const char* bad : {"", "  \r\n", "<html><body>2.0</body></html>", "1..2", ".1", "2.", "Fehler 500", "2.0a",
                            "99999999999.1", "1.2.3.4.5"})
        EXPECT_FALSE(UpdateCheck::ParseVersion(bad, v)) << bad;
}

TEST(InternetText, EveryQueryFieldIsEncodedAsUtf8) {
    BugReportData r;
    r.tvversion = L"2.0";
    r.tvbuild = L"17";
    r.errnr = 99999;
    r.errdesc = L"a b&c=d?e#f%g";
    r.modul = L"frmHDD";
    r.procedur = L"cmdOrdnerLöschen";
    r.os = L"Windows 10";
    r.sp = L"Build 19045";
    r.usrdesc = L"Zeile 1\r\nZeile 2 +";
    r.mail_sender = L"max@beispiel.de";
    EXPECT_EQ(BugReportSender::Query(r),
              L"tvversion=2.0&tvbuild=17&errnr=99999&errdesc=a%20b%26c%3Dd%3Fe%23f%25g&modul=frmHDD"
              L"&procedur=cmdOrdnerL%C3%B6schen&os=Windows%2010&sp=Build%2019045&usrdesc=Zeile%201%0D%0AZeile%202%20%2B"
              L"&from=Programm&mail_sender=max%40beispiel.de");
    r.errnr = -70000;
    EXPECT_TRUE(Contains(BugReportSender::Query(r), L"&errnr=-70000&"));
}

TEST_F(Internet, UpdateCheckComparesNumbersNotText) {
    // Local version 2.10.5: "2.9.9" is older although it sorts after it as text.
    for (const char* older : {"2.9.9", "2.10.5", "2.10", "1.99.99\r\n"}) {
        server.Serve("/appver.txt", {200, older});
        EXPECT_EQ(Check(), std::vector<std::wstring>{kNoUpdate}) << older;
    }
    EXPECT_TRUE(suggestions.empty());
    EXPECT_NE(Log().find("Zur Zeit gibt es kein Update. "), std::string::npos);

    // Newer: the save dialog is asked; cancelling it ends the check without a download.
    server.Serve("/appver.txt", {200, "2.10.6"});
    EXPECT_TRUE(Check().empty());
    ASSERT_EQ(suggestions.size(), 1u);
    EXPECT_EQ(suggestions[0], L"TorvaneUpdate_2.10.6.exe");
    server.Serve("/appver.txt", {200, "10.0\n"});
    Check();
    ASSERT_EQ(suggestions.size(), 2u);
    EXPECT_EQ(suggestions[1], L"TorvaneUpdate_10.0.exe");
    // Every request came through WinINet to this server, never from a cache.
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 6u);
    for (const std::string& r : requests) EXPECT_EQ(r, "GET /appver.txt HTTP/1.1");
}

TEST_F(Internet, InvalidRepliesAreNeverANewVersion) {
    struct Case {
        TestResponse response;
        std::wstring reason;
    };
    const Case cases[] = {
        {{200, "<!DOCTYPE html><html><body>9.9.9</body></html>", "text/html"}, L"HTML-Seite"},
        {{200, ""}, L"leer"},
        {{200, "Datenbankfehler"}, L"keine Versionsnummer"},
        {{500, "9.9.9"}, L"Status 500"},
        {{404, "9.9.9"}, L"Status 404"},
        // cut off after "9.1": a number, but not the whole reply
        {{200, "9.1.0\r\n", "text/plain", 0, 3}, L"unvollständig"},
    };
    for (const Case& c : cases) {
        server.Serve("/appver.txt", c.response);
        const auto texts = Check();
        ASSERT_EQ(texts.size(), 1u) << ToUtf8(c.reason);
        EXPECT_TRUE(StartsWith(texts[0], kInvalid)) << ToUtf8(texts[0]);
        EXPECT_TRUE(Contains(texts[0], c.reason)) << ToUtf8(texts[0]);
    }
    EXPECT_TRUE(suggestions.empty());
    // Each is an error entry with its reason.
    const std::string log = Log();
    size_t entries = 0;
    for (size_t p = log.find("; 10200; "); p != std::string::npos; p = log.find("; 10200; ", p + 1)) ++entries;
    EXPECT_EQ(entries, std::size(cases));
    EXPECT_NE(log.find(ToAnsi(L"HTML-Seite")), std::string::npos);
}

TEST_F(Internet, SlowServerTimesOutAndRetriesAreBounded) {
    clsInternet::TimeoutMs() = 1500;
    server.Serve("/appver.txt", {200, "9.9.9", "text/plain", 0, std::string::npos, true});
    const ULONGLONG start = GetTickCount64();
    const auto texts = Check({IDYES});
    const ULONGLONG took = GetTickCount64() - start;
    // Two retry questions, answered Yes, then the last attempt only tells.
    ASSERT_EQ(texts.size(), static_cast<size_t>(clsInternet::kMaxAttempts)) << took;
    for (int i = 0; i < clsInternet::kMaxAttempts - 1; ++i)
        EXPECT_TRUE(Contains(texts[i], L"Soll erneut nach einem Update gesucht werden?"));
    EXPECT_EQ(texts.back(), L"Es konnte keine Internetverbindung hergestellt werden.\r\n\r\nStellen Sie sicher, das eine "
                            L"Internetverbindung besteht.");
    EXPECT_EQ(server.Requests().size(), static_cast<size_t>(clsInternet::kMaxAttempts));
    EXPECT_LT(took, 60000u);
    const std::string log = Log();
    EXPECT_NE(log.find("; clsInternet; LiveUpdate; wiederholt; "), std::string::npos);
    EXPECT_NE(log.find("; 10200; Es konnte keine Internetverbindung hergestellt werden."), std::string::npos) << log;
}

TEST_F(Internet, NoServerListeningIsNoConnection) {
    int port;
    {
        TestHttpServer gone;
        port = gone.Port();
    }
    ClassHandler().KeyFunc().SaveSetting(L"Optionen", L"Server", L"http://127.0.0.1:" + std::to_wstring(port));
    const auto texts = Check({IDNO});
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(StartsWith(texts[0], L"Es konnte keine Internetverbindung hergestellt werden."));
    EXPECT_NE(Log().find("; 10200; "), std::string::npos);
}

TEST_F(Internet, CancelEndsTheRequestAndOnlyOneRunsAtATime) {
    // A second request while one runs is refused before anything is sent.
    {
        InternetBusy running;
        ASSERT_TRUE(running.Acquired());
        EXPECT_TRUE(clsInternet::Busy());
        EXPECT_EQ(net().Fetch(server.Base() + L"/appver.txt").result, WebReply::Result::Busy);
    }
    EXPECT_FALSE(clsInternet::Busy());
    EXPECT_TRUE(server.Requests().empty());

    // "Abbrechen" of the wait window ends a request the server never answers.
    clsInternet::TimeoutMs() = 60000;
    server.Serve("/appver.txt", {200, "", "text/plain", 0, std::string::npos, true});
    AutoAnswer cancel(L"Internetverbindung", IDC_cmdInternetCancel);
    const ULONGLONG start = GetTickCount64();
    WebReply reply = net().Fetch(server.Base() + L"/appver.txt", L"", &dialogs);
    EXPECT_TRUE(cancel.Wait());
    EXPECT_EQ(reply.result, WebReply::Result::Cancelled);
    EXPECT_LT(GetTickCount64() - start, 30000u);
    EXPECT_FALSE(clsInternet::Busy());
}

TEST_F(Internet, DownloadIsSavedAndStartedOnlyAfterYes) {
    std::string program = "MZ";
    for (int i = 0; i < 100000; ++i) program += static_cast<char>(i * 7);
    server.Serve("/appver.txt", {200, "2.11.0"});
    server.Serve("/download.php", {200, program, "application/octet-stream"});
    saveAs = folder.Path() + L"Update.exe";

    auto texts = Check({IDNO});
    ASSERT_EQ(texts.size(), 1u);
    // Not signed: the user is told before the question.
    EXPECT_TRUE(Contains(texts[0], L"Die Version 2.11.0 wurde gespeichert")) << ToUtf8(texts[0]);
    EXPECT_TRUE(Contains(texts[0], saveAs));
    EXPECT_TRUE(Contains(texts[0], L"signiert") || Contains(texts[0], L"Signatur")) << ToUtf8(texts[0]);
    EXPECT_TRUE(Contains(texts[0], L"Soll das Update jetzt gestartet werden?"));
    EXPECT_TRUE(started.empty());
    EXPECT_EQ(ReadBytes(saveAs), program);
    EXPECT_FALSE(FileExists(saveAs + L".part"));
    EXPECT_EQ(server.Requests().back(), "GET /download.php?file=update HTTP/1.1");

    texts = Check({IDYES});
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], saveAs);
}

TEST_F(Internet, BrokenDownloadLeavesNoFile) {
    server.Serve("/appver.txt", {200, "3.0"});
    saveAs = folder.Path() + L"Update.exe";
    const std::pair<TestResponse, std::wstring> cases[] = {
        {{200, "MZ" + std::string(50000, 'x'), "application/octet-stream", 0, 20000}, L"unvollständig"},
        {{200, "<html>Nicht gefunden</html>", "text/html"}, L"kein Programm"},
        {{200, ""}, L"leer"},
        {{403, "MZ"}, L"Status 403"},
    };
    for (const auto& [response, reason] : cases) {
        server.Serve("/download.php", response);
        const auto texts = Check();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_TRUE(StartsWith(texts[0], L"Das Update konnte nicht geladen werden.")) << ToUtf8(texts[0]);
        EXPECT_TRUE(Contains(texts[0], reason)) << ToUtf8(texts[0]);
        EXPECT_FALSE(FileExists(saveAs));
        EXPECT_FALSE(FileExists(saveAs + L".part"));
    }
    EXPECT_TRUE(started.empty());
}

TEST_F(Internet, BugReportSendsExactlyWhatThePreviewShows) {
    server.Serve("/bug_report.php", {200, "OK"});
    BugReportData r;
    r.tvversion = L"2.10";
    r.tvbuild = L"5";
    r.errnr = 70000;
    r.errdesc = L"Pfad & Datei = \"C:\\Tür\"";
    r.modul = L"clsFiles";
    r.procedur = L"FileDel";
    r.os = L"Windows 10";
    r.sp = L"Build 19045";
    r.usrdesc = L"Beim Löschen\r\nzweite Zeile";
    r.mail_sender = L"anna.muster@example.org";
    {
        MessageBoxes boxes(L"Torvane", {IDNO});
        SendReport(r);
        ASSERT_EQ(boxes.Texts().size(), 1u);
        EXPECT_TRUE(server.Requests().empty());
    }
    MessageBoxes boxes(L"Torvane", {IDYES, IDOK});
    SendReport(r);
    const auto texts = boxes.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(Contains(texts[0], BugReportSender::Preview(r))) << ToUtf8(texts[0]);
    EXPECT_TRUE(Contains(texts[0], L"Fehlernummer: 70000"));
    EXPECT_EQ(texts[1], L"Vielen Dank für Ihre Unterstützung.\r\n\r\nDer Bug-Report ist erfolgreich versendet worden.");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], "GET /bug_report.php?" + ToUtf8(BugReportSender::Query(r)) + " HTTP/1.1");
    EXPECT_NE(requests[0].find("errdesc=Pfad%20%26%20Datei%20%3D%20%22C%3A%5CT%C3%BCr%22&modul="), std::string::npos);
    EXPECT_NE(Log().find("; clsInternet; BugReport; gesendet; "), std::string::npos);
}

TEST_F(Internet, FailedBugReportIsLoggedWithItsReason) {
    server.Serve("/bug_report.php", {200, "<html><body>Fatal error</body></html>", "text/html"});
    BugReportData r;
    r.mail_sender = L"anna.muster@example.org";
    MessageBoxes boxes(L"Torvane", {IDYES, IDOK});
    SendReport(r);
    const auto texts = boxes.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(StartsWith(texts[1], kInvalid)) << ToUtf8(texts[1]);
    EXPECT_TRUE(Contains(texts[1], L"Der Bug-Report konnte nicht versendet werden."));
    const std::string log = Log();
    EXPECT_NE(log.find(ToAnsi(L"; clsInternet; BugReport; Statt einer Bestätigung kam eine HTML-Seite.; 10201; ")),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("BugReport; gesendet"), std::string::npos);
}

TEST_F(Internet, ProxyOfTheOptionsCarriesTheRequests) {
    TestHttpServer proxy;
    proxy.Serve("/appver.txt", {200, "1.0"});
    AppSwitches.Proxy = 1;
    AppSwitches.ProxyAdresse = L"127.0.0.1";
    AppSwitches.ProxyPort = proxy.Port();
    EXPECT_EQ(Check(), std::vector<std::wstring>{kNoUpdate});
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], "GET " + ToUtf8(server.Base()) + "/appver.txt HTTP/1.1");
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(Internet, ProxyTestReadsTheReplyAndNamesTheFailedStep) {
    TestHttpServer proxy;
    proxy.Serve("/", {200, "Startseite"});
    EXPECT_EQ(TestProxy(L"127.0.0.1", proxy.Port(), L"http://www.torvane.de", L"www.torvane.de", 3000), L"");
    ASSERT_EQ(proxy.Heads().size(), 1u);
    const std::string head = proxy.Heads()[0];
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET http://www.torvane.de/ HTTP/1.0");
    EXPECT_NE(head.find("\r\nHost: www.torvane.de\r\n"), std::string::npos);
    EXPECT_NE(head.find("\r\nProxy-Connection: Keep-Alive\r\n"), std::string::npos);

    // A proxy that never answers, one that is not there, and an address that is no address.
    TestHttpServer mute;
    mute.Serve("/", {200, "", "text/plain", 0, std::string::npos, true});
    EXPECT_EQ(TestProxy(L"127.0.0.1", mute.Port(), L"http://www.torvane.de", L"www.torvane.de", 1500),
              L"Der Proxyserver hat nicht geantwortet.");
    int port;
    {
        TestHttpServer gone;
        port = gone.Port();
    }
    EXPECT_TRUE(Contains(TestProxy(L"127.0.0.1", port, L"http://x", L"x", 3000), L"keine Verbindung"));
    for (auto [host, p] : {std::pair{L"0.0.0.0", 8080}, std::pair{L"", 8080}, std::pair{L"127.0.0.1", 0}}) {
        try {
            TestProxy(host, p, L"http://x", L"x", 1000);
            ADD_FAILURE() << "no error for " << ToUtf8(host) << ":" << p;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number, 10049);
        }
    }
}
