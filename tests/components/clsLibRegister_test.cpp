// tests/components/clsLibRegister_test.cpp
// The component self-check on the complete component list of the original program, in a private
// registry and private system, assistant and program folders.
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "main/modMain.h"
#include "core/Text.h"
#include "main/WindowHandler.h"
#include "errors/frmError.rh"
#include "registry/clsKeyFunc.h"
#include "components/clsLibRegister.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <cstdio>

namespace {
using F = LibComponent::Folder;
using R = LibComponent::Registration;

const wchar_t* kReinstall = L" wurde nicht gefunden. Deinstallieren Sie das Programm und installieren Sie es neu.";

std::wstring Clsid(const wchar_t* first, const wchar_t* rest) {
    return ClsidKey(L"{" + std::wstring(first) + L"-" + rest + L"}");
}
// CLSID keys of consecutive identifiers: first part from..to (hex), the same rest.
void ClsidRange(std::vector<std::wstring>& keys, unsigned from, unsigned to, const wchar_t* middle, const wchar_t* rest) {
    for (unsigned n = from; n <= to; ++n) {
        wchar_t first[16];
        swprintf(first, 16, L"%08X", n);
        keys.push_back(ClsidKey(L"{" + std::wstring(first) + L"-" + middle + L"-" + rest + L"}"));
    }
}

// The complete list of components the original program checked, with its keys (type libraries
// as "win32", as written there).
std::vector<LibComponent> FullTable() {
    const wchar_t* msc = L"11D1-B16A-00C0F0283628";
    std::vector<std::wstring> mscomctl{ClsidKey(L"{1EFB6596-857C-11D1-B16A-00C0F0283628}")};
    for (auto [id, mid] : {std::pair{0x2C247F23u, L"8591"}, {0x35053A22u, L"8589"}, {0x66833FE6u, L"8583"},
                           {0x8E3867A3u, L"8586"}, {0xBDD1F04Bu, L"858B"}})
        ClsidRange(mscomctl, id, id, mid, msc);
    ClsidRange(mscomctl, 0xC27CCE32u, 0xC27CCE42u, L"8596", msc);
    for (auto [id, mid] : {std::pair{0xC74190B6u, L"8589"}, {0xDD9DA666u, L"8594"}, {0xF08DF954u, L"8592"}})
        ClsidRange(mscomctl, id, id, mid, msc);
    mscomctl.push_back(TypeLibKey(L"{831FDD16-0C5C-11D2-A9FC-0000F8754DA1}", L"2.0\\0"));

    std::vector<std::wstring> comctl{ClsidKey(L"{0713E8A2-850A-101B-AFC0-4210102A8DA7}")};
    for (unsigned id : {0x0713E8A8u, 0x0713E8D2u, 0x0713E8D8u}) ClsidRange(comctl, id, id, L"850A", L"101B-AFC0-4210102A8DA7");
    for (unsigned id : {0x6B7E638Fu, 0x6B7E6393u, 0x6B7E63A3u}) ClsidRange(comctl, id, id, L"850A", L"101B-AFC0-4210102A8DA7");
    for (unsigned id : {0x373FF7F0u, 0x373FF7F4u}) ClsidRange(comctl, id, id, L"EB8B", L"11CD-8820-08002B2F4F5A");
    for (unsigned id : {0x58DA8D8Au, 0x58DA8D8Fu, 0x58DA8D93u, 0x58DA8D96u})
        ClsidRange(comctl, id, id, L"9D6A", L"101B-AFC0-4210102A8DA7");
    ClsidRange(comctl, 0x5ACBB955u, 0x5ACBB958u, L"5C57", L"11CF-8993-00AA00688B10");
    comctl.push_back(Clsid(L"6027C2D4", L"FB28-11CD-8820-08002B2F4F5A"));
    for (unsigned id : {0x612A8624u, 0x612A8628u}) ClsidRange(comctl, id, id, L"0FB3", L"11CE-8747-524153480004");
    comctl.push_back(Clsid(L"62823C20", L"41A3-11CE-9E8B-0020AF039CA3"));
    for (unsigned id : {0x9ED94440u, 0x9ED94444u}) ClsidRange(comctl, id, id, L"E5E8", L"101B-B9B5-444553540000");
    comctl.push_back(Clsid(L"B66834C6", L"2E60-11CE-8748-524153480004"));
    comctl.push_back(TypeLibKey(L"{6B7E6392-850A-101B-AFC0-4210102A8DA7}", L"1.3\\0"));

    return {
        {L"hhctrl.ocx", F::Sys,
         {Clsid(L"4662DAB0", L"D393-11D0-9A56-00C04FB68B66"), Clsid(L"ADB880A4", L"D8FF-11CF-9377-00AA003B7A11"),
          Clsid(L"ADB880A6", L"D8FF-11CF-9377-00AA003B7A11"),
          TypeLibKey(L"{ADB880A2-D8FF-11CF-9377-00AA003B7A11}", L"4.0\\0")},
         10101, kReinstall, R::Server},
        {L"agentsvr.exe", F::Agent,
         {L"Software\\Classes\\CLSID\\{D45FD2FC-5C6E-11D1-9EC1-00C04FD7081F}\\LocalServer32",
          TypeLibKey(L"{A7B93C73-7B81-11D0-AC5F-00C04FD97575}", L"2.0\\0"),
          TypeLibKey(L"{D6589123-FC70-11D0-AC94-00C04FD97575}", L"2.0\\0")},
         10102, L" wurde nicht gefunden. Installieren Sie den Microsoft Agent erneut.", R::AgentServer},
        {L"agentctl.dll", F::Agent,
         {Clsid(L"D45FD31B", L"5C6E-11D1-9EC1-00C04FD7081F"), Clsid(L"F5BE8BD2", L"7DE6-11D0-91FE-00C04FD701A5"),
          TypeLibKey(L"{F5BE8BC2-7DE6-11D0-91FE-00C04FD701A5}", L"2.0\\0")},
         10103, kReinstall, R::AgentControl},
        {L"mscomctl.ocx", F::Sys, mscomctl, 10104, kReinstall, R::Server},
        {L"comctl32.ocx", F::Sys, comctl, 10105, kReinstall, R::Server},
        {L"fennick.ocx", F::Install,
         {Clsid(L"8B918202", L"6B89-4703-9851-8921CE2F7787"),
          TypeLibKey(L"{CB53FD89-B29F-43AD-A55F-BA450F1947CB}", L"1.0\\0")},
         10106, kReinstall, R::Server},
        {L"tabctl32.ocx", F::Sys,
         {Clsid(L"7DA06D40", L"54A0-11CF-A521-0080C77A7786"), Clsid(L"BDC217C5", L"ED16-11CD-956C-0000C04E4C0A"),
          TypeLibKey(L"{BDC217C8-ED16-11CD-956C-0000C04E4C0A}", L"1.1\\0")},
         10107, kReinstall, R::Server},
        {L"comdlg32.ocx", F::Sys,
         {Clsid(L"3C4F3BE3", L"47EB-101B-A3C9-08002B2F49FB"), Clsid(L"3C4F3BE5", L"47EB-101B-A3C9-08002B2F49FB"),
          Clsid(L"3C4F3BE7", L"47EB-101B-A3C9-08002B2F49FB"), Clsid(L"7629CFA2", L"3FE5-101B-A3C9-08002B2F49FB"),
          Clsid(L"7629CFA4", L"3FE5-101B-A3C9-08002B2F49FB"), Clsid(L"F9043C85", L"F6F2-101A-A3C9-08002B2F49FB"),
          TypeLibKey(L"{F9043C88-F6F2-101A-A3C9-08002B2F49FB}", L"1.2\\0")},
         10108, kReinstall, R::Server},
        {L"msvbvm60.dll", F::Sys,
         {Clsid(L"D5DE8D20", L"5BB8-11D1-A1E3-00A0C90F2731"),
          TypeLibKey(L"{000204EF-0000-0000-C000-000000000046}", L"6.0\\9"),
          TypeLibKey(L"{EA544A21-C82D-11D1-A3E4-00A0C90AEA82}", L"6.0\\9")},
         10109, kReinstall, R::Server},
        {L"wininet.dll", F::Sys, {}, 10110,
         L" wurde nicht gefunden. Es scheint, das kein Microsoft Internet Explorer installiert ist.", R::None},
        {L"mswinsck.ocx", F::Sys,
         {Clsid(L"248DD896", L"BB45-11CF-9ABC-0080C7E7B78D"), Clsid(L"248DD897", L"BB45-11CF-9ABC-0080C7E7B78D"),
          TypeLibKey(L"{248DD890-BB45-11CF-9ABC-0080C7E7B78D}", L"1.0\\0")},
         10111, kReinstall, R::Server},
    };
}

// Answers the critical error dialog. Its only button ends the program; the test renames it to the
// ordinary close button first, so that the dialog returns and the rest of the check can be seen.
class CriticalErrorCloser {
public:
    CriticalErrorCloser() { thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
    ~CriticalErrorCloser() { Wait(); }
    void Wait() {
        if (!thread_) return;
        stop_ = true;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    int shown = 0;
    std::wstring texts;

private:
    static DWORD WINAPI Run(void* p) {
        auto* self = static_cast<CriticalErrorCloser*>(p);
        while (!self->stop_) {
            HWND w = FindWindowW(L"#32770", L"Fehlerbericht");
            if (w && IsWindowVisible(w)) {
                wchar_t text[1024];
                for (int id : {IDC_lblErrDesc, IDC_lblErrNr, IDC_cmdSchliessen}) {
                    GetDlgItemTextW(w, id, text, 1024);
                    self->texts += std::wstring(text) + L"|";
                }
                SetDlgItemTextW(w, IDC_cmdSchliessen, L"&Schließen");
                PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDC_cmdSchliessen, BN_CLICKED), 0);
                ++self->shown;
                while (IsWindow(w) && IsWindowVisible(w)) Sleep(10);
            }
            Sleep(20);
        }
        return 0;
    }
    HANDLE thread_ = nullptr;
    volatile bool stop_ = false;
};

class LibRegisterTest : public testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder_.Path());
        AppEnvironment.SysDir = folder_.Path() + L"System32\\";
        AppEnvironment.AgentDir = folder_.Path() + L"msagent\\";
        AppSwitches.Protokoll = 1;
        table_ = FullTable();
        for (const auto& c : table_) {
            std::wstring sub = c.folder == F::Sys ? L"System32\\" : c.folder == F::Agent ? L"msagent\\" : L"";
            folder_.Write(sub + c.file);
            for (const auto& key : c.keys) ClassHandler().KeyFunc().CreateKey(kHKLM, key);
        }
        WinInetMissing = false;
    }
    void TearDown() override { WindowHandler().CloseWindow(WindowNo::Login); }
    LoginWait wait_;  // the start-up's wait window

    std::wstring Path(const wchar_t* folder, const wchar_t* file) const { return folder_.Path() + folder + file; }
    std::vector<std::wstring> LogLines(const std::wstring& procedure) const {
        std::wstring log = FromAnsi(ReadBytes(folder_.Path() + L"torvane.log"));
        std::vector<std::wstring> lines;
        for (size_t start = 0, end; start < log.size(); start = end + 2) {
            end = log.find(L"\r\n", start);
            if (end == std::wstring::npos) end = log.size();
            std::wstring line = log.substr(start, end - start);
            if (procedure.empty() || line.find(L"; " + procedure + L"; ") != std::wstring::npos) lines.push_back(line);
        }
        return lines;
    }
    size_t CheckedCount() const {
        size_t n = 0;
        for (auto& l : LogLines(L"CheckLibs"))
            if (l.find(L" geprüft") != std::wstring::npos) ++n;
        return n;
    }

    RegistrySandbox sandbox_;
    TempFolder folder_;
    std::vector<LibComponent> table_;
};
}  // namespace

