// app/extras/frmAutorunNew.h
#pragma once
#include "core/WindowNo.h"
#include "core/win/Dialog.h"
#include "core/win/Form.h"
#include "extras/AutorunPage.h"
#include <functional>
#include <optional>
#include <string>

// "neuen Autostart-Eintrag anlegen": a modeless dialog that adds an autostart entry or changes one.
class frmAutorunNew : public Dialog, public Form {
public:
    static constexpr int kWindowNo = WindowNo::AutorunNew;
    const wchar_t* Name() const override { return L"frmAutorunNew"; }
    const wchar_t* HelpPage() const override { return L"autostart.html"; }
    void Load() override;
    void Unload() override { Destroy(); }
    bool Loaded() const override { return hwnd() && IsWindow(hwnd()); }
    HWND FormWindow() const override { return hwnd(); }

    // Shows the empty dialog ("Autostart-Eintrag hinzufügen"); `saved` runs after an entry was written.
    void ShowNew(std::function<void()> saved);
    // Shows the dialog with an entry ("Autostart-Eintrag bearbeiten"): its name, the program part
    // and the arguments of its command line.
    void ShowEdit(const AutorunEntry& entry, const std::wstring& path, const std::wstring& parameters,
                  std::function<void()> saved);
    // The caller is gone: nothing is called back any more.
    void ForgetCaller() { saved_ = nullptr; }
    // OK: checks the fields, saves what the entry replaces in the undo file, writes the entry and,
    // when it was renamed or moved, removes the old one. True when the entry was written.
    bool cmdOK_Click();

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    void OnClose() override { Hide(); }

private:
    void Reset();
    void Hide();
    void UpdateOK();
    void cmdPfadOpen_Click();
    int Message(const std::wstring& text, UINT icon);

    std::optional<AutorunEntry> original_;
    std::function<void()> saved_;
};
