// tests/main/MdiChild_wintest.cpp
#include "core/AppEnvironment.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "core/win/MainFrame.h"
#include "core/win/MdiChild.h"
#include "core/win/Menu.h"
#include "errors/clsError.h"
#include "main/WindowHandler.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include "programs/frmInstalledPrograms.rh"
#include "scan/frmRegScan.h"
#include "support/Sandbox.h"
#include "support/ListNotify.h"
#include "support/Wait.h"
#include <gtest/gtest.h>
#include <vector>

namespace {
// A child that runs one command and counts what it hears of its activation.
class ProbeChild : public MdiChildForm {
public:
    explicit ProbeChild(int claims) : claims_(claims) {}
    const wchar_t* Name() const override { return L"ProbeChild"; }
    bool OnMenuCommand(int id) override {
        if (id != claims_) return false;
        ++ran;
        return true;
    }
    bool Create(HWND client) { return CreateChild(client, IDD_frmInstalledPrograms, L"Probe"); }
    int ran = 0, activations = 0, deactivations = 0;

protected:
    void OnActivate(bool active) override { ++(active ? activations : deactivations); }

private:
    int claims_;
};

// A child with a list of records that notes what the base hands on from it.
class RecordsChild : public MdiChildForm {
public:
    const wchar_t* Name() const override { return L"RecordsChild"; }
    bool Create(HWND client) { return CreateChild(client, IDD_frmInstalledPrograms, L"Records"); }
    ListView List() const { return ListView(Item(IDC_lvwDeinstall)); }
    std::vector<std::wstring> Column() const {
        std::vector<std::wstring> out;
        for (int i = 0; i < List().Count(); ++i) out.push_back(List().Cell(i, 0));
        return out;
    }
    std::vector<WORD> keys;
    std::vector<int> doubleClicks;
    std::vector<bool> clicks;

protected:
    bool OnInit() override {
        List().AddColumns({{L"Name", 100}});
        for (const wchar_t* name : {L"b", L"a", L"c"}) List().AddRow({name});
        UseRecordList(List());
        return true;
    }
    void OnListKey(WORD key) override { keys.push_back(key); }
    void OnListDoubleClick(int row) override { doubleClicks.push_back(row); }
    void OnListClick(bool rightButton) override { clicks.push_back(rightButton); }
};

constexpr int kProbeCommand = 4242;  // no window of the program runs this one

class ChildWindows : public ::testing::Test {
protected:
    void SetUp() override { PrepareEnvironment(folder.Path()); }
    void TearDown() override { WindowHandler().CloseWindow(WindowNo::All); }
    frmMDI& Frame() { return WindowHandler().Get<frmMDI>(); }
    static HWND Active(frmMDI& f) {
        return reinterpret_cast<HWND>(SendMessageW(f.MdiClient(), WM_MDIGETACTIVE, 0, 0));
    }
    RegistrySandbox sandbox;
    TempFolder folder;
    KeepProcessOnFrameExit frameExit;
};
}  // namespace

TEST_F(ChildWindows, TheFrameIsInstalledWhileItIsLoaded) {
    frmMDI& f = Frame();
    ASSERT_EQ(AppFrame(), static_cast<MainFrame*>(&f));
    EXPECT_EQ(AppFrame()->Window(), f.hwnd());
    EXPECT_EQ(AppFrame()->MdiClient(), f.MdiClient());
    AppFrame()->SetStatus(1, L"Probe");
    EXPECT_EQ(f.Status().Panel(1), L"Probe");
    WindowHandler().CloseWindow(WindowNo::All);
    EXPECT_EQ(AppFrame(), nullptr);
}

TEST_F(ChildWindows, AChildCreatedAndShownAtOnceHearsItsActivationOnce) {
    frmMDI& f = Frame();
    ProbeChild probe(kProbeCommand);
    ASSERT_TRUE(probe.Create(f.MdiClient()));
    // Created hidden: the client may have made it the active child already, but it has not been shown.
    EXPECT_FALSE(IsWindowVisible(probe.Frame()));
    EXPECT_EQ(probe.activations, 0);
    probe.ShowChild();
    EXPECT_EQ(Active(f), probe.Frame());
    EXPECT_EQ(probe.activations, 1);
    // Showing it again changes nothing.
    probe.ShowChild();
    EXPECT_EQ(probe.activations, 1);

    // Another child takes the activation and gives it back.
    ProbeChild other(kProbeCommand);
    ASSERT_TRUE(other.Create(f.MdiClient()));
    other.ShowChild();
    EXPECT_EQ(other.activations, 1);
    EXPECT_EQ(probe.deactivations, 1);
    probe.ShowChild();
    EXPECT_EQ(probe.activations, 2);
    EXPECT_EQ(other.deactivations, 1);
}

TEST_F(ChildWindows, ACommandGoesToTheActiveChildFirst) {
    frmMDI& f = Frame();
    ProbeChild first(kProbeCommand), second(kProbeCommand), bystander(kProbeCommand + 1);
    for (ProbeChild* c : {&first, &second, &bystander}) ASSERT_TRUE(c->Create(f.MdiClient()));
    std::vector<MdiChildForm*> children{&first, &second, &bystander};

    second.ShowChild();
    EXPECT_TRUE(OfferCommand(children, Active(f), kProbeCommand));
    EXPECT_EQ(second.ran, 1);
    EXPECT_EQ(first.ran, 0);

    first.ShowChild();
    EXPECT_TRUE(OfferCommand(children, Active(f), kProbeCommand));
    EXPECT_EQ(first.ran, 1);
    EXPECT_EQ(second.ran, 1);

    // The active child does not run it: the others are asked in their order.
    bystander.ShowChild();
    EXPECT_TRUE(OfferCommand(children, Active(f), kProbeCommand));
    EXPECT_EQ(first.ran, 2);
    EXPECT_EQ(second.ran, 1);
    EXPECT_EQ(bystander.ran, 0);

    // Nobody runs it.
    EXPECT_FALSE(OfferCommand(children, Active(f), kProbeCommand + 2));
    EXPECT_FALSE(OfferCommand(children, nullptr, kProbeCommand + 2));
}