TEST_F(LibRegisterTest, EverythingPresentRegistersNothing) {
    ClassHandler().LibRegister().CheckLibs(table_, &wait_);
    auto lines = LogLines(L"CheckLibs");
    ASSERT_GE(lines.size(), 13u);
    EXPECT_NE(lines.front().find(L"; started; "), std::wstring::npos);
    EXPECT_NE(lines.back().find(L"; endet; "), std::wstring::npos);
    EXPECT_EQ(CheckedCount(), 11u);
    EXPECT_NE(lines[1].find(L"; hhctrl.ocx geprüft; 0; "), std::wstring::npos) << lines[1];
    EXPECT_TRUE(LogLines(L"RegisterServer").empty());
    EXPECT_TRUE(LogLines(L"RegisterEXE").empty());
    EXPECT_FALSE(WinInetMissing);
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::Login));
}

TEST_F(LibRegisterTest, OneMissingKeyOfTheDialogControlRegistersOnlyThatFile) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, TypeLibKey(L"{F9043C88-F6F2-101A-A3C9-08002B2F49FB}", L"1.2\\0").c_str());
    AutoAnswer wait(AppEnvironment.AppTitle, 0, 20000);  // reads the wait window's text
    ClassHandler().LibRegister().CheckLibs(table_, &wait_);
    wait.Wait();
    auto reg = LogLines(L"RegisterServer");
    ASSERT_EQ(reg.size(), 1u);
    // The test's file is no library: the attempt is logged as a critical entry with its path.
    EXPECT_NE(reg[0].find(L"; " + Path(L"System32\\", L"comdlg32.ocx") + L"; "), std::wstring::npos) << reg[0];
    EXPECT_EQ(CheckedCount(), 11u);
    EXPECT_NE(wait.Text().find(L"Die Komponente " + Path(L"System32\\", L"comdlg32.ocx") + L" wird nachregistriert."),
              std::wstring::npos);
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::Login)) << "the wait window stays open";
}

