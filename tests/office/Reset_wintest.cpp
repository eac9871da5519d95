// tests/office/Reset_wintest.cpp
#include "OfficeTest.h"
#include "backup/RegFileReader.h"
#include "backup/frmBackup.h"
#include "registry/clsKeyFunc.h"

namespace {
const std::wstring kUser = L"Software\\Microsoft\\Office\\16.0\\";
}

TEST_F(OfficeWindow, ResetSavesTheWholeKeyBeforeDeletingItAndTheBackupAreaListsTheFile) {
    PlantSuite(k64, L"16.0", true, {L"Word", L"Excel"});
    const std::wstring word = kUser + L"Word";
    PutSz(HKEY_CURRENT_USER, word, L"", L"Vorgabe");
    PutSz(HKEY_CURRENT_USER, word + L"\\Options", L"AutoSave", L"1");
    PutDword(HKEY_CURRENT_USER, word + L"\\Set", L"x", 7);
    PutDword(HKEY_CURRENT_USER, word + L"\\Settings\\Tief", L"y", 8);
    PutSz(HKEY_CURRENT_USER, word + L"\\Data", L"Settings", L"s");
    PutSz(HKEY_CURRENT_USER, kUser + L"Common", L"bleibt", L"1");
    const std::wstring before = ClassHandler().KeyFunc().ExportKey(kHKCU, word, false);

    frmOffice& o = Open();
    o.SelectPage(3);
    Click(o, IDC_ckbOfficeWordAllReturn);
    Click(o, IDC_ckbOfficeWordOptionen);  // "all" goes first
    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
        Click(o, IDC_cmdOfficeWordClean);
        ASSERT_EQ(boxes.Texts().size(), 1u);
    }
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, word));
    EXPECT_TRUE(KeyThere(HKEY_CURRENT_USER, kUser + L"Common"));
    const std::vector<std::wstring> files = UndoFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(StartsWith(files[0], L"Rückgängig_Office_")) << ToUtf8(files[0]);
    EXPECT_NE(o.LastMessage().find(L"Die Einstellungen von Word wurden zurückgesetzt."), std::wstring::npos);
    EXPECT_NE(o.LastMessage().find(files[0]), std::wstring::npos);
    // The file holds the key exactly as it was, sub-keys and default value included.
    const std::wstring text = UndoText(files[0]);
    EXPECT_TRUE(StartsWith(text, L"REGEDIT4\r\n"));
    EXPECT_NE(text.find(before), std::wstring::npos) << ToUtf8(text);
    const RegFile parsed = ReadRegFile(AppEnvironment.BackupDir + files[0]);
    EXPECT_TRUE(parsed.valid);
    EXPECT_EQ(parsed.badLines, 0);
    EXPECT_EQ(parsed.keys.size(), 6u);
    EXPECT_NE(Log().find(L"Word komplett löschen: 6 Einträge gelesen"), std::wstring::npos) << ToUtf8(Log());

    // The backup area offers the file for writing back.
    WindowHandler().Get<frmMDI>().Command(IDM_mnuBackupShow);
    DoEvents();
    frmBackup& backup = WindowHandler().Get<frmBackup>();
    ASSERT_EQ(backup.List().Count(), 1);
    EXPECT_EQ(backup.List().Cell(0, 0), files[0]);
}

