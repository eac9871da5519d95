// tests/office/Register_wintest.cpp
#include "OfficeTest.h"
#include <sstream>

namespace {
// The stand-in program the build puts beside the tests (bin/stubs/officestub.exe).
std::wstring StubProgram() {
    return BinFolder() + L"stubs\\officestub.exe";
}

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::wstringstream in(text);
    for (std::wstring line; std::getline(in, line);) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

class Reregistration : public OfficeWindow {
protected:
    void SetUp() override {
        OfficeWindow::SetUp();
        log = folder.Path() + L"stub.log";
        SetEnvironmentVariableW(L"TORVANE_STUB_LOG", log.c_str());
        SetEnvironmentVariableW(L"TORVANE_STUB_EXIT", nullptr);
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"TORVANE_STUB_LOG", nullptr);
        SetEnvironmentVariableW(L"TORVANE_STUB_EXIT", nullptr);
        OfficeWindow::TearDown();
    }
    // A program folder with a blank in its name, the stub under the program's name.
    std::wstring ProgramFolder(const std::wstring& name, std::initializer_list<const wchar_t*> programs) {
        const std::wstring dir = folder.Path() + L"Microsoft Office\\" + name;
        folder.Write(L"Microsoft Office\\" + name + L"\\leer.txt");
        for (const wchar_t* p : programs) EXPECT_TRUE(CopyFileW(StubProgram().c_str(), (dir + L"\\" + p).c_str(), FALSE));
        return dir;
    }
    // Lower case: how the started program sees its own name's case is the platform's business.
    std::vector<std::wstring> StubLines() const { return Lines(ToLower(FromUtf8(ReadBytes(log)))); }
    std::wstring log;
};
}  // namespace

TEST_F(Reregistration, WordAndExcelRunQuotedOneAfterTheOtherAndTheirExitDecides) {
    ASSERT_TRUE(FileExists(StubProgram())) << ToUtf8(StubProgram());
    PlantSuite(k32, L"11.0", true, {L"Word", L"Excel"});
    // No trailing backslash: it is added before the program's name.
    const std::wstring dir = ProgramFolder(L"OFFICE11", {L"WINWORD.EXE", L"EXCEL.EXE"});
    PutSz(HKEY_LOCAL_MACHINE, std::wstring(k32) + L"11.0\\Word\\Installroot", L"Path", dir);
    PutSz(HKEY_LOCAL_MACHINE, std::wstring(k32) + L"11.0\\Excel\\Installroot", L"Path", dir + L"\\");

    frmOffice& o = Open();
    o.SelectPage(3);
    MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
    Click(o, IDC_cmdOfficeWordRegistrieren);
    const std::wstring quoted = L"\"" + dir + L"\\winword.exe\"";
    const std::wstring word = ToLower(quoted);
    EXPECT_EQ(StubLines(), (std::vector<std::wstring>{L"winword.exe begin " + word + L" /u", L"winword.exe end " + word + L" /u",
                                                      L"winword.exe begin " + word + L" /r",
                                                      L"winword.exe end " + word + L" /r"}));
    EXPECT_EQ(o.LastMessage(), L"Microsoft Word wurde im System neu registriert.");
    EXPECT_NE(Log().find(dir + L"\\winword.exe konnte nachregistriert werden; Rückgabewert: 0"), std::wstring::npos);

    // Excel takes the long switches with every version; a failing program is no success.
    DeleteFileW(log.c_str());
    SetEnvironmentVariableW(L"TORVANE_STUB_EXIT", L"5");
    WindowHandler().Get<frmMDI>().Command(IDM_mnuOfficeExcelRegister);
    const std::wstring excel = ToLower(L"\"" + dir + L"\\excel.exe\"");
    EXPECT_EQ(StubLines(), (std::vector<std::wstring>{L"excel.exe begin " + excel + L" /unregserver",
                                                      L"excel.exe end " + excel + L" /unregserver",
                                                      L"excel.exe begin " + excel + L" /regserver",
                                                      L"excel.exe end " + excel + L" /regserver"}));
    EXPECT_EQ(o.LastMessage(), L"Microsoft Excel konnte nicht neu registriert werden (Rückgabewert: 5).");
    EXPECT_NE(Log().find(L"excel.exe konnte nicht nachregistriert werden; Rückgabewert: 5"), std::wstring::npos);
    EXPECT_EQ(boxes.Texts().size(), 2u);
}

TEST_F(Reregistration, WithoutAKnownFolderNothingIsStarted) {
    PlantSuite(k64, L"16.0", true, {L"Word", L"Excel"});
    // Excel's folder holds no excel.exe; Word has no "Path" at all.
    const std::wstring empty = ProgramFolder(L"Office16", {L"WINWORD.EXE"});
    PutSz(HKEY_LOCAL_MACHINE, std::wstring(k64) + L"16.0\\Excel\\Installroot", L"Path", empty);
    PutKey(HKEY_LOCAL_MACHINE, std::wstring(k64) + L"16.0\\Word\\Installroot");

    frmOffice& o = Open();
    MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
    Click(o, IDC_cmdOfficeWordRegistrieren);
    EXPECT_EQ(o.LastMessage(), L"Der Installationspfad von Microsoft Word wurde nicht gefunden.");
    Click(o, IDC_cmdOfficeExcelRegistrieren);
    EXPECT_EQ(o.LastMessage(), L"Der Installationspfad von Microsoft Excel wurde nicht gefunden.");
    EXPECT_EQ(boxes.Texts().size(), 2u);
    EXPECT_FALSE(FileExists(log));
}