TEST_F(LibRegisterTest, ARegistrationOfAFileThatIsGoneCountsAsMissing) {
    const std::wstring key = ClsidKey(L"{8B918202-6B89-4703-9851-8921CE2F7787}");
    // A bare name is left to the loader's search; an absolute path must exist.
    ClassHandler().KeyFunc().SetKeyValue(kHKLM, key, L"", L"fennick.ocx", REG_SZ, KEY_ALL_ACCESS);
    ClassHandler().LibRegister().CheckLibs(table_, &wait_);
    EXPECT_TRUE(LogLines(L"RegisterServer").empty());
    ClassHandler().KeyFunc().SetKeyValue(kHKLM, key, L"", L"C:\\Alt\\Torvane\\fennick.ocx", REG_SZ, KEY_ALL_ACCESS);
    ClassHandler().LibRegister().CheckLibs(table_, &wait_);
    auto reg = LogLines(L"RegisterServer");
    ASSERT_EQ(reg.size(), 1u);
    EXPECT_NE(reg[0].find(L"; " + Path(L"", L"fennick.ocx") + L"; "), std::wstring::npos) << reg[0];
}

TEST_F(LibRegisterTest, AMissingAssistantServerIsACriticalErrorAndTheCheckGoesOn) {
    DeleteFileW(Path(L"msagent\\", L"agentsvr.exe").c_str());
    CriticalErrorCloser closer;
    ClassHandler().LibRegister().CheckLibs(table_, &wait_);
    closer.Wait();
    EXPECT_EQ(closer.shown, 1);
    EXPECT_EQ(closer.texts, L"Die Datei agentsvr.exe wurde nicht gefunden. Installieren Sie den Microsoft Agent "
                            L"erneut.|10102|Beenden|");
    auto lines = LogLines(L"CheckLibs");
    bool critical = false;
    for (auto& l : lines)
        critical |= l.find(L"; 10102; Die Datei agentsvr.exe wurde nicht gefunden.") != std::wstring::npos;
    EXPECT_TRUE(critical);
    EXPECT_EQ(CheckedCount(), 11u);  // agentsvr.exe included, then every component after it
    EXPECT_TRUE(LogLines(L"RegisterEXE").empty());
}

