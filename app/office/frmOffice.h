// app/office/frmOffice.h
#pragma once
#include "core/WindowNo.h"
#include "core/win/ListView.h"
#include "core/win/MdiChild.h"
#include "office/frmOffice.rh"
#include "core/win/MenuBottomLineSite.h"
#include "office/OfficeSettings.h"
#include <memory>
#include <string>
#include <vector>

// The Office tools: resets the user settings of the suite's applications, keeps Outlook's list of
// released attachment types and its other settings, and makes Word or Excel register itself again.
// Everything it changes is saved into an undo file of the backup folder first.
class frmOffice : public MdiChild<frmOffice, IDD_frmOffice, WindowNo::Office> {
public:
    // An application of the suite and a check box that stands for a registry value.
    struct App;
    struct Setting;
    static constexpr const wchar_t* kCaption = L"Microsoft Office";
    const wchar_t* Name() const override { return L"frmOffice"; }
    const wchar_t* HelpPage() const override { return L"office.html"; }
    void Load() override;
    bool OnMenuCommand(int id) override;

    // Detects the suite and its applications and sets every control from the registry. Reading
    // never writes: a box set here changes nothing until the user clicks it.
    void FindOffice();
    const std::wstring& OfficeVersion() const { return office_.version; }
    const OfficeInstall& Office() const { return office_; }

    // The resets, with the check boxes as they stand.
    void cmdOfficeAccessClean_Click();
    void cmdOfficeBinderClean_Click();
    void cmdOfficeExcelClean_Click();
    void cmdOfficeOutlookClean_Click();
    void cmdOfficePowerPointClean_Click();
    void cmdOfficeWordClean_Click();

    // Word or Excel unregisters, then registers itself again; both runs are waited for.
    void cmdOfficeExcelRegistrieren_Click();
    void cmdOfficeWordRegistrieren_Click();

    // Rebuilds both attachment lists from the table and the stored "Level1Remove".
    void FillOutlookSecurityLevel();
    void cmdOfficeOutlookToPermits_Click();
    void cmdOfficeOutlookToClosed_Click();
    void cmdOfficeOutlookPermitsAll_Click();
    void cmdOfficeOutlookClosedAll_Click();
    // Right button released over one of the lists: the "Outlook Security" items that belong to
    // it as a pop-up menu, the single move's caption in singular or plural.
    void lvwOfficeOutlook_MouseUp(bool closedList);

    // lvwOfficeOutlookClosed (blocked) and lvwOfficeOutlookPermits (released).
    ListView ClosedList() const;
    ListView PermitsList() const;
    // Shows a page of the tab control (0 to 6) as a click on its tab does.
    void SelectPage(int page);
    int Page() const;
    // The controls of a page (what the tab control shows for it).
    std::vector<int> PageControls(int page) const;
    // The text the user last saw in a message box of this window (for the protocol and tests).
    const std::wstring& LastMessage() const { return lastMessage_; }

protected:
    bool OnInit() override;
    void Form_Activate() override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(NMHDR* hdr) override;
    // The page controls follow the tab's display area down.
    void OnLayout(int width, int height) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void ShowPage(int page);
    void LayoutPages();
    void SetAppControls(const App& app, bool installed);
    void OutlookStep(bool installed);
    void UpdatePolicyNote();
    void Reset(const App& app);
    // What resetting the application's key takes: the key whole, but for Outlook's mail profiles,
    // which go only when the user answers Yes to a question that names them.
    std::vector<struct RegChange> ResetChanges(const App& app, const std::wstring& key, bool all);
    void Reregister(bool word);
    // Writes "Level1Remove" (after saving its key); on failure tells the user. Refills the lists.
    void WriteReleased(const std::vector<std::wstring>& items, const wchar_t* procedure);
    // Writes settings of check boxes in one go, undo file first; a box whose value could not be
    // written is set back to what the registry holds, and the user is told.
    void WriteSettings(const std::vector<int>& boxes);
    void ReadSetting(int box);
    bool SettingOf(int box, Setting& out) const;
    void ckbOfficeOutlookJournalAll_Click();
    void ListKeyDown(bool closedList, WORD key);
    void SortList(bool closedList, int column);
    int Message(const std::wstring& text, UINT icon);

    // Where the template puts each page control, and the top of the pages' area it assumes: the
    // controls follow the tab control's display area (its rows of tabs depend on the width).
    std::vector<std::pair<int, RECT>> pageLayout_;
    int designedPageTop_ = 0;
    OfficeInstall office_;
    ListSort closedSort_{0, false}, permitsSort_{0, false};
    std::wstring lastMessage_;
    std::unique_ptr<MenuBottomLineSite> MenuBottomLine1;
};
