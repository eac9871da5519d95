// app/scan/frmAusnahmen.cpp
#include "scan/frmAusnahmen.h"
#include "core/Service.h"
#include "core/Trap.h"
#include "core/win/MainFrame.h"
#include "scan/frmAusnahmen.rh"
#include <algorithm>
#include <vector>

namespace {
const wchar_t kModule[] = L"frmAusnahmen";
}

void frmAusnahmen::ShowForm() {
    HWND owner = AppFrame() ? AppFrame()->Window() : nullptr;
    // Closing every window while the dialog runs deletes this object: nothing is touched after it returns.
    DoModal(owner, IDD_frmAusnahmen);
}

bool frmAusnahmen::OnInit() {
    Trap(kModule, L"Form_Load", [&] { FillList(); });
    return true;
}

void frmAusnahmen::FillList() {
    exclusions_.Load();
    HWND list = Item(IDC_lstAusnahmen);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    // Long keys can be scrolled to their end.
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    int widest = 0;
    const auto& entries = exclusions_.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const int at = static_cast<int>(
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries[i].text.c_str())));
        SendMessageW(list, LB_SETITEMDATA, at, static_cast<LPARAM>(i));
        SIZE size{};
        GetTextExtentPoint32W(dc, entries[i].text.c_str(), static_cast<int>(entries[i].text.size()), &size);
        widest = std::max<int>(widest, size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    SendMessageW(list, LB_SETHORIZONTALEXTENT, widest + 8, 0);
    Item(IDC_cmdEntfernen).Enable(false);
}

void frmAusnahmen::cmdEntfernen_Click() {
    HWND list = Item(IDC_lstAusnahmen);
    const int n = static_cast<int>(SendMessageW(list, LB_GETSELCOUNT, 0, 0));
    if (n <= 0) return;
    std::vector<int> chosen(n);
    SendMessageW(list, LB_GETSELITEMS, n, reinterpret_cast<LPARAM>(chosen.data()));
    const auto entries = exclusions_.Entries();
    for (int at : chosen) {
        const size_t i = static_cast<size_t>(SendMessageW(list, LB_GETITEMDATA, at, 0));
        if (i >= entries.size()) continue;
        Trap(kModule, L"cmdEntfernen_Click", [&] { ScanExclusions::Remove(entries[i].valueName); });
        Trace(kModule, L"cmdEntfernen_Click", entries[i].text + L" wird wieder gemeldet");
    }
    Trap(kModule, L"cmdEntfernen_Click", [&] { FillList(); });
}

void frmAusnahmen::OnCommand(int id, int code, HWND control) {
    switch (id) {
    case IDC_lstAusnahmen:
        if (code == LBN_SELCHANGE)
            Item(IDC_cmdEntfernen).Enable(SendMessageW(Item(IDC_lstAusnahmen), LB_GETSELCOUNT, 0, 0) > 0);
        break;
    case IDC_cmdEntfernen: if (code == BN_CLICKED) cmdEntfernen_Click(); break;
    case IDC_cmdSchliessenAusnahmen: case IDCANCEL: EndDialog(hwnd(), 0); break;
    }
}

void frmAusnahmen::OnClose() { EndDialog(hwnd(), 0); }