TEST_F(OfficeWindow, OptionsResetsTakeOnlyTheirKeysAndValuesAndNothingCheckedDeletesNothing) {
    PlantSuite(k64, L"16.0", true, {L"Word", L"Excel"});
    const std::wstring excel = kUser + L"Excel", word = kUser + L"Word";
    PutSz(HKEY_CURRENT_USER, excel + L"\\Options", L"Font", L"Arial");
    PutSz(HKEY_CURRENT_USER, excel + L"\\Recent", L"Datei", L"a.xls");
    PutSz(HKEY_CURRENT_USER, word + L"\\Options", L"AutoSave", L"1");
    PutSz(HKEY_CURRENT_USER, word + L"\\Data", L"Settings", L"s");
    PutSz(HKEY_CURRENT_USER, word + L"\\Data", L"Toolbars", L"t");
    PutSz(HKEY_CURRENT_USER, word + L"\\Data", L"Andere", L"o");

    frmOffice& o = Open();
    MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
    // Neither box: a hint, nothing deleted, no file.
    WindowHandler().Get<frmMDI>().Command(IDM_mnuOfficeExcelClean);
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_NE(o.LastMessage().find(L"Bitte markieren Sie zuerst"), std::wstring::npos);
    EXPECT_TRUE(KeyThere(HKEY_CURRENT_USER, excel + L"\\Options"));
    EXPECT_TRUE(UndoFiles().empty());

    Click(o, IDC_ckbOfficeExcelOptionen);
    WindowHandler().Get<frmMDI>().Command(IDM_mnuOfficeExcelClean);  // the menu runs the button's reset
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, excel + L"\\Options"));
    EXPECT_TRUE(KeyThere(HKEY_CURRENT_USER, excel + L"\\Recent"));
    ASSERT_EQ(UndoFiles().size(), 1u);
    EXPECT_NE(UndoText(UndoFiles()[0]).find(L"\"Font\"=\"Arial\""), std::wstring::npos);
    EXPECT_EQ(UndoText(UndoFiles()[0]).find(L"a.xls"), std::wstring::npos);  // only what is deleted

    // The toolbar box alone takes only "Toolbars"; with the options box "Settings" goes too.
    Click(o, IDC_ckbOfficeWordSymbol);
    Click(o, IDC_cmdOfficeWordClean);
    EXPECT_TRUE(ValueThere(HKEY_CURRENT_USER, word + L"\\Data", L"Settings"));
    EXPECT_FALSE(ValueThere(HKEY_CURRENT_USER, word + L"\\Data", L"Toolbars"));
    EXPECT_TRUE(KeyThere(HKEY_CURRENT_USER, word + L"\\Options"));
    PutSz(HKEY_CURRENT_USER, word + L"\\Data", L"Toolbars", L"t2");
    Click(o, IDC_ckbOfficeWordOptionen);
    Click(o, IDC_cmdOfficeWordClean);
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, word + L"\\Options"));
    EXPECT_FALSE(ValueThere(HKEY_CURRENT_USER, word + L"\\Data", L"Settings"));
    EXPECT_FALSE(ValueThere(HKEY_CURRENT_USER, word + L"\\Data", L"Toolbars"));
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, word + L"\\Data", L"Andere"), L"o");
    // Three resets that deleted something, three files (within one second as well).
    const std::vector<std::wstring> files = UndoFiles();
    ASSERT_EQ(files.size(), 3u);
    bool savedBoth = false;
    for (const std::wstring& f : files) {
        const std::wstring t = UndoText(f);
        savedBoth |= t.find(L"\"AutoSave\"=\"1\"") != std::wstring::npos && t.find(L"\"Toolbars\"=\"t2\"") != std::wstring::npos &&
                     t.find(L"\"Settings\"=\"s\"") != std::wstring::npos;
    }
    EXPECT_TRUE(savedBoth);

    // Nothing stored for the application: said so, no file.
    Click(o, IDC_ckbOfficeExcelAllReturn);
    RegDeleteTreeW(HKEY_CURRENT_USER, excel.c_str());
    Click(o, IDC_cmdOfficeExcelClean);
    EXPECT_NE(o.LastMessage().find(L"Für Excel sind keine solchen Einstellungen gespeichert"), std::wstring::npos);
    EXPECT_EQ(UndoFiles().size(), 3u);
}

