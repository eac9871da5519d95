// tests/extras/FileTypesPage_wintest.cpp
#include "support/RegeditImport.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/Text.h"
#include "core/win/Menu.h"
#include "errors/clsError.h"
#include "extras/ExtrasMenu.h"
#include "extras/FileTypesPage.h"
#include "extras/FileTypesPage.rh"
#include "journal/ChangeJournal.h"
#include "registry/clsKeyFunc.h"
#include "scan/ScanTestRegistry.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "support/ListNotify.h"
#include "support/Wait.h"
#include "extras/PageHost.h"
#include "main/frmMDI.rh"
#include <gtest/gtest.h>

namespace {
const std::wstring kC = L"Software\\Classes\\";

struct FileTypes : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    FileTypesPage page;
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppSwitches.Protokoll = 1;
    }
    const std::function<bool(const RegChange&)> realWrite = ChangeJournal::RegistryWrite();
    void TearDown() override { ChangeJournal::RegistryWrite() = realWrite; }

    std::vector<std::wstring> Rows() {
        std::vector<std::wstring> out;
        for (int i = 0; i < page.List().Count(); ++i)
            out.push_back(page.List().Cell(i, 0) + L"|" + page.List().Cell(i, 1) + L"|" + page.List().Cell(i, 2) +
                          L"|" + page.List().Cell(i, 3));
        return out;
    }
    int RowOf(const std::wstring& ext, RootKey root) {
        for (int i = 0; i < page.List().Count(); ++i)
            if (page.RowType(i).extension == ext && page.RowType(i).root == root) return i;
        return -1;
    }
    void SelectOnly(std::initializer_list<std::pair<const wchar_t*, RootKey>> rows) {
        for (int i = 0; i < page.List().Count(); ++i) page.List().Select(i, false);
        for (auto [ext, root] : rows) {
            const int r = RowOf(ext, root);
            ASSERT_GE(r, 0) << ToUtf8(ext);
            page.List().Select(r, true);
        }
    }
    void Key(WORD key) { SendListKey(page.List(), key); }
    void Click(UINT code) { SendListNotify(page.List(), code); }
    std::vector<std::wstring> UndoFiles() {
        std::vector<std::wstring> out;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((AppEnvironment.BackupDir + L"*.reg").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return out;
        do out.push_back(fd.cFileName); while (FindNextFileW(h, &fd));
        FindClose(h);
        return out;
    }
    std::wstring Export(RootKey root, const std::wstring& key) {
        return ClassHandler().KeyFunc().ExportKey(root, key, true);
    }
};

// A file type with a command, below either root.
void PlantType(HKEY root, const std::wstring& ext, const std::wstring& type, const std::wstring& command) {
    PutSz(root, kC + ext, L"", type);
    if (!command.empty()) PutSz(root, kC + type + L"\\shell\\open\\command", L"", command);
}
}  // namespace

TEST_F(FileTypes, ListsBothOwnersAndNeverOffersTheSystemsTypes) {
    PlantType(HKEY_LOCAL_MACHINE, L".tva", L"tva.Datei", L"C:\\tva\\tva.exe \"%1\"");
    PlantType(HKEY_CURRENT_USER, L".tva", L"tva.Benutzer", L"C:\\Benutzer\\tva.exe \"%1\"");
    PlantType(HKEY_CURRENT_USER, L".tvm", L"tva.Datei", L"");  // the user's type named, the machine's command
    PutKey(HKEY_LOCAL_MACHINE, kC + L".ohne");
    PutSz(HKEY_LOCAL_MACHINE, kC + L"tvx.Datei", L"", L"keine Erweiterung");
    for (const wchar_t* p : {L".exe", L".TXT", L".lnk", L".reg", L".dll"}) PlantType(HKEY_LOCAL_MACHINE, p, L"x", L"x");
    PlantType(HKEY_CURRENT_USER, L".cmd", L"cmdfile", L"");

    PageHost host(page);
    EXPECT_EQ(Rows(), (std::vector<std::wstring>{
                          L".ohne|||HKEY_LOCAL_MACHINE",
                          L".tva|tva.Datei|C:\\tva\\tva.exe \"%1\"|HKEY_LOCAL_MACHINE",
                          L".tva|tva.Benutzer|C:\\Benutzer\\tva.exe \"%1\"|HKEY_CURRENT_USER",
                          L".tvm|tva.Datei|C:\\tva\\tva.exe \"%1\"|HKEY_CURRENT_USER",
                      }));
    // More than one row: the first is selected.
    EXPECT_TRUE(page.List().Selected(0));
    EXPECT_EQ(page.List().SelectedCount(), 1);
    EXPECT_EQ(page.ToolTipText(IDC_cmdFileExtsDel), L"Selektierte Einträge löschen");

    // The page's menu is the one enabled; its caption follows the selection on a click.
    HMENU extra = ExtraScanMenu();
    ASSERT_TRUE(extra);
    EXPECT_TRUE(MenuItem::PopupEnabled(extra, kMenuExtraScanFileExt));
    EXPECT_FALSE(MenuItem::PopupEnabled(extra, kMenuExtraScanAutostart));
    Click(NM_CLICK);
    EXPECT_EQ(MenuItem::Caption(extra, IDM_mnuExtraScanFileExtDel), L"&markierten Eintrag entfernen");
    page.List().Select(2);
    Click(NM_CLICK);
    EXPECT_EQ(MenuItem::Caption(extra, IDM_mnuExtraScanFileExtDel), L"&markierte Einträge entfernen");

    // Header clicks and F6-F8 sort, every call flipping the direction.
    Key(VK_F7);
    EXPECT_EQ(page.List().Cell(0, 1), L"tva.Datei");
    Key(VK_F7);
    EXPECT_EQ(page.List().Cell(0, 1), L"");
    Key(VK_F6);
    EXPECT_EQ(page.List().Cell(0, 0), L".tvm");

    // F5 reads again; a list of exactly one row has no selection.
    for (const wchar_t* e : {L".tva", L".tvm"}) RegDeleteTreeW(HKEY_CURRENT_USER, (kC + e).c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kC + L".tva").c_str());
    Key(VK_F5);
    EXPECT_EQ(Rows(), (std::vector<std::wstring>{L".ohne|||HKEY_LOCAL_MACHINE"}));
    EXPECT_EQ(page.List().SelectedCount(), 0);
}

