// app/extras/FileTypesPage.h
#pragma once
#include "core/win/ListView.h"
#include "core/win/ToolTips.h"
#include "extras/ExtrasPage.h"
#include "registry/RegKey.h"
#include <functional>
#include <string>
#include <vector>

// Page "Dateierweiterungen": every file extension registered for the machine (HKLM) or for the
// user (HKCU), each where it is stored, with its file type and the command that opens it; the
// chosen ones are saved to an undo file and deleted. The types the system needs are not offered.
class FileTypesPage : public ExtrasPage {
public:
    int TemplateId() const override;
    const wchar_t* Caption() const override { return L"Dateierweiterungen"; }
    const wchar_t* HelpPage() const override { return L"dateitypen.html"; }
    void PageActivate() override;
    bool OnMenuCommand(int id) override;
    bool Busy() const override { return busy_; }

    // One row: the extension key "Software\Classes\<extension>" below `root`.
    struct FileType {
        RootKey root = 0;
        std::wstring extension, typeName, command;
    };

    void FindFileExts();
    void cmdFileExtsDel_Click();
    // A mouse button released over the list: menu captions by the selection; the right one shows
    // the main window's menu "Dateierweiterungen" as a pop-up menu.
    void lvwFileExts_MouseUp(bool rightButton);
    // Sorts by a column as a click on its header does: every call flips the direction.
    void SortBy(int column);

    ListView List() const { return ListView(lvw_); }
    const FileType& RowType(int row) const { return types_.at(static_cast<size_t>(List().Data(row))); }
    std::wstring ToolTipText(int controlId) const { return ::ToolTipText(hwnd(), controlId); }
    // The undo file of the last delete command ("" when none was written).
    const std::wstring& LastUndoFile() const { return lastUndoFile_; }


protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(NMHDR* hdr) override;

private:
    void lvwFileExts_KeyDown(WORD key);
    void SetMenuCaption();

    HWND lvw_ = nullptr;
    std::vector<FileType> types_;
    ListSort sort_;
    bool busy_ = false;
    std::wstring lastUndoFile_;
};
