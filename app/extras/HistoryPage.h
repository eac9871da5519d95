// app/extras/HistoryPage.h
#pragma once
#include "extras/ExtrasPage.h"
#include <string>
#include <vector>

// Page 1 of the extras window: removes the shell's history lists of the current user (each saved
// first in an undo file) and the shortcuts of the recent-documents folder.
class HistoryPage : public ExtrasPage {
public:
    int TemplateId() const override;
    const wchar_t* Caption() const override { return L"Verläufe"; }
    const wchar_t* HelpPage() const override { return L"verlauf.html"; }
    void PageActivate() override;
    bool Busy() const override { return running_; }
    void OptionsChanged() override;

    // One registry list: its key below HKEY_CURRENT_USER, the setting of its box, and whether the
    // emptied key is made again.
    struct Source {
        const wchar_t* key;
        const wchar_t* searchText;
        bool matchValueName;
        const wchar_t* setting;
        bool recreate;
    };
    // The lists in the order they are cleaned.
    static const std::vector<Source>& Sources();

    // The cleanup run of "Bereinigung starten".
    void cmdVerlaufClean_Click();
    void cmdVerlaufAbbrechen_Click();
    // A click on one of the check boxes (its new state already set).
    void CheckBox_Click(int id);

    std::wstring RegistryResult() const;
    std::wstring FilesResult() const;
    std::wstring RecyclerText() const;
    // The undo file of the last run ("" when none could be written).
    const std::wstring& LastUndoFile() const { return lastUndo_; }
    // Registry entries and files the last run removed.
    int RemovedEntries() const { return removedEntries_; }
    int RemovedFiles() const { return removedFiles_; }

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    bool Checked(int id) const;
    void SetAutoDelState();
    void StoreSetting(int id);
    // Empties the ticked registry lists through the journal; the captions of ticked boxes whose
    // lists this Windows does not have go to `missing`. Returns the entries removed.
    int CleanRegistry(class ChangeJournal& journal, std::vector<std::wstring>& missing);
    // A box's caption without its access key.
    std::wstring BoxCaption(int id) const;
    int DeleteRecentFiles(const std::vector<std::wstring>& files);
    void SetIdle();

    bool running_ = false, cancel_ = false;
    COLORREF recyclerColour_ = 0;
    std::wstring lastUndo_;
    int removedEntries_ = 0, removedFiles_ = 0;
};
