// app/scan/frmRegScan.h
#pragma once
#include <map>
#include "core/WindowNo.h"
#include "core/win/ListView.h"
#include "core/win/MdiChild.h"
#include "scan/frmRegScan.rh"
#include "core/win/MenuBottomLineSite.h"
#include "scan/ScanEngine.h"
#include <memory>
#include <string>

// The registry scan window: drives the scan engine, shows its progress and result rows, rates the
// result, and removes the rows the user chooses. Its start button doubles as the removal button.
// It mirrors its state in the main window's "Registry Scan" menu and answers that menu's commands.
class frmRegScan : public MdiChild<frmRegScan, IDD_frmRegScan, WindowNo::RegScan>, private ScanQuestions, private ScanProgress {
public:
    static constexpr const wchar_t* kCaption = L"Registry Scan";
    frmRegScan();
    ~frmRegScan() override;

    const wchar_t* Name() const override { return L"frmRegScan"; }
    const wchar_t* HelpPage() const override { return L"registryscan.html"; }
    void Unload() override;
    bool OnMenuCommand(int id) override;

    // Starts a scan, or the removal while the button reads "&Entfernen".
    void cmdStart_Click();
    // Cancels a running scan and resets the window.
    void cmdAbbrechen_Click();
    // "markierten Eintrag entfernen": removes only the selected rows.
    void mnuRegScanCurrent_Click();
    // Ends a scan and resets the window's controls.
    void ScanClose();
    // "Eintrag immer ignorieren": excludes the selected rows' keys for good and takes every row
    // at or below them out of the list.
    void mnuRegScanIgnore_Click();
    // "Ergebnis speichern...": asks for a file and saves the list there.
    void mnuRegScanSave_Click();
    // Saves the list in its current order: a TAB-separated text (UTF-8 with byte-order mark, a
    // header line of the column captions) or the JSON document of the console scan. A failure is
    // told in a message box; returns whether the file was written.
    bool SaveResult(const std::wstring& path, bool json);
    // The info tip of a list row: its whole key, and what was looked for.
    std::wstring RowTip(int listRow) const;

    // Whether the window waits for a removal (its button reads "&Entfernen").
    bool RemovalPending() const;
    const ScanEngine& Engine() const { return *engine_; }

    static const wchar_t* const kStartCaption;   // "&Start"
    static const wchar_t* const kRemoveCaption;  // "&Entfernen"

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(NMHDR* hdr) override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    void OnActivate(bool active) override;
    bool OnQueryClose() override;

private:
    // ScanQuestions
    bool AskDrive(const std::wstring& text, const std::wstring& driveRoot) override;
    bool AskNetworkDrive(const std::wstring& text, const std::wstring& driveRoot) override;
    // ScanProgress
    void OnStep(int step, const std::wstring& activity, size_t linesRead) override;
    void OnStepDone(int step, size_t linesRead) override;
    void OnEvaluationBegin(size_t total) override;
    void OnEvaluate(size_t index, size_t total, int percent) override;
    void OnRowAdded(size_t index, const ResultRow& row) override;

    void Form_Activate() override;
    void OnListKey(WORD key) override;
    void OnListClick(bool rightButton) override;
    bool Scan();                // the scan path of cmdStart_Click; false when the window went meanwhile
    bool Remove();              // the removal path of cmdStart_Click; false when the window went meanwhile
    bool ProblemeEntfernen();   // false when the window went meanwhile
    bool Auswertung();          // false when the window went meanwhile
    void chbRegKeysShow_Click();
    void RestoreColumnWidths();
    void SaveColumnWidths();
    void EnableRowCommands(bool on) const;
    void ResetAfterLastRow();
    void UpdateRemoveCaption();
    void ShowPopupMenu();
    void FillList();
    void SetCheck(int id, bool on);
    bool Checked(int id) const;
    void SetWaitPointer(bool on);
    void SetBericht(const std::wstring& text, COLORREF colour);
    void SetLabel(int id, const std::wstring& text) const;  // only when the text changes (no flicker)
    void EnableMenu(int id, bool on) const;
    void Panel(int panel, const std::wstring& text) const;

    ListView List() const { return ListView(lvw_); }
    // The engine's rows the list shows (all, or only the selected ones), in the list's order.
    std::vector<size_t> ListedRows(bool onlySelected) const;

    // Shared with a running scan, so that closing the window in the middle of it (the scan pumps
    // messages) leaves the engine alive until the scan has returned.
    std::shared_ptr<ScanEngine> engine_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::unique_ptr<MenuBottomLineSite> MenuBottomLine1;
    HWND lvw_ = nullptr;
    HIMAGELIST imlRegKeys = nullptr;
    COLORREF berichtColour_ = RGB(0, 0, 128);
    void FitColumnsToRows();
    void PutInGroup(int listRow, const ResultRow& row);
    void ClearGroups();
    std::map<std::wstring, int> groups_;  // registration -> its group in the list
    bool groupsOff_ = false;              // the list cannot show groups
    int loadedWidths_[6] = {-1, -1, -1, -1, -1, -1};  // the column widths after the window opened
    bool waitPointer_ = false;
    bool autoScanDone_ = false;  // AutoScan starts a scan once, on the first activation
};
