// tests/office/Detection_wintest.cpp
#include "OfficeTest.h"
#include "core/win/Menu.h"

TEST_F(OfficeWindow, NewestInstalledSuiteWinsAcrossBothViewsAndOpeningWritesNothing) {
    // 16.0 left its keys behind without its folder; 15.0 is a 32-bit suite; 14.0 an older 64-bit one.
    PlantSuite(k64, L"16.0", false, {L"Word", L"Excel", L"Access", L"PowerPoint", L"Outlook"});
    PlantSuite(k32, L"15.0", true, {L"Word", L"Excel", L"Outlook"});
    PlantSuite(k64, L"14.0", true, {L"Access"});
    PutSz(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\15.0\\Outlook\\Security", L"Level1Remove", L"exe;;JS; .xyz;");
    PutDword(HKEY_CURRENT_USER, L"Software\\Microsoft\\Shared Tools\\Outlook\\Journaling\\Microsoft Word", L"Enabled", 1);

    frmOffice& o = Open();
    ASSERT_TRUE(o.Loaded());
    EXPECT_EQ(Wnd(o.Frame()).Text(), L"Microsoft Office");
    EXPECT_TRUE(IsZoomed(o.Frame()));
    EXPECT_EQ(o.OfficeVersion(), L"15.0");
    EXPECT_EQ(o.Office().machineBase, k32);
    EXPECT_EQ(o.Item(IDC_Frame1).Text(), L"Microsoft Office 2013 ist installiert");
    EXPECT_FALSE(o.Item(IDC_lblOfficeNone).Visible());
    EXPECT_EQ(WindowHandler().Get<frmMDI>().Status().Panel(1), L"Status");

    // Applications of the 15.0 suite only; Access of 14.0 does not count.
    EXPECT_TRUE(o.Item(IDC_cmdOfficeWordClean).Enabled());
    EXPECT_TRUE(o.Item(IDC_cmdOfficeWordRegistrieren).Enabled());
    EXPECT_TRUE(o.Item(IDC_cmdOfficeExcelRegistrieren).Enabled());
    EXPECT_TRUE(o.Item(IDC_cmdOfficeOutlookClean).Enabled());
    EXPECT_FALSE(o.Item(IDC_cmdOfficeAccessClean).Enabled());
    EXPECT_FALSE(o.Item(IDC_ckbOfficeAccessAllReturn).Enabled());
    EXPECT_FALSE(o.Item(IDC_cmdOfficePowerPointClean).Enabled());
    EXPECT_FALSE(o.Item(IDC_cmdOfficeBinderClean).Enabled());
    EXPECT_TRUE(o.Item(IDC_ckbOfficeOutlookJournalWord).Enabled());
    EXPECT_FALSE(o.Item(IDC_ckbOfficeOutlookJournalAccess).Enabled());
    EXPECT_TRUE(o.ClosedList().Enabled());
    HMENU bar = WindowHandler().Get<frmMDI>().MenuBar();
    EXPECT_TRUE(MenuItem::Enabled(bar, IDM_mnuOfficeWordClean));
    EXPECT_FALSE(MenuItem::Enabled(bar, IDM_mnuOfficeAccessClean));
    EXPECT_FALSE(MenuItem::Enabled(bar, IDM_mnuOfficePowerPointClean));
    HMENU officeMenu = WindowHandler().Get<frmMDI>().WindowEditMenu(WindowNo::Office);
    ASSERT_NE(officeMenu, nullptr);
    EXPECT_TRUE(MenuItem::PopupEnabled(officeMenu, 0));

    // The boxes show the stored settings: a missing "Enabled" means the journal is off.
    EXPECT_FALSE(Checked(o, IDC_ckbOfficeOutlookJournalWord));
    EXPECT_TRUE(Checked(o, IDC_ckbOfficeOutlookJournalExcel));
    EXPECT_FALSE(Checked(o, IDC_ckbOfficeOutlookExchange));

    // Whole items, any letter case; empty items change nothing; unknown items are shown as released.
    EXPECT_EQ(Column(o.PermitsList()), (std::vector<std::wstring>{L".exe", L".JS", L".xyz"}));
    EXPECT_EQ(o.ClosedList().Count(), 41);
    EXPECT_EQ(RowOf(o.ClosedList(), L".exe"), -1);
    EXPECT_EQ(RowOf(o.ClosedList(), L".js"), -1);
    EXPECT_GE(RowOf(o.ClosedList(), L".jse"), 0);
    EXPECT_EQ(o.ClosedList().Cell(0, 0), L".ade");
    EXPECT_EQ(o.ClosedList().Cell(0, 1), L"Microsoft Access Projekt");

    // Opening and looking at every page changed nothing in the registry and wrote no undo file.
    for (int page = 0; page < 7; ++page) {
        o.SelectPage(page);
        for (int p = 0; p < 7; ++p)
            for (int id : o.PageControls(p)) EXPECT_EQ(o.Item(id).Visible(), p == page) << page << " " << id;
    }
    EXPECT_FALSE(ValueThere(HKEY_CURRENT_USER, L"Software\\Microsoft\\Shared Tools\\Outlook\\Journaling\\Microsoft Excel",
                            L"Enabled"));
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\15.0\\Outlook\\Security", L"Level1Remove"),
              L"exe;;JS; .xyz;");
    EXPECT_TRUE(UndoFiles().empty());
    EXPECT_NE(Log().find(L"Word ist installiert"), std::wstring::npos);
    EXPECT_NE(Log().find(L"Access ist nicht installiert"), std::wstring::npos);
    EXPECT_NE(Log().find(L"Excel-Journal=1"), std::wstring::npos);

    // A click-to-run 16.0 names no folder: it is no stale key and wins at the next look.
    const std::wstring c2r = L"Software\\Microsoft\\Office\\ClickToRun\\REGISTRY\\MACHINE\\Software\\Microsoft\\Office\\";
    PutKey(HKEY_LOCAL_MACHINE, c2r + L"16.0\\Common\\InstallRoot");
    PutKey(HKEY_LOCAL_MACHINE, c2r + L"16.0\\PowerPoint");
    o.SelectPage(2);
    EXPECT_EQ(o.OfficeVersion(), L"16.0");
    EXPECT_EQ(o.Office().machineBase, c2r);
    EXPECT_EQ(o.Item(IDC_Frame1).Text(), L"Microsoft Office 2016 oder neuer ist installiert");
    EXPECT_TRUE(o.Item(IDC_cmdOfficePowerPointClean).Enabled());
    EXPECT_TRUE(MenuItem::Enabled(bar, IDM_mnuOfficePowerPointClean));
}

