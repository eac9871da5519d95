// app/extras/AutorunPage.h
#pragma once
#include "core/win/ListView.h"
#include "extras/ExtrasPage.h"
#include "registry/RegKey.h"
#include <string>
#include <vector>

// One program the system starts from the registry: a value of a Run or RunOnce key.
struct AutorunEntry {
    RootKey root = 0;
    std::wstring key;   // the key path, e.g. "Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Run"
    std::wstring name;  // the value name ("" for the default value)
    DWORD type = REG_SZ;
    std::wstring data;  // the command line as read
    bool permanent = true;  // Run (every start) or RunOnce (next start only)
    // The 32-bit view of a 64-bit system (below Wow6432Node).
    bool Wow64() const;
};

// The autorun keys and their helpers, shared by the page and the entry dialog.
namespace Autorun {
extern const wchar_t kRunKey[];
extern const wchar_t kRunOnceKey[];
// The key of a start kind and view: "Software\Microsoft\..." or "Software\Wow6432Node\Microsoft\...".
std::wstring KeyPath(bool permanent, bool wow64);
// The keys listed for a root: the Run keys, then the RunOnce keys, each in both views where the
// system has two (the machine's keys of a 64-bit Windows).
struct Location {
    std::wstring key;
    bool permanent;
};
std::vector<Location> Locations(RootKey root);
// Where the system's own start-up list keeps an entry's on/off state ("" for RunOnce entries).
std::wstring ApprovedKey(const AutorunEntry& e);
// The program of an entry's command line, as Windows finds it (placeholders expanded, a 32-bit
// entry's system32 being SysWOW64); whether that file exists.
std::wstring ProgramOf(const AutorunEntry& e);
bool ProgramExists(const AutorunEntry& e);
// The systems with only the machine's entries.
bool OnlyGlobal();
}  // namespace Autorun

// Page 0 of the extras window: the autorun manager.
class AutorunPage : public ExtrasPage {
public:
    int TemplateId() const override;
    const wchar_t* Caption() const override { return L"Autostart-Programme"; }
    const wchar_t* HelpPage() const override { return L"autostart.html"; }
    void PageActivate() override;
    // Back on this page: the global entries, as when the window opened.
    void PageSelected() override;
    bool OnMenuCommand(int id) override;

    // Fills both lists for the chosen root.
    void ReadAutorunEntries();
    // Opens the entry dialog with the (last) selected entry of the visible list.
    void cmdAutorunChange_Click();
    // Opens the empty entry dialog.
    void cmdAutorunNew_Click();
    // Deletes the selected entries of the visible list, each saved first in the undo file.
    void cmdAutorunLoeschen_Click();
    // Right button released over a list: the main window's menu "Autostart Programme" as a pop-up.
    void lvwAutorun_MouseUp();
    void SortBy(int column);

    ListView Permanent() const { return ListView(Item(kPermanentId)); }
    ListView Single() const { return ListView(Item(kSingleId)); }
    // The list that the inner tab shows.
    ListView Visible() const;
    // The entry behind a row of a list.
    const AutorunEntry& EntryOf(const ListView& list, int row) const;
    // Shows page 0 ("Permanent laden") or 1 ("beim nächsten Start laden") of the inner tab.
    void ShowInnerPage(int index);
    // The undo file of the last deletion ("" when none was written).
    const std::wstring& LastUndoFile() const { return lastUndo_; }

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(NMHDR* hdr) override;
    // Both lists fill the tab's display area.
    void OnLayout(int width, int height) override;
    void OnDestroy() override;

private:
    static constexpr int kPermanentId = 2355, kSingleId = 2356;
    void KeyDown(WORD key);
    void FillList(const ListView& list, bool permanent, RootKey root);

    std::vector<AutorunEntry> entries_;
    ListSort sort_;
    std::wstring lastUndo_;
};
