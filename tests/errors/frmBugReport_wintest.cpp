// tests/errors/frmBugReport_wintest.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/DoEvents.h"
#include "main/WindowHandler.h"
#include "errors/TestHttpServer.h"
#include "errors/clsError.h"
#include "internet/clsInternet.h"
#include "errors/frmBugReport.h"
#include "errors/frmBugReport.rh"
#include "errors/frmError.h"
#include "errors/frmError.rh"
#include "registry/clsKeyFunc.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include <gtest/gtest.h>
#include <thread>

namespace {
class BugReportWindow : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppSwitches.Protokoll = 1;
        AppSwitches.EMail = L"geladen@example.org";
        AppEnvironment.OSName = L"Windows 10";
        AppEnvironment.OSBuild = L"19045";
        ClassHandler().KeyFunc().SaveSetting(L"Optionen", L"Server", server.Base());
        clsInternet::TimeoutMs() = 3000;
    }
    void TearDown() override { WindowHandler().CloseWindow(WindowNo::All); }
    frmBugReport& Open() {
        frmMDI& f = WindowHandler().Get<frmMDI>();
        f.Show();
        f.Command(IDM_mnuBugReportShow);
        DoEvents();
        return WindowHandler().Get<frmBugReport>();
    }
    static Wnd Field(frmBugReport& b, int id) { return b.Item(id); }
    static void Type(frmBugReport& b, int id, const std::wstring& text) { b.Item(id).SetText(text); }
    static int Count(frmBugReport& b, int id) { return static_cast<int>(SendMessageW(b.Item(id), CB_GETCOUNT, 0, 0)); }
    static void ModuleTyped(frmBugReport& b, const std::wstring& text) {
        b.Item(IDC_BR_cboErrMod).SetText(text);
        SendMessageW(b.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_BR_cboErrMod, CBN_EDITCHANGE),
                     reinterpret_cast<LPARAM>(b.Item(IDC_BR_cboErrMod).hwnd()));
    }
    // Presses "Bericht senden" and returns the message box texts it showed.
    static std::vector<std::wstring> Send(frmBugReport& b, std::vector<int> answers = {IDOK}) {
        MessageBoxes boxes(L"Torvane", std::move(answers));
        b.cmdBugReportSenden_Click();
        return boxes.Texts();
    }
    void FillValid(frmBugReport& b) {
        Type(b, IDC_BR_txtErrNr, L"53");
        Type(b, IDC_BR_txtErrDesc, L"Datei nicht gefunden");
        ModuleTyped(b, L"clsFiles");
        Type(b, IDC_BR_cboErrProc, L"FileDel");
        Type(b, IDC_BR_txtUsrDesc, L"Beim Löschen & Leeren");
        Type(b, IDC_BR_txtEMail, L"neu.adresse@example.org");
    }
    KeepProcessOnFrameExit frameExit;
    RegistrySandbox sandbox;
    TempFolder folder;
    TestHttpServer server;
};

const std::wstring kHint = L"\r\nInfos dazu finden Sie durch Klick auf 'Details' im Fehlerdialog.";
}  // namespace

TEST(BugReportText, EMailAndErrorNumberChecks) {
    for (const wchar_t* good : {L"abc@def.gh", L"a.b@cd.e", L"max.muster@beispiel.de"})
        EXPECT_TRUE(frmBugReport::EMailPlausible(good)) << good;
    // no "@", "@" first, too little between "@" and the last ".", a one-letter ending without another "."
    for (const wchar_t* bad : {L"abcdef.gh", L"@abc.de", L"ab@c.de", L"abc@de.f", L"", L"abc@"})
        EXPECT_FALSE(frmBugReport::EMailPlausible(bad)) << bad;

    long long n = 0;
    EXPECT_TRUE(frmBugReport::ParseErrorNumber(L" 99999 ", n));
    EXPECT_EQ(n, 99999);
    EXPECT_TRUE(frmBugReport::ParseErrorNumber(L"-5", n));
    EXPECT_EQ(n, -5);
    wchar_t sep[8] = L".";
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8);
    EXPECT_TRUE(frmBugReport::ParseErrorNumber(std::wstring(L"2") + sep + L"5", n));
    EXPECT_EQ(n, 2);  // halves to the even neighbour
    EXPECT_TRUE(frmBugReport::ParseErrorNumber(std::wstring(L"3") + sep + L"5", n));
    EXPECT_EQ(n, 4);
    for (const wchar_t* bad : {L"1a3", L"", L"-", L"1 2", L"0x10", L"--1"})
        EXPECT_FALSE(frmBugReport::ParseErrorNumber(bad, n)) << bad;
}

