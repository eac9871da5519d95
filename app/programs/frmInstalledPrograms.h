// app/programs/frmInstalledPrograms.h
#pragma once
#include "core/WindowNo.h"
#include "core/win/ListView.h"
#include "core/win/MdiChild.h"
#include "programs/frmInstalledPrograms.rh"
#include "core/win/MenuBottomLineSite.h"
#include "programs/InstalledPrograms.h"
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The programs registered for uninstalling, of the user and of the machine. Starts a program's
// own uninstaller and offers to remove an entry whose uninstaller is gone (after saving it to an
// undo file).
class frmInstalledPrograms
    : public MdiChild<frmInstalledPrograms, IDD_frmInstalledPrograms, WindowNo::InstalledPrograms> {
public:
    static constexpr const wchar_t* kCaption = L"Installierte Programme";
    static constexpr const wchar_t* kNothingFound = L"keine installieren Programme gefunden oder keine Leserechte";
    ~frmInstalledPrograms() override;
    const wchar_t* Name() const override { return L"frmInstalledPrograms"; }
    const wchar_t* HelpPage() const override { return L"programme.html"; }
    bool OnMenuCommand(int id) override;

    // (Re)reads the list from the registry.
    void ShowDeinstall();
    // Uninstalls the selected programs, one after the other, after asking.
    void cmdDeinstall_Click();
    // A mouse button released over the list: the menu captions follow the selection; the right
    // button shows the main window's menu of this window as a pop-up.
    void lvwDeinstall_MouseUp(bool rightButton);
    void lvwDeinstall_DblClick();

    ListView List() const { return ListView(lvw_); }
    // The entry behind a row (rows keep it through sorting); nullptr for the placeholder row.
    const InstalledProgram* Program(int row) const;

    // Runs an uninstall command line and waits for its end (true when it ended); tests replace it.
    static std::function<bool(const std::wstring&)>& RunAction();

protected:
    bool OnInit() override;
    void Form_Activate() override;
    void OnCommand(int id, int code, HWND control) override;

private:
    void OnListKey(WORD key) override;
    void OnListDoubleClick(int) override { lvwDeinstall_DblClick(); }
    void OnListClick(bool rightButton) override { lvwDeinstall_MouseUp(rightButton); }
    void Uninstall(const InstalledProgram& program, class ChangeJournal& undo);
    // The question for a left-over entry; on Yes the key goes to the undo file and is deleted.
    void OfferRemoval(const InstalledProgram& program, class ChangeJournal& undo);
    void EnableDeinstall(bool on);

    HWND lvw_ = nullptr;
    HIMAGELIST imlInstall_ = nullptr;
    std::vector<InstalledProgram> programs_;  // the listed entries; a row's data is its index
    bool reading_ = false;
    std::unique_ptr<MenuBottomLineSite> MenuBottomLine1;
};
