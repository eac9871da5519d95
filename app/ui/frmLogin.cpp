// app/ui/frmLogin.cpp
#include "ui/frmLogin.h"
#include "core/AppEnvironment.h"
#include "ui/frmLogin.rh"

void frmLogin::Load() {
    CreateModeless(nullptr, IDD_frmLogin);
    SetText(AppEnvironment.AppTitle);
}
void frmLogin::SetMessage(const std::wstring& text) { Item(IDC_lblLogin).SetText(text); }
std::wstring frmLogin::Message() const { return Item(IDC_lblLogin).Text(); }
void frmLogin::ShowWindowNow() {
    Show();
    UpdateWindow(hwnd());
}