TEST_F(BugReportWindow, LoadsFieldsAndChecksEntriesInOrder) {
    frmBugReport& b = Open();
    ASSERT_TRUE(IsWindowVisible(b.Frame()));
    EXPECT_EQ(Field(b, IDC_BR_txtAppVer).Text(), AppEnvironment.AppVersion);
    EXPECT_FALSE(Field(b, IDC_BR_txtAppVer).Enabled());
    EXPECT_EQ(Field(b, IDC_BR_txtAppBuild).Text(), std::to_wstring(AppEnvironment.Revision));
    EXPECT_EQ(Field(b, IDC_BR_txtEMail).Text(), L"geladen@example.org");
    EXPECT_EQ(Count(b, IDC_BR_cboErrMod), 19);
    EXPECT_EQ(Field(b, IDC_BR_cboOS).Text(), L"Windows 10");
    EXPECT_FALSE(Field(b, IDC_BR_cboOS).Enabled());
    EXPECT_EQ(Field(b, IDC_BR_cboServicePack).Text(), L"Build 19045");
    EXPECT_TRUE(Field(b, IDC_BR_cboServicePack).Enabled());

    // The module decides the procedure list, exactly by its name.
    ModuleTyped(b, L"frmHDD");
    EXPECT_EQ(Count(b, IDC_BR_cboErrProc), 6);
    ModuleTyped(b, L"FRMHDD");
    EXPECT_EQ(Count(b, IDC_BR_cboErrProc), 0);
    ModuleTyped(b, L"clsSort");
    EXPECT_EQ(Count(b, IDC_BR_cboErrProc), 0);
    ModuleTyped(b, L"");
    Type(b, IDC_BR_txtEMail, L"");

    struct Step {
        int field;
        std::wstring value;
        std::wstring message;
        int focus;
    };
    const Step steps[] = {
        {0, L"", L"Sie haben noch keine Fehlernummer angegeben.", IDC_BR_txtErrNr},
        {IDC_BR_txtErrNr, L"123456", L"Die Fehlernummer hat nie mehr als 5 Zeichen.", IDC_BR_txtErrNr},
        {IDC_BR_txtErrNr, L"1a3", L"Die Fehlernummer muss eine Zahl sein mit max. 5 Zeichen sein.", IDC_BR_txtErrNr},
        {IDC_BR_txtErrNr, L"99999", L"Sie haben den Fehlertext nicht angegeben.", IDC_BR_txtErrDesc},
        {IDC_BR_txtErrDesc, L"Text", L"Geben Sie das Modul an, in dem der Fehler auftritt." + kHint, IDC_BR_cboErrMod},
        {IDC_BR_cboErrMod, L"frei", L"Geben Sie die Prozedur an, in der der Fehler auftritt." + kHint, IDC_BR_cboErrProc},
        {IDC_BR_cboErrProc, L"x", L"Bitte geben Sie noch eine kurze Beschreibung an, wie es zu dem Fehler kam.",
         IDC_BR_txtUsrDesc},
        {IDC_BR_txtUsrDesc, L" ", L"Die E-Mail Adresse wird benötigt, um Ihnen eine Lösung anzubieten.", IDC_BR_txtEMail},
        {IDC_BR_txtEMail, L"ab@c.de",
         L"Um Ihnen eine Lösung anbieten zu können, \r\nbenötigen wir eine korrekt E-Mail-Adresse.", 0},
    };
    for (const Step& s : steps) {
        if (s.field) Type(b, s.field, s.value);
        const auto texts = Send(b);
        ASSERT_EQ(texts.size(), 1u) << s.focus;
        EXPECT_EQ(texts[0], s.message);
        if (s.focus) {
            HWND focus = GetFocus();
            EXPECT_TRUE(focus == b.Item(s.focus).hwnd() || GetParent(focus) == b.Item(s.focus).hwnd()) << s.focus;
        }
    }
    // Nothing went out and the address was not saved.
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(ClassHandler().KeyFunc().GetSetting(L"Optionen", L"EMail", L"-"), L"-");
}

