// tests/main/Program_wintest.cpp: torvane.exe started as the user starts it.
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include "support/Browser.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "main/frmMDI.rh"
#include "errors/frmError.rh"
#include <gtest/gtest.h>
#include <windows.h>

namespace {
// The real settings key of the private test prefix (the program runs as its own process).
const wchar_t* kSettings = L"Software\\Torvane";

void SetSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    HKEY h = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kSettings) + L"\\" + section).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &h, nullptr);
    RegSetValueExW(h, key.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * 2));
    RegCloseKey(h);
}
std::wstring GetSetting(const std::wstring& section, const std::wstring& key) {
    wchar_t buf[256] = L"";
    DWORD size = sizeof buf;
    RegGetValueW(HKEY_CURRENT_USER, (std::wstring(kSettings) + L"\\" + section).c_str(), key.c_str(), RRF_RT_REG_SZ,
                 nullptr, buf, &size);
    return buf;
}

// Where the control library is registered in the prefix ("" when it is not).
std::wstring FennickServer() {
    wchar_t buf[MAX_PATH] = L"";
    DWORD size = sizeof buf;
    RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{8B918202-6B89-4703-9851-8921CE2F7787}\\InprocServer32", nullptr,
                 RRF_RT_REG_SZ, nullptr, buf, &size);
    return buf;
}
void Regsvr32(const std::wstring& args) {
    std::wstring cmd = L"regsvr32.exe /s " + args;
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    WaitForSingleObject(pi.hProcess, 120000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        fennickBefore = FennickServer();
        RegDeleteTreeW(HKEY_CURRENT_USER, kSettings);
        SetSetting(L"Optionen", L"InstallDir", folder.Path().substr(0, folder.Path().size() - 1));  // no backslash
        SetSetting(L"Optionen", L"1stRun", L"0");
        // Installed as the installer lays it out: the control library beside the log.
        CopyFileW((BinFolder() + L"fennick.ocx").c_str(), (folder.Path() + L"fennick.ocx").c_str(), FALSE);
    }
    void TearDown() override {
        for (HANDLE p : started) {
            if (WaitForSingleObject(p, 0) == WAIT_TIMEOUT) {
                TerminateProcess(p, 99);
                WaitForSingleObject(p, 60000);
            }
            CloseHandle(p);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kSettings);
        RegDeleteKeyW(HKEY_CURRENT_USER, kSettings);
        // The program's component check registers the library from our folder, which goes after
        // the test: leave the registration as it was, or later tests find a server that is gone.
        if (FennickServer() != fennickBefore) {
            Regsvr32(L"/u \"" + folder.Path() + L"fennick.ocx\"");
            if (!fennickBefore.empty() && FileExists(fennickBefore)) Regsvr32(L"\"" + fennickBefore + L"\"");
        }
    }
    HANDLE Start(const std::wstring& args = L"") {
        const std::wstring exe = BinFolder() + L"torvane.exe";
        std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
        STARTUPINFOW si{sizeof si};
        PROCESS_INFORMATION pi{};
        EXPECT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        CloseHandle(pi.hThread);
        started.push_back(pi.hProcess);
        return pi.hProcess;
    }
    // The main window of that process, once it shows. Not by its title: that names the active
    // child as soon as the maximised scan window opens.
    static HWND WaitForFrame(HANDLE process, DWORD ms = 60000) {
        HWND frame = nullptr;
        const DWORD id = GetProcessId(process);
        WaitFor([&] {
            frame = VisibleWindowOf(id, L"TorvaneMDIFrame");
            return frame != nullptr || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        }, ms);
        return frame;
    }
    static DWORD ExitCodeAfter(HANDLE p, DWORD ms) {
        if (WaitForSingleObject(p, ms) != WAIT_OBJECT_0) return 0xDEAD;
        DWORD code = 0;
        GetExitCodeProcess(p, &code);
        return code;
    }
    static int Count(const std::string& text, const std::string& what) {
        int n = 0;
        for (size_t p = 0; (p = text.find(what, p)) != std::string::npos; p += what.size()) ++n;
        return n;
    }
    TempFolder folder;
    std::vector<HANDLE> started;
    std::wstring fennickBefore;
};
}  // namespace

TEST_F(Program, StartsOnceLogsTheStartAndQuitsWithExitCodeZero) {
    SetSetting(L"Screen", L"ScreenSave", L"1");
    HANDLE first = Start();
    HWND frame = WaitForFrame(first);
    ASSERT_NE(frame, nullptr) << "main window did not appear";

    // A second start ends silently and logs nothing.
    HANDLE second = Start();
    EXPECT_EQ(ExitCodeAfter(second, 60000), 0u);
    std::string log = ReadBytes(folder.Path() + L"torvane.log");
    EXPECT_EQ(Count(log, "; started; Torvane; 2.0; Build "), 1) << log;
    EXPECT_LT(log.find("; started; "), log.find("\r\n")) << "the start line comes first";

    PostMessageW(frame, WM_COMMAND, IDM_mnuPopUpFileQuit, 0);
    EXPECT_EQ(ExitCodeAfter(first, 60000), 0u);
    // With "ScreenSave" 1 the position and size were saved on the way out.
    EXPECT_FALSE(GetSetting(L"Screen", L"Form_Width").empty());
    EXPECT_FALSE(GetSetting(L"Screen", L"ScreenX").empty());
}

