// app/errors/frmBugReport.h
#pragma once
#include "core/WindowNo.h"
#include "core/win/MdiChild.h"
#include "errors/frmBugReport.rh"
#include "core/win/MenuBottomLineSite.h"
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The bug report window: the user describes an error and sends it to the product web server.
// The same window carries the update check's entry and the proxy connection test.
class frmBugReport : public MdiChild<frmBugReport, IDD_frmBugReport, WindowNo::BugReport> {
public:
    static constexpr const wchar_t* kCaption = L"Bug-Report";
    const wchar_t* Name() const override { return L"frmBugReport"; }
    const wchar_t* HelpPage() const override { return L"service.html"; }
    bool OnMenuCommand(int id) override;

    // The update check: the proxy test first when a proxy is set, then UpdateCheck.
    void PreLiveUpdate();
    // 1 = the proxy of the options answered a test request, 0 = it did not (see LastProxyFailure).
    int16_t CheckProxyConnection();
    const std::wstring& LastProxyFailure() const { return proxyFailure_; }

    void cmdBugReportSenden_Click();
    void cmdBugReportLoeschen_Click();
    void cboErrMod_Change();

    // The fixed pick lists.
    static const std::vector<std::wstring>& ModuleNames();
    // "nicht aufgeführt" and the module's procedures; empty for a name without a list.
    static std::vector<std::wstring> ProcedureNames(const std::wstring& module);
    // The e-mail plausibility of the window (positions of "@", the last and the first ".").
    static bool EMailPlausible(const std::wstring& address);
    // The numeric test of the error number: blanks, a sign, digits and one decimal separator of
    // the user's settings; rounded to whole, halves to even.
    static bool ParseErrorNumber(const std::wstring& text, long long& number);

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void OnActivate(bool active) override;

private:
    void Form_Load();
    // The proxy test loop shared by the update check and the report; false = the user gave up.
    bool ProxyReady(const wchar_t* procedure);
    bool Greyed(HWND control) const;
    int Ask(const std::wstring& text, UINT style) const;
    void Fail(const std::wstring& text, int focusId) const;
    void HideUnlessOpened();

    std::wstring proxyFailure_;
    bool opened_ = false;  // shown by the user, not only created for the update check
    std::unique_ptr<MenuBottomLineSite> MenuBottomLine1;
};
