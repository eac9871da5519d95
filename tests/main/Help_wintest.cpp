// tests/main/Help_wintest.cpp: the help where the help viewer cannot show pages (the test prefix runs
// without Wine's HTML engine): the "?" menu, the options' "&Hilfe" and F1 in every window ask the
// browser for that window's page of the installed help.
#include "core/AppEnvironment.h"
#include "core/HtmlHelp.h"
#include "main/WindowHandler.h"
#include "backup/frmBackup.h"
#include "backup/frmRestorePreview.rh"
#include "core/win/MdiChild.h"
#include "extras/frmExtraScan.h"
#include "support/Browser.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include "errors/frmError.rh"
#include <gtest/gtest.h>
#include <thread>

namespace {
// F1 as the keyboard sends it, to the window with the focus.
void PressF1() {
    INPUT keys[2]{};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_F1;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

class Help : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        InstallHelp(folder.Path());
    }
    void TearDown() override { WindowHandler().CloseWindow(WindowNo::All); }

    frmMDI& Open() {
        frmMDI& f = WindowHandler().Get<frmMDI>();
        f.Show();
        EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == f.hwnd(); }));
        return f;
    }
    // The address the browser must be given for a page of the installed help.
    std::string Address(const wchar_t* page) const {
        return "file://" + UnixPath(folder.Path() + L"html\\" + page);
    }
    // The next address the browser was given ("" when none came).
    std::string NextPage() { return browser.WaitForPage(asked++); }
    // F1 with the focus on `control`: the browser shows the page of the window that holds it.
    std::string F1On(HWND control) {
        SetFocus(control);
        EXPECT_EQ(GetFocus(), control);
        PressF1();
        return NextPage();
    }

    TempFolder folder;
    FakeBrowser browser{folder.Path()};  // before the sandbox: it writes the prefix's own setting
    RegistrySandbox sandbox;
    KeepProcessOnFrameExit frameExit;
    size_t asked = 0;
};
}  // namespace

TEST_F(Help, F1InEveryWindowAndExtrasPageOpensItsPageInTheBrowser) {
    ASSERT_FALSE(HelpViewerCanRender()) << "the test prefix runs without Wine's HTML engine";
    frmMDI& main = Open();
    for (const WindowRow& row : clsWindowHandler::Rows()) {
        if (!row.child) continue;
        MdiChildForm* child = WindowHandler().Child(row.number);
        ASSERT_NE(child, nullptr);
        child->ShowChild();
        SetForegroundWindow(main.hwnd());
        if (auto* extras = dynamic_cast<frmExtraScan*>(child)) {
            ASSERT_GT(extras->PageCount(), 0);
            for (int i = 0; i < extras->PageCount(); ++i) {
                extras->SelectPage(i);
                ExtrasPage& page = extras->Page(i);
                EXPECT_EQ(F1On(GetNextDlgTabItem(page.hwnd(), nullptr, FALSE)), Address(page.HelpPage()))
                    << "extras page " << i;
            }
            // On the tabs themselves: the page shown.
            EXPECT_EQ(F1On(extras->Tab()), Address(extras->Page(extras->PageCount() - 1).HelpPage()));
            continue;
        }
        ASSERT_NE(child->HelpPage(), nullptr) << child->Name();
        EXPECT_EQ(F1On(GetNextDlgTabItem(child->hwnd(), nullptr, FALSE)), Address(child->HelpPage())) << child->Name();
    }
    // Where no window with a page of its own has the focus: the main window's page.
    EXPECT_EQ(F1On(main.Toolbar()), Address(main.HelpPage()));

    // A modeless dialog, and its button "&Hilfe".
    Form& options = WindowHandler().Window(WindowNo::Optionen);
    options.ShowForm();
    EXPECT_EQ(F1On(GetNextDlgTabItem(options.FormWindow(), nullptr, FALSE)), Address(L"optionen.html"));
    HWND button = FindWindowExW(options.FormWindow(), nullptr, L"Button", L"&Hilfe");
    ASSERT_NE(button, nullptr);
    SendMessageW(button, BM_CLICK, 0, 0);
    EXPECT_EQ(NextPage(), Address(L"optionen.html"));
    WindowHandler().CloseWindow(WindowNo::Optionen);

    // A modal dialog runs its own message loop: F1 comes from another thread while it shows.
    std::string exclusions;
    std::thread user([&] {
        HWND dialog = nullptr;
        WaitFor([&] { return (dialog = FindWindowW(L"#32770", L"Ausnahmen")) && GetForegroundWindow() == dialog; });
        PressF1();
        exclusions = NextPage();
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    WindowHandler().Window(WindowNo::Ausnahmen).ShowForm();
    user.join();
    EXPECT_EQ(exclusions, Address(L"ausnahmen.html"));
}

TEST_F(Help, HelpMenuOpensTheStartPageAndWithoutTheHelpTheUserIsTold) {
    frmMDI& main = Open();
    main.Command(IDM_mnuHelp);
    EXPECT_EQ(NextPage(), Address(L"start.html"));

    // Neither the help file nor its pages: error 10002, and the browser is not asked.
    DeleteFileW((folder.Path() + L"Torvane.chm").c_str());
    DeleteFileW((folder.Path() + L"html\\start.html").c_str());
    AutoAnswer told(L"Fehlerbericht", IDC_cmdSchliessen);
    main.Command(IDM_mnuHelp);
    ASSERT_TRUE(told.Wait());
    EXPECT_NE(ReadBytes(folder.Path() + L"torvane.log")
                  .find("; frmMDI; mnuHelp_Click; ; 10002; Die Hilfedatei zum Programm wurde nicht gefunden."),
              std::string::npos);
    EXPECT_EQ(browser.Pages().size(), asked);
}

TEST_F(Help, F1InTheWriteBackPreviewOpensTheBackupPage) {
    folder.Write(L"Backup\\vorschau.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\TorvaneTest\\Hilfe]\r\n\"v\"=\"1\"\r\n\r\n");
    frmMDI& main = Open();
    main.Command(IDM_mnuBackupShow);
    frmBackup& backup = WindowHandler().Get<frmBackup>();
    ASSERT_EQ(backup.List().Count(), 1);
    backup.List().Select(0);
    std::string page;
    std::thread user([&] {
        HWND preview = nullptr;
        WaitFor([&] {
            preview = VisibleWindowOf(GetCurrentProcessId(), L"#32770");
            return preview && GetDlgItem(preview, IDC_lvwRestore) && GetForegroundWindow() == preview;
        });
        PressF1();
        page = NextPage();
        PostMessageW(preview, WM_COMMAND, IDCANCEL, 0);
    });
    main.Command(IDM_mnuBackupEinfuegen);
    user.join();
    EXPECT_EQ(page, Address(L"backup.html"));
}