TEST_F(Program, TemporaryFilesModeWithoutListCreatesItAndEnds) {
    HANDLE p = Start(L"/D");
    EXPECT_EQ(ExitCodeAfter(p, 60000), 0u);
    EXPECT_TRUE(FileExists(folder.Path() + L"tmpdirs.txt"));
    EXPECT_EQ(ReadBytes(folder.Path() + L"tmpdirs.txt"), "");
    std::string log = ReadBytes(folder.Path() + L"torvane.log");
    EXPECT_EQ(Count(log, "tmpdirs.txt musste angelegt werden."), 1) << log;
    EXPECT_EQ(FindWindowW(L"TorvaneMDIFrame", nullptr), nullptr);
}

TEST_F(Program, TemporaryFilesModeEmptiesTheListedFolders) {
    SetSetting(L"Optionen", L"Recycler", L"0");
    std::wstring a = folder.Write(L"tmpA\\one.tmp"), b = folder.Write(L"tmpA\\sub\\two.tmp");
    std::wstring keep = folder.Write(L"keep\\mine.txt");
    std::string list = "\r\n" + ToAnsi(folder.Path()) + "tmpA\r\n   \r\n" + ToAnsi(folder.Path()) + "missing\\\r\nrelative\\dir\r\nZ:\\\r\n";
    folder.Write(L"tmpdirs.txt", list);
    HANDLE p = Start(L"/d");
    EXPECT_EQ(ExitCodeAfter(p, 60000), 0u);
    EXPECT_FALSE(FileExists(a));
    EXPECT_FALSE(FileExists(b));
    EXPECT_TRUE(FileExists(folder.Path() + L"tmpA"));  // the folder itself stays
    EXPECT_TRUE(FileExists(keep));
    std::string log = ReadBytes(folder.Path() + L"torvane.log");
    EXPECT_NE(log.find("relative\\dir\\ ist kein vollst\xE4ndiger Pfad"), std::string::npos) << log;
    EXPECT_NE(log.find("Z:\\ ist ein ganzes Laufwerk"), std::string::npos) << log;
}

TEST_F(Program, WithLoggingOnEachStartValueIsLoggedAndTheUserIsTold) {
    SetSetting(L"Optionen", L"Protokoll", L"1");
    AutoAnswer notice(L"Torvane", IDOK, 60000);
    HANDLE p = Start();
    ASSERT_TRUE(notice.Wait());
    EXPECT_EQ(notice.Text(), L"Die Protokollierung ist aktiviert.");
    HWND frame = WaitForFrame(p);
    ASSERT_NE(frame, nullptr);
    PostMessageW(frame, WM_COMMAND, IDM_mnuPopUpFileQuit, 0);
    EXPECT_EQ(ExitCodeAfter(p, 60000), 0u);
    std::string log = ReadBytes(folder.Path() + L"torvane.log");
    // The start line comes first, then InstallDir (with exactly one backslash before the name).
    size_t start = log.find("; started; Torvane; 2.0; ");
    size_t install = log.find("; modMain; Main; " + ToAnsi(folder.Path()) + "; 0; ");
    EXPECT_EQ(start, log.find("; ")) << log;
    EXPECT_NE(install, std::string::npos) << log;
    EXPECT_GT(install, start);
    EXPECT_NE(log.find("; modMain; Main; " + ToAnsi(folder.Path()) + "Backup\\; 0; "), std::string::npos) << log;
    EXPECT_NE(log.find(" Build: "), std::string::npos);
    EXPECT_NE(log.find("; clsKeyFunc; ReadAppSwitch; vollst\xE4ndig gelesen; 0; "), std::string::npos);
    EXPECT_NE(log.find("; frmMDI; MDIForm_Unload; endet; 0; "), std::string::npos);
}

TEST_F(Program, FirstStartWithoutHelpFileSaysSoOnceAndNotAgain) {
    SetSetting(L"Optionen", L"1stRun", L"1");
    AutoAnswer missing(L"Fehlerbericht", IDC_cmdSchliessen, 60000);
    HANDLE p = Start();
    ASSERT_TRUE(missing.Wait());
    HWND frame = WaitForFrame(p);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(GetSetting(L"Optionen", L"1stRun"), L"0");
    PostMessageW(frame, WM_COMMAND, IDM_mnuPopUpFileQuit, 0);
    EXPECT_EQ(ExitCodeAfter(p, 60000), 0u);
    std::string log = ReadBytes(folder.Path() + L"torvane.log");
    EXPECT_NE(log.find("; modMain; CheckFirstRun; ; 10002; Die Hilfedatei zum Programm wurde nicht gefunden."),
              std::string::npos) << log;
    // The second start opens no help and shows nothing.
    HANDLE q = Start();
    HWND again = WaitForFrame(q);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(FindWindowW(L"#32770", L"Fehlerbericht"), nullptr);
    PostMessageW(again, WM_COMMAND, IDM_mnuPopUpFileQuit, 0);
    EXPECT_EQ(ExitCodeAfter(q, 60000), 0u);
}

TEST_F(Program, FirstStartShowsTheHelpInTheBrowserWhereTheViewerCannotShowIt) {
    // The test prefix runs without Wine's HTML engine: the viewer's pages would stay blank.
    FakeBrowser browser(folder.Path());
    InstallHelp(folder.Path());
    SetSetting(L"Optionen", L"1stRun", L"1");
    HANDLE p = Start();
    EXPECT_EQ(browser.WaitForPage(0), "file://" + UnixPath(folder.Path() + L"html\\start.html"));
    HWND frame = WaitForFrame(p);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(GetSetting(L"Optionen", L"1stRun"), L"0");
    EXPECT_EQ(FindWindowW(L"#32770", L"Fehlerbericht"), nullptr);
    PostMessageW(frame, WM_COMMAND, IDM_mnuPopUpFileQuit, 0);
    EXPECT_EQ(ExitCodeAfter(p, 60000), 0u);
    EXPECT_EQ(browser.Pages().size(), 1u);
}
