// app/scan/frmAusnahmen.h
#pragma once
#include "core/WindowNo.h"
#include "core/win/Dialog.h"
#include "core/win/Form.h"
#include "scan/ScanExclusions.h"

// "Ausnahmen": lists the keys the scan leaves out and lets the user take keys off that list.
class frmAusnahmen : public Dialog, public Form {
public:
    static constexpr int kWindowNo = WindowNo::Ausnahmen;
    const wchar_t* Name() const override { return L"frmAusnahmen"; }
    const wchar_t* HelpPage() const override { return L"ausnahmen.html"; }
    void Load() override {}
    void Unload() override { Destroy(); }
    bool Loaded() const override { return true; }
    HWND FormWindow() const override { return hwnd(); }
    // Runs the dialog modally over the main window.
    void ShowForm() override;

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    void OnClose() override;

private:
    void FillList();
    void cmdEntfernen_Click();
    ScanExclusions exclusions_;
};
