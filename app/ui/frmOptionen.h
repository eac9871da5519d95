// app/ui/frmOptionen.h
#pragma once
#include "core/WindowNo.h"
#include "core/win/Dialog.h"
#include "core/win/Form.h"
#include <string>

// The options dialog "Einstellungen": modeless, kept on top. Saves the settings of "Optionen"
// and "ScreenSave" on "&OK" only; the assistant choices act on the running character at once.
class frmOptionen : public Dialog, public Form {
public:
    static constexpr int kWindowNo = WindowNo::Optionen;
    const wchar_t* Name() const override { return L"frmOptionen"; }
    const wchar_t* HelpPage() const override { return L"optionen.html"; }
    void Load() override;
    void Unload() override { Destroy(); }
    bool Loaded() const override { return hwnd() && IsWindow(hwnd()); }
    HWND FormWindow() const override { return hwnd(); }
    void ShowForm() override;

    // The notice a window shows about deleting files, and its colour, for the setting "Recycler".
    // Empty text when the day count may be stored, else what the user is told.
    static std::wstring DayCountProblem(const std::wstring& text);
    static std::wstring PortProblem(const std::wstring& text);
    // The list entry for a character file name ("MERLIN.ACS" -> "Merlin").
    static std::wstring CharacterEntry(const std::wstring& fileName);

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    void OnClose() override { cmdClose_Click(); }
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void Form_Load();
    void Form_Activate();
    void React(int id);
    void SetCheck(int id, bool on);
    bool Checked(int id) const;
    std::wstring AgentTypeText() const;
    void SetAgentTypeText(const std::wstring& text);
    void chbLoadAgent_Click();
    void cboAgentType_Change();
    void cboAgentType_Click();
    void rdoINet_Click(int mode);
    bool Validate();
    void cmdOK_Click();
    void cmdClose_Click();
    void cmdHelp_Click();
    // Something changed: "&OK" can save it.
    void Changed();

    int proxyMode_ = 0;
};
