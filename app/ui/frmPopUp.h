// app/ui/frmPopUp.h
#pragma once
#include "core/WindowNo.h"
#include "core/win/Form.h"
#include <windows.h>

// Empty hidden window brought to the foreground before the tray menu opens, so the menu
// closes when the user clicks elsewhere.
class frmPopUp : public Form {
public:
    static constexpr int kWindowNo = WindowNo::PopUp;
    ~frmPopUp() override { Unload(); }
    void Load() override {
        h_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    }
    void Unload() override { if (h_) { DestroyWindow(h_); h_ = nullptr; } }
    bool Loaded() const override { return h_ && IsWindow(h_); }
    HWND FormWindow() const override { return h_; }
    HWND hwnd() const { return h_; }

private:
    HWND h_ = nullptr;
};
