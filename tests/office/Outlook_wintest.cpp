// tests/office/Outlook_wintest.cpp
#include "OfficeTest.h"
#include "core/win/Menu.h"

namespace {
const std::wstring kSecurity = L"Software\\Microsoft\\Office\\11.0\\Outlook\\Security";
const std::wstring kJournalWord = L"Software\\Microsoft\\Shared Tools\\Outlook\\Journaling\\Microsoft Word";
const std::wstring kPolicies = L"Software\\Policies";
}

TEST_F(OfficeWindow, MovesReleaseWholeExtensionsAndStoreWhatTheListsShow) {
    PlantSuite(k64, L"11.0", true, {L"Outlook"});
    PutSz(HKEY_CURRENT_USER, kSecurity, L"Level1Remove", L"js");
    frmOffice& o = Open();
    o.SelectPage(5);
    ListView closed = o.ClosedList(), permits = o.PermitsList();
    EXPECT_EQ(Column(permits), (std::vector<std::wstring>{L".js"}));
    EXPECT_GE(RowOf(closed, L".jse"), 0);  // "js" is not "jse"

    SelectOnly(closed, {L".exe", L".bat"});
    Click(o, IDC_cmdOfficeOutlookToPermits);
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, kSecurity, L"Level1Remove"), L"js;bat;exe");
    EXPECT_EQ(Column(permits), (std::vector<std::wstring>{L".js", L".bat", L".exe"}));
    EXPECT_EQ(closed.Count(), 40);
    // The value as it was is in the undo file first.
    ASSERT_EQ(UndoFiles().size(), 1u);
    EXPECT_NE(UndoText(UndoFiles()[0]).find(L"\"Level1Remove\"=\"js\""), std::wstring::npos);
    EXPECT_NE(Log().find(L".exe: wird freigegeben"), std::wstring::npos);

    // Blocking ".js" again leaves ".jse" where it is.
    SelectOnly(permits, {L".js"});
    SendMessageW(permits, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, kSecurity, L"Level1Remove"), L"bat;exe");
    EXPECT_GE(RowOf(closed, L".js"), 0);
    EXPECT_GE(RowOf(closed, L".jse"), 0);
    EXPECT_EQ(closed.Count(), 41);

    // ">>" stores what it shows, also after F5 and a new activation.
    WindowHandler().Get<frmMDI>().Command(IDM_mnuOfficeOutlookSecurityPermitsAll);
    EXPECT_EQ(closed.Count(), 0);
    EXPECT_EQ(permits.Count(), 43);
    const std::wstring all = Sz(HKEY_CURRENT_USER, kSecurity, L"Level1Remove");
    EXPECT_TRUE(StartsWith(all, L"bat;exe;ade;adp;")) << ToUtf8(all);
    SendMessageW(permits, WM_KEYDOWN, VK_F5, 0);
    EXPECT_EQ(permits.Count(), 43);

    // "<<" blocks everything; the header sorts and flips.
    Click(o, IDC_cmdOfficeOutlookClosedAll);
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, kSecurity, L"Level1Remove"), L"");
    EXPECT_EQ(closed.Count(), 43);
    EXPECT_EQ(permits.Count(), 0);
    SendMessageW(closed, WM_KEYDOWN, VK_F6, 0);
    EXPECT_EQ(closed.Cell(0, 0), L".ade");
    SendMessageW(closed, WM_KEYDOWN, VK_F6, 0);
    EXPECT_EQ(closed.Cell(0, 0), L".wsh");
    EXPECT_EQ(UndoFiles().size(), 4u);

    // A move with nothing selected writes nothing.
    for (int i = 0; i < closed.Count(); ++i) closed.Select(i, false);
    Click(o, IDC_cmdOfficeOutlookToPermits);
    EXPECT_EQ(UndoFiles().size(), 4u);

    // The right button: the blocked list's two items, the first one chosen with the keyboard.
    SelectOnly(closed, {L".cmd", L".com"});
    HANDLE chooser = CreateThread(nullptr, 0, [](void*) -> DWORD {
        for (int i = 0; i < 500; ++i) {
            if (HWND menu = FindWindowW(L"#32768", nullptr); menu && IsWindowVisible(menu)) {
                PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
                PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
                return 0;
            }
            Sleep(20);
        }
        return 1;
    }, nullptr, 0, nullptr);
    o.lvwOfficeOutlook_MouseUp(true);
    WaitForSingleObject(chooser, 15000);
    CloseHandle(chooser);
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, kSecurity, L"Level1Remove"), L"com;cmd");  // in the order the list shows
    HMENU bar = WindowHandler().Get<frmMDI>().MenuBar();
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuOfficeOutlookSecurityPermits), L"markierte Einträge &freigeben");
    // The menu bar keeps all five items.
    HMENU security = GetSubMenu(WindowHandler().Get<frmMDI>().WindowEditMenu(WindowNo::Office), 0);
    EXPECT_EQ(GetMenuItemCount(security), 5);
}