// The registry editor runs in its own process and writes into the real registry of the prefix:
// the write-back works below real keys and removes them at the end.
TEST_F(FileTypes, DeletesOnlyWhatIsSavedAndTheUndoFilesGiveItBackExactly) {
    AppEnvironment.UndoFileHeader = L"Windows Registry Editor Version 5.00\r\n\r\n";
    const std::wstring id = std::to_wstring(GetCurrentProcessId());
    const std::wstring b = L".tvb" + id, c = L".tvc" + id, shared = L"tvgeteilt" + id;
    // Two extensions naming one type, one of them also the user's; typed values and an empty key.
    PlantType(HKEY_LOCAL_MACHINE, b, shared, L"\"C:\\Programme\\tv\\tv.exe\" \"%1\"");
    PutSz(HKEY_LOCAL_MACHINE, kC + c, L"", shared);
    PutDword(HKEY_LOCAL_MACHINE, kC + b, L"EditFlags", 0x10010000);
    const BYTE bin[] = {0xde, 0xad, 0xbe, 0xef, 0};
    Put(HKEY_LOCAL_MACHINE, kC + b + L"\\PersistentHandler", L"Bytes", REG_BINARY, bin, sizeof bin);
    const wchar_t multi[] = L"tv.exe\0tw.exe\0";
    Put(HKEY_LOCAL_MACHINE, kC + b + L"\\OpenWithList", L"Liste", REG_MULTI_SZ, multi, sizeof multi);
    PutSz(HKEY_LOCAL_MACHINE, kC + b + L"\\OpenWithList", L"Pfad", L"%ProgramFiles%\\tv \"x\"", REG_EXPAND_SZ);
    PutKey(HKEY_LOCAL_MACHINE, kC + b + L"\\leer");
    PutSz(HKEY_LOCAL_MACHINE, kC + shared + L"\\DefaultIcon", L"", L"C:\\tv.exe,1");
    PlantType(HKEY_CURRENT_USER, b, L"tvbenutzer" + id, L"tvu.exe");

    const std::wstring beforeB = Export(kHKLM, kC + b), beforeC = Export(kHKLM, kC + c),
                       beforeShared = Export(kHKLM, kC + shared), beforeUser = Export(kHKCU, kC + b);

    PageHost host(page);
    // Answering No changes nothing and writes no file.
    SelectOnly({{b.c_str(), kHKLM}});
    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDNO});
        Key(VK_DELETE);
        ASSERT_EQ(boxes.Texts().size(), 1u);
        EXPECT_EQ(boxes.Texts()[0],
                  L"Sind Sie sicher, dass Sie die gewählte(n) Dateierweiterung(en) löschen wollen?\r\n\r\n"
                  L"Beachten Sie, dass das Programm mit dem diese Dateierweiterung verknüpft ist,\r\n"
                  L"unter umständen nicht mehr funktioniert.\r\nWenn Sie löschen, werden die Einträge gesichert.");
    }
    EXPECT_TRUE(UndoFiles().empty());
    EXPECT_GE(RowOf(b, kHKLM), 0);

    // The machine's extension goes; the type stays while the other extension names it, and the
    // user's extension of the same name stays.
    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDYES});
        page.OnMenuCommand(IDM_mnuExtraScanFileExtDel);
        EXPECT_EQ(boxes.Texts().size(), 1u);
    }
    const std::wstring first = page.LastUndoFile();
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kC + b));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kC + shared));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kC + b));
    EXPECT_EQ(RowOf(b, kHKLM), -1);
    EXPECT_GE(RowOf(b, kHKCU), 0);
    EXPECT_EQ(page.List().SelectedCount(), 0);

    // The last extension naming the type takes it along, into a file of its own.
    SelectOnly({{c.c_str(), kHKLM}});
    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDYES});
        SendMessageW(page.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_cmdFileExtsDel, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(page.hwnd(), IDC_cmdFileExtsDel)));
    }
    const std::wstring second = page.LastUndoFile();
    EXPECT_NE(first, second);
    EXPECT_EQ(UndoFiles().size(), 2u);
    EXPECT_NE(second.find(L"\\Backup\\Rückgängig_Dateierweiterung_"), std::wstring::npos) << ToUtf8(second);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kC + c));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kC + shared));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kC + b));

    // Written back by the registry editor, the keys are exactly what they were.
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    const WriteBackResult r1 = WriteBackRegFile(first), r2 = WriteBackRegFile(second);
    std::wstring afterB, afterC, afterShared;
    try {
        afterB = Export(kHKLM, kC + b);
        afterC = Export(kHKLM, kC + c);
        afterShared = Export(kHKLM, kC + shared);
    } catch (...) {
    }
    for (const std::wstring& k : {b, c, shared}) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kC + k).c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kC + k).c_str());
    }
    EXPECT_TRUE(r1.applied) << ToUtf8(r1.problem);
    EXPECT_TRUE(r2.applied) << ToUtf8(r2.problem);
    EXPECT_EQ(afterB, beforeB);
    EXPECT_EQ(afterC, beforeC);
    EXPECT_EQ(afterShared, beforeShared);
    EXPECT_NE(beforeB.find(L"\"EditFlags\"=dword:10010000"), std::wstring::npos);
    EXPECT_NE(beforeB.find(L"hex(7):"), std::wstring::npos);
    // The user's key was in neither file.
    EXPECT_EQ(ReadBytes(first).find("tvu.exe"), std::string::npos);
    (void)beforeUser;
}

