// app/ui/frmLogin.h
#pragma once
#include "core/win/Dialog.h"
#include "core/WindowNo.h"
#include "core/win/Form.h"
#include <string>

// Small wait window: a caller sets its message, shows it, works, and closes it (window 9).
class frmLogin : public Dialog, public Form {
public:
    static constexpr int kWindowNo = WindowNo::Login;
    const wchar_t* Name() const override { return L"frmLogin"; }
    const wchar_t* HelpPage() const override { return L"festplatte.html"; }
    void Load() override;
    void Unload() override { Destroy(); }
    bool Loaded() const override { return hwnd() && IsWindow(hwnd()); }
    HWND FormWindow() const override { return hwnd(); }

    void SetMessage(const std::wstring& text);   // caption of lblLogin
    std::wstring Message() const;
    void ShowWindowNow();                        // shows modeless and paints at once
};