TEST_F(LibRegisterTest, TheAssistantIsSwitchedOffBeforeItsComponentsRegisterAgain) {
    ClassHandler().KeyFunc().SaveSetting(L"Optionen", L"AgentLoad", L"1");
    ClassHandler().KeyFunc().SaveSetting(L"Optionen", L"AgentType", L"Merlin");
    AppSwitches.AgentLoad = 1;
    AppSwitches.AgentType = L"Merlin";
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, TypeLibKey(L"{F5BE8BC2-7DE6-11D0-91FE-00C04FD701A5}", L"2.0\\0").c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, TypeLibKey(L"{D6589123-FC70-11D0-AC94-00C04FD97575}", L"2.0\\0").c_str());
    ClassHandler().LibRegister().CheckLibs(table_, &wait_);
    EXPECT_EQ(ClassHandler().KeyFunc().GetSetting(L"Optionen", L"AgentLoad", L"?"), L"0");
    EXPECT_EQ(ClassHandler().KeyFunc().GetSetting(L"Optionen", L"AgentType", L"?"), L"");
    EXPECT_EQ(AppSwitches.AgentLoad, 0);
    EXPECT_EQ(AppSwitches.AgentType, L"");
    // The server program is started with its switch, the control through its library.
    auto exe = LogLines(L"RegisterEXE");
    ASSERT_EQ(exe.size(), 1u);
    EXPECT_NE(exe[0].find(Path(L"msagent\\", L"agentsvr.exe") + L" /regserver"), std::wstring::npos) << exe[0];
    auto reg = LogLines(L"RegisterServer");
    ASSERT_EQ(reg.size(), 1u);
    EXPECT_NE(reg[0].find(Path(L"msagent\\", L"agentctl.dll")), std::wstring::npos) << reg[0];
}

