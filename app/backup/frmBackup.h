// app/backup/frmBackup.h
#pragma once
#include "backup/RestorePlan.h"
#include "core/WindowNo.h"
#include "core/win/ListView.h"
#include "core/win/MdiChild.h"
#include "backup/frmBackup.rh"
#include "core/win/MenuBottomLineSite.h"
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The backup area: lists the undo files of the backup folder, opens them for editing, writes them
// back into the registry and deletes them.
class frmBackup : public MdiChild<frmBackup, IDD_frmBackup, WindowNo::Backup> {
public:
    static constexpr const wchar_t* kCaption = L"Backup-Bereich";
    const wchar_t* Name() const override { return L"frmBackup"; }
    const wchar_t* HelpPage() const override { return L"backup.html"; }
    bool OnMenuCommand(int id) override;
    void OptionsChanged() override;

    // (Re)fills the list from the backup folder.
    void ReadBackupFiles();
    // Opens each selected file for editing.
    void cmdAnzeigen_Click();
    // Writes each selected file back into the registry: the rows the user chooses in its preview.
    void cmdEintragen_Click();
    // Deletes each selected file.
    void cmdLoeschen_Click();
    // Right button released over the list: the main window's backup menu as a pop-up, its
    // captions in singular or plural.
    void lvwBackup_MouseUp();

    ListView List() const { return ListView(lvw_); }
    std::wstring RecyclerText() const;
    COLORREF RecyclerColour() const { return recyclerColour_; }
    int SortColumn() const { return sort_.column; }
    bool SortAscending() const { return sort_.ascending; }

    // Column "Größe": bytes / 1024 as text with the decimal separator, cut to five characters, " KB".
    static std::wstring SizeText(unsigned long long bytes, const std::wstring& decimalSeparator);
    // The same with the user's decimal separator.
    static std::wstring SizeText(unsigned long long bytes);
    // Column "Erstellt": the local time in the user's general date-time form.
    static std::wstring DateTimeText(const FILETIME& lastWrite);

    // The restart after a write-back (pause, restart, close all windows); tests replace it.
    static std::function<void()>& RebootAction();

protected:
    bool OnInit() override;
    void Form_Activate() override;
    void OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    void OnListKey(WORD key) override;
    void OnListDoubleClick(int) override { cmdAnzeigen_Click(); }
    void OnListClick(bool rightButton) override {
        if (rightButton) lvwBackup_MouseUp();
    }
    std::vector<std::wstring> SelectedNames() const;
    // Deletes backup folder + name; shows the failure message when the file is still there.
    bool DeleteBackupFile(const std::wstring& name, const wchar_t* procedure);
    // Previews one file, writes back what the user chose and tells the outcome; true when
    // something was written.
    bool WriteBackFile(const std::wstring& name, const wchar_t* procedure);
    // The outcome as the user reads it; `complete` when every chosen row was written and read back.
    static std::wstring WriteBackMessage(const std::wstring& name, const RestorePlan& plan,
                                         const std::vector<bool>& chosen, const RestoreResult& result, bool& complete);

    HWND lvw_ = nullptr;
    COLORREF recyclerColour_ = 0;
    std::unique_ptr<MenuBottomLineSite> MenuBottomLine1;
};