TEST_F(OfficeWindow, SettingBoxesWriteAfterSavingAndARefusedPolicyWriteSnapsBack) {
    PlantSuite(k64, L"11.0", true, {L"Outlook", L"Word", L"Excel"});
    PutDword(HKEY_CURRENT_USER, kJournalWord, L"Enabled", 1);
    PutSz(HKEY_CURRENT_USER, kJournalWord, L"Andere", L"bleibt");
    // Policies may not be created below this key, as for a user without administrator rights.
    PutKey(HKEY_CURRENT_USER, kPolicies, REG_OPTION_VOLATILE);
    PutKey(HKEY_CURRENT_USER, kPolicies + L"\\Microsoft", REG_OPTION_VOLATILE);
    PutKey(HKEY_CURRENT_USER, kPolicies + L"\\Microsoft\\Office", REG_OPTION_VOLATILE);
    PutKey(HKEY_CURRENT_USER, kPolicies + L"\\Microsoft\\Office\\11.0", REG_OPTION_VOLATILE);
    PutKey(HKEY_CURRENT_USER, kPolicies + L"\\Microsoft\\Office\\11.0\\Outlook", REG_OPTION_VOLATILE);
    PutKey(HKEY_CURRENT_USER, kPolicies + L"\\Microsoft\\Office\\11.0\\Outlook\\Security", REG_OPTION_VOLATILE);
    RegSetKeyValueW(HKEY_CURRENT_USER, (kPolicies + L"\\Microsoft\\Office\\11.0\\Outlook\\Security").c_str(),
                    L"Level1Remove", REG_SZ, L"exe", 8);

    frmOffice& o = Open();
    o.SelectPage(5);
    // The policy is shown: it overrides what the lists store.
    EXPECT_NE(o.Item(IDC_lblOfficeOutlookPolicy).Text().find(L"Eine Richtlinie gibt die Freigaben vor, diese Auswahl gilt nicht: exe"),
              std::wstring::npos);

    MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
    EXPECT_FALSE(Checked(o, IDC_ckbOfficeOutlookJournalWord));
    Click(o, IDC_ckbOfficeOutlookJournalWord);
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, kJournalWord, L"Enabled"), 0u);
    ASSERT_EQ(UndoFiles().size(), 1u);
    const std::wstring saved = UndoText(UndoFiles()[0]);
    EXPECT_NE(saved.find(L"\"Enabled\"=dword:00000001"), std::wstring::npos) << ToUtf8(saved);
    EXPECT_EQ(saved.find(L"Andere"), std::wstring::npos) << "only the value that changes is saved";

    // "Alle Journale": every enabled box, in one undo file; PowerPoint is not installed.
    Click(o, IDC_ckbOfficeOutlookJournalAll);
    EXPECT_TRUE(Checked(o, IDC_ckbOfficeOutlookJournalExcel));
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"Software\\Microsoft\\Shared Tools\\Outlook\\Journaling\\Microsoft Excel", L"Enabled"), 0u);
    EXPECT_FALSE(ValueThere(HKEY_CURRENT_USER, L"Software\\Microsoft\\Shared Tools\\Outlook\\Journaling\\Microsoft PowerPoint",
                            L"Enabled"));
    Click(o, IDC_ckbOfficeOutlookJournalAll);
    EXPECT_FALSE(Checked(o, IDC_ckbOfficeOutlookJournalWord));
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, kJournalWord, L"Enabled"), 1u);
    EXPECT_TRUE(boxes.Texts().empty());

    // The Exchange box: the write is refused, the user is told, the box shows the stored state.
    Click(o, IDC_ckbOfficeOutlookExchange);
    ASSERT_TRUE(WaitFor([&] { return boxes.Texts().size() == 1; }));
    EXPECT_NE(o.LastMessage().find(L"konnte nicht gespeichert werden"), std::wstring::npos) << ToUtf8(o.LastMessage());
    EXPECT_NE(o.LastMessage().find(L"Software\\Policies\\Microsoft\\Security"), std::wstring::npos);
    EXPECT_FALSE(Checked(o, IDC_ckbOfficeOutlookExchange));
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, L"Software\\Policies\\Microsoft\\Security"));

    // The tray box of the Outlook page.
    o.SelectPage(4);
    Click(o, IDC_ckbOfficeOutlookSysTray);
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"Software\\Microsoft\\Office\\11.0\\Outlook\\Preferences", L"MinToTray"), 1u);
}