TEST_F(FileTypes, AFailedDeleteKeepsItsRowAndAMissingUndoFileDeletesNothing) {
    for (const wchar_t* e : {L".tv1", L".tv2", L".tv3"}) PlantType(HKEY_CURRENT_USER, e, std::wstring(L"t") + (e + 1), L"x.exe");
    ChangeJournal::RegistryWrite() = [this](const RegChange& c) { return c.key != kC + L".tv2" && realWrite(c); };
    PageHost host(page);
    SelectOnly({{L".tv1", kHKCU}, {L".tv2", kHKCU}});
    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDYES, IDOK});
        Key(VK_DELETE);
        ASSERT_EQ(boxes.Texts().size(), 2u);
        EXPECT_NE(boxes.Texts()[1].find(L"Folgende Einträge konnten nicht gelöscht werden:\r\n.tv2 (HKEY_CURRENT_USER)"),
                  std::wstring::npos)
            << ToUtf8(boxes.Texts()[1]);
    }
    // Both were saved, in one file with one header, before the deletions were tried.
    const std::string undo = ReadBytes(page.LastUndoFile());
    EXPECT_NE(undo.find("[HKEY_CURRENT_USER\\Software\\Classes\\.tv1]"), std::string::npos) << undo;
    EXPECT_NE(undo.find("[HKEY_CURRENT_USER\\Software\\Classes\\.tv2]"), std::string::npos);
    EXPECT_NE(undo.find("[HKEY_CURRENT_USER\\Software\\Classes\\ttv1]"), std::string::npos);
    EXPECT_EQ(undo.rfind("REGEDIT4"), 0u);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kC + L".tv1"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kC + L"ttv1"));  // its type went with it
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kC + L"ttv2"));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kC + L".tv2"));
    EXPECT_GE(RowOf(L".tv2", kHKCU), 0);
    EXPECT_EQ(RowOf(L".tv1", kHKCU), -1);
    EXPECT_NE(FromAnsi(ReadBytes(clsError::LogPath())).find(L"HKEY_CURRENT_USER\\Software\\Classes\\.tv2 konnte nicht gelöscht werden"),
              std::wstring::npos);

    // Where no undo file can be made, nothing is deleted and the user is told.
    AppEnvironment.BackupDir = folder.Write(L"kein Ordner") + L"\\Backup\\";
    SelectOnly({{L".tv3", kHKCU}});
    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDYES, IDOK});
        Key(VK_CLEAR);
        ASSERT_EQ(boxes.Texts().size(), 2u);
        EXPECT_NE(boxes.Texts()[1].find(L"konnte nicht angelegt werden"), std::wstring::npos);
        EXPECT_NE(boxes.Texts()[1].find(L"Es wurde nichts gelöscht."), std::wstring::npos);
    }
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kC + L".tv3"));
    EXPECT_GE(RowOf(L".tv3", kHKCU), 0);
}