TEST_F(LibRegisterTest, AMissingInternetLibraryIsOnlyAWarningAndSetsTheFlag) {
    DeleteFileW(Path(L"System32\\", L"wininet.dll").c_str());
    CriticalErrorCloser closer;
    ClassHandler().LibRegister().CheckLibs(table_, &wait_);
    closer.Wait();
    EXPECT_EQ(closer.shown, 0) << "no dialog for the internet library";
    EXPECT_TRUE(WinInetMissing);
    bool warning = false;
    for (auto& l : LogLines(L"CheckLibs"))
        warning |= l.find(L"; 10110; Die Datei wininet.dll wurde nicht gefunden. Es scheint, dass kein Microsoft "
                          L"Internet Explorer installiert ist.") != std::wstring::npos;
    EXPECT_TRUE(warning);
    EXPECT_EQ(CheckedCount(), 11u);
}

TEST_F(LibRegisterTest, RegisterServerCallsTheLibraryAndLogsItsReturnValue) {
    const std::wstring fennick = ProgramFolder() + L"fennick.ocx";
    ASSERT_TRUE(FileExists(fennick));
    HKEY k = nullptr;
    const bool wasRegistered = RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{8B918202-6B89-4703-9851-8921CE2F7787}", 0,
                                             KEY_READ, &k) == ERROR_SUCCESS;
    if (k) RegCloseKey(k);
    auto& lib = ClassHandler().LibRegister();
    lib.RegisterServer(fennick, true);
    lib.RegisterServer(fennick, false);
    if (wasRegistered) lib.RegisterServer(fennick, true);
    // A library without the export, and a file that is none.
    lib.RegisterServer(AppEnvironment.SysDir + L"wininet.dll", true);
    wchar_t sys[MAX_PATH];
    GetSystemDirectoryW(sys, MAX_PATH);
    lib.RegisterServer(std::wstring(sys) + L"\\kernel32.dll", false);

    auto lines = LogLines(L"RegisterServer");
    ASSERT_GE(lines.size(), 4u);
    EXPECT_NE(lines[0].find(L"; " + fennick + L"; Rückgabewert=0; 0; "), std::wstring::npos) << lines[0];
    EXPECT_NE(lines[1].find(L"; " + fennick + L"; Rückgabewert=0; 0; "), std::wstring::npos) << lines[1];
    const std::wstring& noLibrary = lines[lines.size() - 2];
    const std::wstring& noExport = lines.back();
    EXPECT_NE(noLibrary.find(L"; " + AppEnvironment.SysDir + L"wininet.dll; "), std::wstring::npos) << noLibrary;
    EXPECT_EQ(noLibrary.find(L"Rückgabewert"), std::wstring::npos);
    EXPECT_NE(noExport.find(std::wstring(sys) + L"\\kernel32.dll; 127; "), std::wstring::npos) << noExport;
}

TEST(LibRegisterComponents, TheProgramChecksTheComponentsItLoads) {
    auto c = clsLibRegister::Components();
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].file, L"hhctrl.ocx");
    EXPECT_EQ(c[0].error, 10101);
    EXPECT_EQ(c[0].folder, F::Sys);
    // Only what the help call needs: Wine's viewer registers no further classes, and a missing
    // one would re-register the viewer at every start.
    ASSERT_EQ(c[0].keys.size(), 2u);
    EXPECT_NE(c[0].keys[0].find(L"{ADB880A6-D8FF-11CF-9377-00AA003B7A11}"), std::wstring::npos);
    EXPECT_EQ(c[1].file, L"fennick.ocx");
    EXPECT_EQ(c[1].folder, F::Install);
    EXPECT_EQ(c[1].error, 10106);
    // The keys fennick.ocx itself writes when it registers.
    EXPECT_EQ(c[1].keys, (std::vector<std::wstring>{
                             L"Software\\Classes\\CLSID\\{8B918202-6B89-4703-9851-8921CE2F7787}\\InprocServer32",
                             L"Software\\Classes\\TypeLib\\{CB53FD89-B29F-43AD-A55F-BA450F1947CB}\\1.0\\0\\win64"}));
    EXPECT_EQ(c[2].file, L"wininet.dll");
    EXPECT_EQ(c[2].error, 10110);
    EXPECT_TRUE(c[2].keys.empty());
    EXPECT_EQ(c[2].registration, R::None);
}