TEST_F(BugReportWindow, SendSavesTheAddressAndDeleteRestoresTheLoadedOne) {
    server.Serve("/bug_report.php", {200, "OK"});
    frmBugReport& b = Open();
    FillValid(b);
    Type(b, IDC_BR_txtErrNr, L"99999");  // more than 16 bits: sent whole
    const auto texts = Send(b, {IDYES, IDOK});
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find(L"Fehlernummer: 99999"), std::wstring::npos);
    EXPECT_NE(texts[1].find(L"erfolgreich versendet"), std::wstring::npos);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].find("&errnr=99999&errdesc=Datei%20nicht%20gefunden&modul=clsFiles&procedur=FileDel&os="
                               "Windows%2010&sp=Build%2019045&usrdesc=Beim%20L%C3%B6schen%20%26%20Leeren&from=Programm"
                               "&mail_sender=neu.adresse%40example.org "),
              std::string::npos)
        << requests[0];
    EXPECT_EQ(ClassHandler().KeyFunc().GetSetting(L"Optionen", L"EMail", L""), L"neu.adresse@example.org");
    // The fields keep their contents; "Bericht löschen" takes the address held since the start.
    EXPECT_EQ(Field(b, IDC_BR_txtErrNr).Text(), L"99999");
    b.cmdBugReportLoeschen_Click();
    EXPECT_EQ(Field(b, IDC_BR_txtEMail).Text(), L"geladen@example.org");
    EXPECT_EQ(Field(b, IDC_BR_txtErrNr).Text(), L"");
    EXPECT_EQ(Field(b, IDC_BR_cboErrMod).Text(), L"");
    EXPECT_EQ(Field(b, IDC_BR_cboServicePack).Text(), L"Build 19045");
}

TEST_F(BugReportWindow, UnreachableProxyIsAskedAboutAndNothingIsSent) {
    server.Serve("/bug_report.php", {200, "OK"});
    int port;
    {
        TestHttpServer gone;
        port = gone.Port();
    }
    AppSwitches.Proxy = 1;
    AppSwitches.ProxyAdresse = L"127.0.0.1";
    AppSwitches.ProxyPort = port;
    frmBugReport& b = Open();
    FillValid(b);
    auto texts = Send(b, {IDYES, IDNO});
    ASSERT_EQ(texts.size(), 2u);
    for (const auto& t : texts) {
        EXPECT_NE(t.find(L"Es konnte keine Internetverbindung hergestellt werden.\r\nZum Proxyserver"), std::wstring::npos);
        EXPECT_NE(t.find(L"Soll ein Verbindungaufbau erneut suchen?"), std::wstring::npos);
    }
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_NE(ReadBytes(folder.Path() + L"torvane.log").find("; frmBugReport; cmdBugReportSenden; wiederholt; "),
              std::string::npos);

    // An address that is none: the settings are named wrong, nothing is asked again.
    AppSwitches.ProxyAdresse = L"0.0.0.0";
    texts = Send(b);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind(L"Die Einstellung Ihrer Internetverbindung ist nicht korrekt.\r\n", 0), 0u);
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(BugReportWindow, UpdateCommandChecksWithoutShowingTheWindow) {
    AppEnvironment.AppVersion = L"2.0";
    AppEnvironment.Revision = 7;
    server.Serve("/appver.txt", {200, "2.0.7"});
    frmMDI& f = WindowHandler().Get<frmMDI>();
    f.Show();
    MessageBoxes boxes(L"Torvane", {IDOK});
    f.Command(IDM_mnuLiveUpdate);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{L"Zur Zeit ist kein Update verfügbar."});
    ASSERT_TRUE(WindowHandler().IsLoaded(WindowNo::BugReport));
    EXPECT_FALSE(IsWindowVisible(WindowHandler().Get<frmBugReport>().Frame()));
    // Shown by its own command afterwards, it is there.
    f.Command(IDM_mnuBugReportShow);
    EXPECT_TRUE(IsWindowVisible(WindowHandler().Get<frmBugReport>().Frame()));
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"GET /appver.txt HTTP/1.1"});
}

TEST_F(BugReportWindow, ErrorDialogSendsItsErrorAsAReport) {
    server.Serve("/bug_report.php", {200, "OK"});
    AppSwitches.EMail = L"fehler.melder@example.org";
    // Press "&Report senden", then, once the report is through and its boxes are gone, "&Schließen".
    std::thread user([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 1500 && !dialog; ++i, Sleep(20)) {
            HWND w = FindWindowW(L"#32770", L"Fehlerbericht");
            if (w && IsWindowVisible(w)) dialog = w;
        }
        if (!dialog) return;
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_cmdReportSenden, BN_CLICKED), 0);
        for (int i = 0; i < 1500 && server.Requests().empty(); ++i) Sleep(20);
        for (int i = 0; i < 1500 && FindWindowW(L"#32770", L"Torvane"); ++i) Sleep(20);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_cmdSchliessen, BN_CLICKED), 0);
    });
    MessageBoxes boxes(L"Torvane", {IDYES, IDOK});
    HandleError(L"clsFiles", L"FileDel", L"", 75, L"Pfad/Datei-Zugriffsfehler", Style::Warning, true);
    user.join();
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].find("&errnr=75&errdesc=Pfad%2FDatei-Zugriffsfehler&modul=clsFiles&procedur=FileDel&"),
              std::string::npos)
        << requests[0];
    EXPECT_NE(requests[0].find("&usrdesc=&from=Programm&mail_sender=fehler.melder%40example.org "), std::string::npos);
    EXPECT_EQ(boxes.Texts().size(), 2u);
}