TEST_F(OfficeWindow, ResetThatCannotSaveDeletesNothingAndARefusedDeleteIsReported) {
    PlantSuite(k64, L"16.0", true, {L"PowerPoint", L"Word"});
    const std::wstring ppt = kUser + L"PowerPoint", word = kUser + L"Word";
    PutSz(HKEY_CURRENT_USER, ppt + L"\\Options", L"a", L"1");
    PutSz(HKEY_CURRENT_USER, word + L"\\Options", L"b", L"2");
    PutSz(HKEY_CURRENT_USER, word + L"\\Data", L"Settings", L"s");

    frmOffice& o = Open();
    MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
    // The backup folder cannot be made: a file has its name.
    const std::wstring backup = AppEnvironment.BackupDir;
    folder.Write(L"Kein Ordner");
    AppEnvironment.BackupDir = folder.Path() + L"Kein Ordner\\";
    Click(o, IDC_ckbOfficePowerPointAllReturn);
    Click(o, IDC_cmdOfficePowerPointClean);
    EXPECT_NE(o.LastMessage().find(L"Es wurde nichts gelöscht."), std::wstring::npos) << ToUtf8(o.LastMessage());
    EXPECT_TRUE(KeyThere(HKEY_CURRENT_USER, ppt + L"\\Options"));

    // A value that may not be deleted: the rest goes, the user learns what stayed.
    AppEnvironment.BackupDir = backup;
    ReadOnly(HKEY_CURRENT_USER, word + L"\\Data");
    Click(o, IDC_ckbOfficeWordOptionen);
    Click(o, IDC_cmdOfficeWordClean);
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, word + L"\\Options"));
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, word + L"\\Data", L"Settings"), L"s");
    EXPECT_NE(o.LastMessage().find(L"Nicht alles konnte gelöscht werden"), std::wstring::npos) << ToUtf8(o.LastMessage());
    EXPECT_NE(o.LastMessage().find(L"HKEY_CURRENT_USER\\" + word + L"\\Data \"Settings\""), std::wstring::npos);
    ASSERT_EQ(UndoFiles().size(), 1u);
    EXPECT_NE(o.LastMessage().find(UndoFiles()[0]), std::wstring::npos);
    EXPECT_EQ(boxes.Texts().size(), 2u);
    EXPECT_NE(Log().find(L"Nicht alles konnte gelöscht werden"), std::wstring::npos);
}

// Outlook's mail profiles hold the user's accounts: "Alles zurück setzen" takes them only after a
// question of their own that names them.
TEST_F(OfficeWindow, OutlookProfilesGoOnlyWhenTheUserSaysSo) {
    PlantSuite(k64, L"16.0", true, {L"Outlook"});
    const std::wstring outlook = kUser + L"Outlook";
    PutSz(HKEY_CURRENT_USER, outlook, L"Wert", L"x");
    PutSz(HKEY_CURRENT_USER, outlook + L"\\Options\\Mail", L"Font", L"Arial");
    PutSz(HKEY_CURRENT_USER, outlook + L"\\Profiles\\Privat\\9375CFF0413111d3B88A00104B2A6676", L"Konto", L"ich@example.org");
    frmOffice& o = Open();
    o.SelectPage(4);
    Click(o, IDC_ckbOfficeOutlookAllReturn);
    std::vector<std::wstring> texts;
    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDNO, IDOK});
        Click(o, IDC_cmdOfficeOutlookClean);
        texts = boxes.Texts();
    }
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find(L"Privat"), std::wstring::npos) << ToUtf8(texts[0]);
    EXPECT_NE(texts[0].find(L"HKEY_CURRENT_USER\\" + outlook + L"\\Profiles"), std::wstring::npos);
    EXPECT_TRUE(KeyThere(HKEY_CURRENT_USER, outlook + L"\\Profiles\\Privat\\9375CFF0413111d3B88A00104B2A6676"));
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, outlook + L"\\Options"));
    EXPECT_FALSE(ValueThere(HKEY_CURRENT_USER, outlook, L"Wert"));
    EXPECT_NE(Log().find(L"Outlook-Profile bleiben erhalten"), std::wstring::npos);

    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDYES, IDOK});
        Click(o, IDC_cmdOfficeOutlookClean);
        EXPECT_EQ(boxes.Texts().size(), 2u);
    }
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, outlook));
    // Both runs are in the backup folder, the profiles in the second.
    const std::vector<std::wstring> files = UndoFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_NE((UndoText(files[0]) + UndoText(files[1])).find(L"ich@example.org"), std::wstring::npos);
}
