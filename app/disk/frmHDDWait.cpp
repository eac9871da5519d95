// app/disk/frmHDDWait.cpp
#include "disk/frmHDDWait.h"
#include "core/AppEnvironment.h"
#include "disk/frmHDD.rh"

void frmHDDWait::Open(HWND owner, const std::wstring& message) {
    if (!hwnd()) CreateModeless(owner, IDD_frmHDDWait);
    SetText(AppEnvironment.AppTitle);
    Item(IDC_lblWait).SetText(message);
    Item(IDC_lblWaitCount).SetText(L"");
    SendMessageW(Item(IDC_prgWait), PBM_SETRANGE32, 0, 1000);
    SendMessageW(Item(IDC_prgWait), PBM_SETPOS, 0, 0);
    lastPaint_ = 0;
    Show();
    UpdateWindow(hwnd());
}

void frmHDDWait::Progress(size_t done, size_t total) {
    if (!hwnd()) return;
    const unsigned long long now = GetTickCount64();
    if (done < total && now - lastPaint_ < 100) return;
    lastPaint_ = now;
    SendMessageW(Item(IDC_prgWait), PBM_SETPOS, total ? static_cast<WPARAM>(done * 1000 / total) : 0, 0);
    Item(IDC_lblWaitCount).SetText(std::to_wstring(done) + L" von " + std::to_wstring(total) + L" Einträgen");
    UpdateWindow(hwnd());
}