TEST_F(ChildWindows, ACommandNobodyRunsIsLogged) {
    AppSwitches.Protokoll = 1;
    frmMDI& f = Frame();
    // Through the menu's way in: an id outside the main window's own range is not dropped.
    SendMessageW(f.hwnd(), WM_COMMAND, MAKEWPARAM(kProbeCommand, 0), 0);
    const std::wstring log = FromAnsi(ReadBytes(clsError::LogPath()));
    EXPECT_NE(log.find(L"Befehl 4242 ohne Empfänger"), std::wstring::npos) << ToUtf8(log);
    // A command a window runs is not.
    f.Command(IDM_mnuRegScanShow);
    f.Command(IDM_mnuRegScanSave);
    const std::wstring after = FromAnsi(ReadBytes(clsError::LogPath()));
    EXPECT_EQ(after.find(L"Befehl " + std::to_wstring(IDM_mnuRegScanSave)), std::wstring::npos);
}

TEST_F(ChildWindows, AWindowsSubMenuIsFoundByOneOfItsCommands) {
    frmMDI& f = Frame();
    f.Show();
    // The frame's first activation shows the scan window maximised: its system menu now stands in
    // front of the menu bar's own menus.
    ASSERT_TRUE(WaitFor([] {
        return WindowHandler().IsLoaded(WindowNo::RegScan) && IsZoomed(WindowHandler().Get<frmRegScan>().Frame());
    }));
    HMENU office = f.WindowEditMenu(WindowNo::Office);
    ASSERT_NE(office, nullptr);
    // Any of its commands finds it, one in its own sub-menu ("Outlook Security") too.
    EXPECT_EQ(f.EditMenu(IDM_mnuOfficeWordRegister), office);
    EXPECT_EQ(f.EditMenu(IDM_mnuOfficeOutlookSecurityClosedAll), office);
    EXPECT_EQ(MenuItem::Caption(office, IDM_mnuOfficeAccessClean), L"&Access bereinigen");
    EXPECT_NE(f.EditMenu(IDM_mnuRegScanStart), office);
    EXPECT_EQ(GetMenuItemID(f.EditMenu(IDM_mnuRegScanSave), 0), static_cast<UINT>(IDM_mnuRegScanStart));
    // Commands outside "Bearbeiten" have no sub-menu there.
    EXPECT_EQ(f.EditMenu(IDM_mnuHelp), nullptr);
    EXPECT_EQ(f.EditMenu(kProbeCommand), nullptr);

    // Enabling by a command touches that sub-menu only.
    f.EnableEditMenu(IDM_mnuHDDClean, true);
    HMENU edit = GetSubMenu(f.MenuBar(), 2);  // behind the maximised child's system menu
    ASSERT_EQ(GetSubMenu(edit, 0), f.EditMenu(IDM_mnuRegScanStart));
    EXPECT_TRUE(MenuItem::PopupEnabled(edit, 3));
    EXPECT_FALSE(MenuItem::PopupEnabled(edit, 1));
}

TEST_F(ChildWindows, TheBaseSortsTheRecordListAndHandsOnItsKeysAndClicks) {
    frmMDI& f = Frame();
    RecordsChild w;
    ASSERT_TRUE(w.Create(f.MdiClient()));
    w.ShowChild();
    HWND list = w.List();

    // Each header click flips the direction; a click on another control's header is not the list's.
    ClickListHeader(list, 0);
    EXPECT_EQ(w.Column(), (std::vector<std::wstring>{L"c", L"b", L"a"}));
    ClickListHeader(list, 0);
    EXPECT_EQ(w.Column(), (std::vector<std::wstring>{L"a", L"b", L"c"}));
    ClickListHeader(w.Item(IDC_cmdDeinstall), 0);
    EXPECT_EQ(w.Column(), (std::vector<std::wstring>{L"a", L"b", L"c"}));

    NMITEMACTIVATE hit{};
    hit.hdr.code = NM_DBLCLK;
    hit.iItem = 1;
    SendListNotify(list, hit.hdr);
    hit.iItem = -1;
    SendListNotify(list, hit.hdr);
    EXPECT_EQ(w.doubleClicks, (std::vector<int>{1, -1}));
    SendListNotify(list, NM_CLICK);
    SendListNotify(list, NM_RCLICK);
    EXPECT_EQ(w.clicks, (std::vector<bool>{false, true}));

    // Enter is a key, heard once however it comes: pressed in the list itself (which follows its
    // key with NM_RETURN), or through the dialog's message routing, which makes it the default
    // command; with the focus on a button it stays the dialog's command.
    w.List().Select(0);
    SendMessageW(list, WM_KEYDOWN, VK_F5, 0);
    SendMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(w.keys, (std::vector<WORD>{VK_F5, VK_RETURN}));
    w.keys.clear();
    SetFocus(list);
    ASSERT_EQ(GetFocus(), list);
    PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
    DoEvents();
    EXPECT_EQ(w.keys, std::vector<WORD>{VK_RETURN});
    SetFocus(w.Item(IDC_cmdDeinstall));
    SendMessageW(w.hwnd(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(w.keys, std::vector<WORD>{VK_RETURN});
    EXPECT_TRUE(w.doubleClicks.size() == 2 && w.clicks.size() == 2);
}