TEST_F(OfficeWindow, WithoutSuiteTheWindowSaysSoAndOffersNothing) {
    frmOffice& o = Open();
    ASSERT_TRUE(o.Loaded());
    EXPECT_EQ(o.OfficeVersion(), L"0");
    EXPECT_EQ(o.Item(IDC_Frame1).Text(), L"kein oder unbekannte Microsoft Office Version gefunden");
    EXPECT_TRUE(o.Item(IDC_lblOfficeNone).Visible());
    EXPECT_NE(o.Item(IDC_lblOfficeNone).Text().find(L"kein bekanntes Microsoft Office gefunden"), std::wstring::npos);
    for (int id : {IDC_cmdOfficeAccessClean, IDC_cmdOfficeBinderClean, IDC_cmdOfficeExcelClean, IDC_cmdOfficeOutlookClean,
                   IDC_cmdOfficePowerPointClean, IDC_cmdOfficeWordClean, IDC_cmdOfficeWordRegistrieren,
                   IDC_cmdOfficeExcelRegistrieren, IDC_ckbOfficeOutlookJournalAll, IDC_ckbOfficeOutlookExchange})
        EXPECT_FALSE(o.Item(id).Enabled()) << id;
    HMENU bar = WindowHandler().Get<frmMDI>().MenuBar();
    EXPECT_FALSE(MenuItem::Enabled(bar, IDM_mnuOfficeWordRegister));
    // The menu's commands do what the disabled buttons would: nothing, and no message.
    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
        WindowHandler().Get<frmMDI>().Command(IDM_mnuOfficeWordRegister);
        WindowHandler().Get<frmMDI>().Command(IDM_mnuOfficeWordClean);
        PumpPending();
        EXPECT_TRUE(boxes.Texts().empty());
    }
    EXPECT_TRUE(UndoFiles().empty());

    // A suite before Outlook XP: the attachment lists stay off, the journal boxes work.
    PlantSuite(k64, L"9.0", true, {L"Outlook", L"Word"});
    o.SelectPage(5);
    EXPECT_EQ(o.Item(IDC_Frame1).Text(), L"Microsoft Office 2000 ist installiert");
    EXPECT_FALSE(o.Item(IDC_lblOfficeNone).Visible());
    EXPECT_FALSE(o.ClosedList().Enabled());
    EXPECT_FALSE(o.Item(IDC_cmdOfficeOutlookToPermits).Enabled());
    EXPECT_FALSE(o.Item(IDC_ckbOfficeOutlookSysTray).Enabled());
    EXPECT_TRUE(o.Item(IDC_ckbOfficeOutlookJournalWord).Enabled());
    EXPECT_FALSE(MenuItem::PopupEnabled(WindowHandler().Get<frmMDI>().WindowEditMenu(WindowNo::Office), 0));
    // A menu item disabled before is enabled again once its application is found.
    EXPECT_TRUE(MenuItem::Enabled(bar, IDM_mnuOfficeWordRegister));
    Click(o, IDC_ckbOfficeOutlookJournalWord);  // it was checked (value missing): off now
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"Software\\Microsoft\\Shared Tools\\Outlook\\Journaling\\Microsoft Word", L"Enabled"),
              1u);
}
