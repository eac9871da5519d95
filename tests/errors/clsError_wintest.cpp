// tests/errors/clsError_wintest.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/Trap.h"
#include "main/WindowHandler.h"
#include "errors/clsError.h"
#include "errors/frmError.h"
#include "errors/frmError.rh"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <gtest/gtest.h>

namespace {
// A style the handler does not know: neither logged nor shown.
constexpr Style kOtherStyle = static_cast<Style>(17);

class ErrorHandler : public ::testing::Test {
protected:
    void SetUp() override { PrepareEnvironment(folder.Path()); }
    std::string Log() { return ReadBytes(folder.Path() + L"torvane.log"); }
    clsError& e() { return ClassHandler().Error(); }
    RegistrySandbox sandbox;
    TempFolder folder;
};
}  // namespace

TEST_F(ErrorHandler, WhatIsWrittenDependsOnStyleAndLogging) {
    AppSwitches.Protokoll = 0;
    HandleError(L"modX", L"ProcW", L"warn", 53, L"Datei nicht gefunden", Style::Warning, false);
    HandleError(L"modX", L"ProcC", L"crit", 5, L"", Style::Critical, false);
    HandleError(L"modX", L"ProcI", L"info", 0, L"", Style::Information, false);
    HandleError(L"modX", L"ProcQ", L"question", 0, L"", Style::Question, false);
    HandleError(L"modX", L"ProcO", L"other", 0, L"", kOtherStyle, false);
    std::string log = Log();
    EXPECT_NE(log.find("; modX; ProcW; warn; 53; Datei nicht gefunden\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("; modX; ProcC; crit; 5; \r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("ProcI"), std::string::npos);
    EXPECT_EQ(log.find("ProcQ"), std::string::npos);
    EXPECT_EQ(log.find("ProcO"), std::string::npos);

    AppSwitches.Protokoll = 1;
    HandleError(L"modX", L"ProcI", L"a; b", 0, L"", Style::Information, false);
    Trace(L"modX", L"ProcT", L"trace");
    HandleError(L"modX", L"ProcO", L"other", 0, L"", kOtherStyle, false);
    log = Log();
    // Nothing is escaped: a "; " in the message gives more fields.
    EXPECT_NE(log.find("; modX; ProcI; a; b; 0; \r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("; modX; ProcT; trace; 0; \r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("ProcO"), std::string::npos);
}

TEST_F(ErrorHandler, StartLineAndUnwritableLog) {
    e().WriteStartEntry();
    std::string log = Log();
    // date, blank, time, then the fixed fields
    ASSERT_GT(log.size(), 20u);
    EXPECT_NE(log.find(" "), std::string::npos);
    EXPECT_NE(log.find("; started; Torvane; 2.0; Build "), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");

    // A log that cannot be written loses the line, nothing else.
    HANDLE lock = CreateFileW((folder.Path() + L"torvane.log").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    HandleError(L"modX", L"Locked", L"", 70, L"", Style::Warning, false);
    CloseHandle(lock);
    EXPECT_EQ(Log().find("Locked"), std::string::npos);
    AppEnvironment.InstallDir = folder.Path() + L"no\\such\\folder\\";
    HandleError(L"modX", L"Missing", L"", 76, L"", Style::Warning, false);
    EXPECT_FALSE(FileExists(AppEnvironment.InstallDir + L"torvane.log"));

    // Non-ANSI text goes to the ANSI log without breaking the line.
    AppEnvironment.InstallDir = folder.Path();
    HandleError(L"modX", L"Ключ", L"ü", 0, L"", Style::Warning, false);
    EXPECT_NE(Log().find("; modX; ????; \xFC; 0; \r\n"), std::string::npos);
}

TEST_F(ErrorHandler, TrapResumesAndReportsTheCatalogueError) {
    int after = 0;
    bool ok = Trap(L"modX", L"Step", [] { Raise(53); });
    after = 1;
    EXPECT_FALSE(ok);
    EXPECT_EQ(after, 1);
    EXPECT_NE(Log().find("; modX; Step; ; 53; Datei nicht gefunden\r\n"), std::string::npos) << Log();
    EXPECT_TRUE(Trap(L"modX", L"Fine", [] {}));
}

TEST_F(ErrorHandler, EMailCheck) {
    EXPECT_TRUE(clsError::EMailLooksValid(L"abc@def.de"));
    EXPECT_FALSE(clsError::EMailLooksValid(L"a.c@def.de"));   // first dot at 2, before the at sign
    EXPECT_FALSE(clsError::EMailLooksValid(L"abc.@de"));      // first dot at 4
    EXPECT_FALSE(clsError::EMailLooksValid(L"abcd@ef.g"));    // one character after the dot
    EXPECT_FALSE(clsError::EMailLooksValid(L"@bcdef.de"));    // at sign at 1
    EXPECT_FALSE(clsError::EMailLooksValid(L"abcdef.de"));    // no at sign
    EXPECT_FALSE(clsError::EMailLooksValid(L""));
}

TEST_F(ErrorHandler, DialogShowsTheErrorAndTogglesDetails) {
    AppSwitches.EMail = L"me@example.de";
    // Answered from another thread while the dialog runs modally.
    struct Probe {
        static DWORD WINAPI Run(void* p) {
            auto* self = static_cast<Probe*>(p);
            // Shown only once its load has filled and sized it.
            HWND d = nullptr;
            if (!WaitFor([&] { return (d = VisibleWindowOf(GetCurrentProcessId(), L"#32770")) != nullptr; }, 60000))
                return 0;
            auto text = [&](int id) {
                wchar_t b[512] = L"";
                GetDlgItemTextW(d, id, b, 512);
                return std::wstring(b);
            };
            wchar_t caption[64] = L"";
            GetWindowTextW(d, caption, 64);
            self->caption = caption;
            RECT r{};
            GetWindowRect(d, &r);
            self->collapsed = r.bottom - r.top;
            self->desc = text(IDC_lblErrDesc);
            self->nr = text(IDC_lblErrNr);
            self->mod = text(IDC_lblErrMod);
            self->mail = text(IDC_txtEMail);
            self->close = text(IDC_cmdSchliessen);
            self->details = text(IDC_txtDetails);
            self->reportVisible = IsWindowVisible(GetDlgItem(d, IDC_cmdReportSenden));
            SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_cmdDetails, BN_CLICKED), 0);
            GetWindowRect(d, &r);
            self->expanded = r.bottom - r.top;
            self->detailsShown = IsWindowVisible(GetDlgItem(d, IDC_txtDetails));
            self->button = text(IDC_cmdDetails);
            // For a look at the expanded dialog: TORVANE_SHOW_SECONDS keeps it that long.
            wchar_t seconds[8] = L"";
            if (GetEnvironmentVariableW(L"TORVANE_SHOW_SECONDS", seconds, 8)) Sleep(_wtoi(seconds) * 1000);
            SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_cmdDetails, BN_CLICKED), 0);
            GetWindowRect(d, &r);
            self->collapsedAgain = r.bottom - r.top;
            self->detailsHiddenAgain = !IsWindowVisible(GetDlgItem(d, IDC_txtDetails));
            PostMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_cmdSchliessen, BN_CLICKED), 0);
            return 0;
        }
        int collapsed = 0, expanded = 0, collapsedAgain = 0;
        bool detailsShown = false, detailsHiddenAgain = false, reportVisible = true;
        std::wstring caption, desc, nr, mod, mail, close, details, button;
    } probe;
    HANDLE t = CreateThread(nullptr, 0, Probe::Run, &probe, 0, nullptr);
    HandleError(L"frmTest", L"cmdStart_Click", L"", 76, L"Pfad nicht gefunden", Style::Warning, true);
    // The dialog has returned: the probe is done with it or never found it.
    ASSERT_EQ(WaitForSingleObject(t, 60000), WAIT_OBJECT_0);
    CloseHandle(t);
    EXPECT_EQ(probe.caption, L"Fehlerbericht");
    EXPECT_EQ(probe.desc, L"Pfad nicht gefunden");
    EXPECT_EQ(probe.nr, L"76");
    EXPECT_EQ(probe.mod, L"frmTest");
    EXPECT_EQ(probe.mail, L"me@example.de");
    EXPECT_EQ(probe.close, L"&Schließen");
    // The internet library is there: reports can be sent.
    EXPECT_TRUE(probe.reportVisible);
    EXPECT_EQ(probe.details, L"Laufzeitfehler: 76\r\n\r\nFehlerbeschreibung:\r\nPfad nicht gefunden\r\n\r\nModul: frmTest\r\n"
                             L"Prozedur: cmdStart_Click");
    EXPECT_GT(probe.expanded, probe.collapsed);
    EXPECT_TRUE(probe.detailsShown);
    EXPECT_EQ(probe.button, L"<< Details");
    EXPECT_EQ(probe.collapsedAgain, probe.collapsed);
    EXPECT_TRUE(probe.detailsHiddenAgain);
    EXPECT_NE(Log().find("; frmTest; cmdStart_Click; ; 76; Pfad nicht gefunden"), std::string::npos);
}
