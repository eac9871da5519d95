// app/backup/frmRestorePreview.h
#pragma once
#include "backup/RestorePlan.h"
#include "core/win/Dialog.h"
#include <string>
#include <vector>

// Shows what writing one backup file back would change, row by row, with a check box each, and
// asks which rows to write. Conflicts (the registry changed there since the file was written) are
// red and not chosen; rows that are already so are grey and cannot be chosen.
class frmRestorePreview : public Dialog {
public:
    enum class Answer { Cancel, Chosen, All };

    const wchar_t* Name() const override { return L"frmRestorePreview"; }
    const wchar_t* HelpPage() const override { return L"backup.html"; }

    // Modal over `owner`. On Chosen and All, `chosen` holds one flag per row of the plan.
    Answer Ask(HWND owner, const RestorePlan& plan, const std::wstring& fileName, std::vector<bool>& chosen);

    // "3 Zeilen, davon 2 mit Änderung und 1 Konflikt. 1 zum Zurückschreiben ausgewählt."
    static std::wstring SummaryText(const RestorePlan& plan, const std::vector<bool>& chosen);
    // The question before "Alle zurückschreiben" overwrites `conflicts` rows.
    static std::wstring OverwriteQuestion(size_t conflicts);

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    LRESULT OnNotify(NMHDR* hdr) override;
    // The columns share the list's new width; the window is drawn anew.
    void OnLayout(int width, int height) override;
    void OnClose() override { EndDialog(hwnd(), IDCANCEL); }

private:
    std::vector<bool> Checks() const;
    void ShowSummary();
    // The width each column's widest text needs, measured once.
    void MeasureColumns();
    // Shares the list's width among the columns.
    void FitColumns();
    void cmdAlleZurueck_Click();
    LRESULT lvwRestore_CustomDraw(NMLVCUSTOMDRAW* draw) const;
    // The row's full texts when the mouse rests on it.
    void lvwRestore_InfoTip(NMLVGETINFOTIPW* tip) const;

    const RestorePlan* plan_ = nullptr;
    std::wstring fileName_;
    std::vector<bool> chosen_;
    std::vector<int> natural_;
    int fittedTo_ = -1;  // the list's client width the columns were last fitted to
    bool filling_ = false;
    HWND lvw_ = nullptr;
};
