// app/disk/frmHDD.h
#pragma once
#include "core/WindowNo.h"
#include "core/win/ListView.h"
#include "core/win/MdiChild.h"
#include "disk/frmHDD.rh"
#include "core/win/MenuBottomLineSite.h"
#include "disk/frmHDDFolder.h"
#include "disk/frmHDDWait.h"
#include <memory>
#include <string>
#include <vector>

// "Festplatte bereinigen": the list of folders to empty (tmpdirs.txt), emptying them now or at
// every Windows start, the system's disk cleanup program and the recycle bin.
class frmHDD : public MdiChild<frmHDD, IDD_frmHDD, WindowNo::HDD> {
public:
    static constexpr const wchar_t* kCaption = L"Festplatte bereinigen";
    const wchar_t* Name() const override { return L"frmHDD"; }
    const wchar_t* HelpPage() const override { return L"festplatte.html"; }
    bool OnMenuCommand(int id) override;

    // Reloads the list from the list file.
    void OrdnerListe_laden();
    // Asks for a folder and adds it to the list.
    void cmdOrdnerWaehlen_Click();
    // Takes the marked folders out of the list.
    void cmdOrdnerLoeschen_Click();
    // Empties the marked folders now.
    void FolderCleanCurrent();
    // Empties every folder of the list now.
    void cmdInhaltLoeschen_Click();
    // The check box "automatisches Löschen einschalten" changed: writes or removes the start entry.
    void chbTempFilesDel_Click();
    // The check box "In automatisches Löschen integrieren" changed: saves "RecyclerAutoClean".
    void ckbRecyclerAutoClean_Click();
    void cmdHDDBereinigen_Click();
    void cmdEmptyRecycler_Click();
    // A mouse button released over the list: the pop-up captions follow the number of marked
    // rows; after the right button the window's menu opens as a pop-up.
    void lvwOrdnerList_MouseUp(bool rightButton);

    ListView List() const { return ListView(lvw_); }
    bool TempFilesDel() const;
    bool RecyclerAutoClean() const;
    COLORREF RecyclerColour() const { return recyclerColour_; }
    // What the last emptying did, as the status bar shows it.
    const std::wstring& LastResult() const { return lastResult_; }

protected:
    bool OnInit() override;
    void Form_Activate() override;
    void OnCommand(int id, int code, HWND control) override;
    // The folder column takes the list's width.
    void OnLayout(int width, int height) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void OnListKey(WORD key) override;
    void OnListDoubleClick(int row) override { OpenFolder(row); }
    void OnListClick(bool rightButton) override { lvwOrdnerList_MouseUp(rightButton); }
    void OpenFolder(int row);
    // Sets a check box from code; like a click, the box's operation runs when the state changes.
    void SetCheck(int id, bool on);
    // Empties the given list lines with the wait window up; tells the user about refused folders.
    void EmptyFolders(const std::vector<std::wstring>& lines, const std::wstring& waitText, const wchar_t* procedure);
    void ShowRecyclerContents();
    // The notice and the recycle-bin button as the options say.
    void OptionsChanged() override;

    HWND lvw_ = nullptr;
    COLORREF recyclerColour_ = 0;
    std::wstring lastResult_;
    frmHDDFolder folderDialog_;
    frmHDDWait wait_;
    std::unique_ptr<MenuBottomLineSite> MenuBottomLine1;
};
