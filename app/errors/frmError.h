// app/errors/frmError.h
#pragma once
#include "core/win/Dialog.h"
#include "core/Trap.h"
#include "core/WindowNo.h"
#include "core/win/Form.h"
#include <string>

// The error dialog: shows one error modally; for a critical error its button ends the program.
class frmError : public Dialog, public Form {
public:
    static constexpr int kWindowNo = WindowNo::Error;
    const wchar_t* Name() const override { return L"frmError"; }
    const wchar_t* HelpPage() const override { return L"fehler.html"; }
    void Load() override {}
    void Unload() override { Destroy(); }
    bool Loaded() const override { return true; }
    HWND FormWindow() const override { return hwnd(); }

    // Shows the dialog modally and returns when the user closed it (never for "Beenden").
    void ShowError(const std::wstring& module, const std::wstring& procedure, int number,
                   const std::wstring& description, Style style);
    static std::wstring DetailsText(const std::wstring& module, const std::wstring& procedure, int number,
                                    const std::wstring& description);
    // Height in twips of the collapsed and the expanded dialog.
    static constexpr int kCollapsedTwips = 1650, kExpandedTwips = 3830;

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    void OnClose() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void cmdDetails_Click();
    void cmdSchliessen_Click();
    void cmdReportSenden_Click();
    void SetHeight(int twips);
    std::wstring module_, procedure_, description_;
    int number_ = 0;
    Style style_ = Style::Warning;
};

// Ends the program after a critical error: every window unloaded, the process ended.
[[noreturn]] void EndProgramAfterError();
