// app/disk/frmHDDFolder.h
#pragma once
#include "core/win/Dialog.h"
#include <string>

// Asks for the folder to add to the disk cleanup's list: typed in, or chosen with the shell's
// folder picker ("Durchsuchen..."). Returns the path as the list keeps it (a full path without a
// trailing "\", a drive root keeps its "\"), or "" when cancelled.
class frmHDDFolder : public Dialog {
public:
    const wchar_t* Name() const override { return L"frmHDDFolder"; }
    const wchar_t* HelpPage() const override { return L"festplatte.html"; }
    std::wstring Ask(HWND owner);
    // The typed text as the list keeps it.
    static std::wstring ListPath(const std::wstring& typed);

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    void OnClose() override { EndDialog(hwnd(), IDCANCEL); }

private:
    std::wstring path_;
};
