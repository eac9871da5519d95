// app/extras/frmExtraScan.cpp
#include "extras/frmExtraScan.h"
#include "assistant/clsAgent.h"
#include "core/Service.h"
#include "core/Trap.h"
#include "core/win/Menu.h"
#include "extras/AutorunPage.h"
#include "extras/DefragPage.h"
#include "extras/FileTypesPage.h"
#include "extras/HistoryPage.h"
#include "extras/frmExtraScan.rh"

static_assert(IDC_TabExtras == 1802);

namespace {
const wchar_t kModule[] = L"frmExtraScan";
constexpr UINT kActivated = WM_APP + 20;

template <class P> std::unique_ptr<ExtrasPage> Make() { return std::make_unique<P>(); }

// The pages of TabExtras, in tab order: one line per page.
std::unique_ptr<ExtrasPage> (*const kPages[])() = {
    Make<AutorunPage>,
    Make<HistoryPage>,
    Make<FileTypesPage>,
    Make<DefragPage>,
};

// Which edges each control follows when the window is resized.
constexpr Anchor kLayout[] = {
    {IDC_fraExtras, kSizeX | kSizeY},
    {IDC_TabExtras, kSizeX | kSizeY},
};
}  // namespace

bool frmExtraScan::OnInit() {
    UseLayout({kLayout});
    Trap(kModule, L"Form_Load", [&] { MenuBottomLine1 = MenuBottomLineSite::Create(hwnd(), kModule); });
    Trap(kModule, L"Form_Load", [&] {
        HWND tab = Tab();
        for (auto make : kPages) {
            std::unique_ptr<ExtrasPage> page = make();
            if (!page->CreateModeless(hwnd(), page->TemplateId())) continue;
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = const_cast<wchar_t*>(page->Caption());
            TabCtrl_InsertItem(tab, static_cast<int>(pages_.size()), &item);
            // Above the tab control, which is their background.
            SetWindowPos(page->hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            ShowWindow(page->hwnd(), pages_.empty() ? SW_SHOW : SW_HIDE);
            pages_.push_back(std::move(page));
        }
        TabCtrl_SetCurSel(tab, 0);
        LayoutPages();
    });
    Trap(kModule, L"Form_Load", [] {
        Service<clsAgent>().Speak(L"Der Extra Scan bietet weitere Bereinigungen der Windows Registrierungsdatenbank.");
    });
    return true;
}

void frmExtraScan::OnDestroy() {
    for (auto& p : pages_) p->Destroy();
    MenuBottomLine1.reset();
}

void frmExtraScan::OnLayout(int, int) { LayoutPages(); }

void frmExtraScan::LayoutPages() {
    HWND tab = Tab();
    if (!tab) return;
    RECT r{};
    GetWindowRect(tab, &r);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&r), 2);
    TabCtrl_AdjustRect(tab, FALSE, &r);
    for (auto& p : pages_) MoveWindow(p->hwnd(), r.left, r.top, std::max(0L, r.right - r.left), std::max(0L, r.bottom - r.top), TRUE);
}

void frmExtraScan::OnActivate(bool active) {
    if (active && hwnd()) PostMessageW(hwnd(), kActivated, 0, 0);
}

bool frmExtraScan::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    if (msg != kActivated) return false;
    Form_Activate();
    return true;
}

void frmExtraScan::Form_Activate() {
    // Only the window that is still the active child when the posted message arrives.
    if (!IsWindowVisible(Frame()) ||
        reinterpret_cast<HWND>(SendMessageW(GetParent(Frame()), WM_MDIGETACTIVE, 0, 0)) != Frame())
        return;
    Trace(kModule, L"Form_Activate", L"started");
    Trap(kModule, L"Form_Activate", [&] {
        Maximize();
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    });
    if (pages_.empty() || pages_[current_]->Busy()) return;
    // The visible page reads its data and sets the menus it needs.
    Trap(kModule, L"Form_Activate", [&] { Status(L"Daten werden gelesen..."); });
    Trap(kModule, L"Form_Activate", [&] { pages_[current_]->PageActivate(); });
    Trap(kModule, L"Form_Activate", [&] { Status(L"Status"); });
}

void frmExtraScan::SelectPage(int index) {
    if (index < 0 || index >= PageCount()) return;
    TabCtrl_SetCurSel(Tab(), index);
    TabExtras_Click();
}

void frmExtraScan::TabExtras_Click() {
    const int index = TabCtrl_GetCurSel(Tab());
    if (index < 0 || index >= PageCount()) return;
    // A page at work keeps the window on it.
    if (index != current_ && pages_[current_]->Busy()) {
        TabCtrl_SetCurSel(Tab(), current_);
        return;
    }
    Trace(kModule, L"TabExtras", std::wstring(pages_[index]->Caption()) + L" aktiviert");
    Trap(kModule, L"TabExtras", [&] { Status(L"Daten werden gelesen..."); });
    current_ = index;
    for (int i = 0; i < PageCount(); ++i) ShowWindow(pages_[i]->hwnd(), i == index ? SW_SHOW : SW_HIDE);
    Trap(kModule, L"TabExtras", [&] { pages_[index]->PageSelected(); });
    Trap(kModule, L"TabExtras", [&] { Status(L"Status"); });
}

LRESULT frmExtraScan::OnNotify(NMHDR* hdr) {
    if (hdr->idFrom == IDC_TabExtras && hdr->code == TCN_SELCHANGE) TabExtras_Click();
    return 0;
}

void frmExtraScan::OptionsChanged() {
    for (auto& p : pages_) p->OptionsChanged();
}

bool frmExtraScan::OnMenuCommand(int id) {
    // The visible page first, then the others (a command may belong to a page not shown).
    if (pages_.empty()) return false;
    if (pages_[current_]->OnMenuCommand(id)) return true;
    // "Registry defragmentieren" from another page shows its page: the mode is chosen there.
    if (id == IDM_mnuExtraScanRegistryDefrag)
        for (int i = 0; i < PageCount(); ++i)
            if (dynamic_cast<DefragPage*>(pages_[i].get())) {
                SelectPage(i);
                return true;
            }
    for (int i = 0; i < PageCount(); ++i)
        if (i != current_ && pages_[i]->OnMenuCommand(id)) return true;
    return false;
}

bool frmExtraScan::OnQueryClose() {
    for (auto& p : pages_)
        if (p->Busy()) return false;
    return true;
}
