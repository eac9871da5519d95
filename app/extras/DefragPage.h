// app/extras/DefragPage.h
#pragma once
#include "core/win/ListView.h"
#include "extras/ExtrasPage.h"
#include "extras/RegistryCompaction.h"
#include <string>
#include <vector>

// Page "Defragmentieren": the registry files compacted in a restart confirmed now, at each restart
// or shutdown while the program runs, or not at all; their sizes now and compacted; what stands
// against it; the result of the last one.
class DefragPage : public ExtrasPage {
public:
    int TemplateId() const override;
    const wchar_t* Caption() const override { return L"Defragmentieren"; }
    const wchar_t* HelpPage() const override { return L"defrag.html"; }
    void PageActivate() override;
    bool OnMenuCommand(int id) override;
    bool Busy() const override { return busy_; }

    // Shows the mode, what stands against a compaction and the sizes of the registry files (measured
    // when the page is first shown and at each "Übernehmen").
    void ShowState();
    // "Übernehmen": applies the chosen mode.
    void cmdRegistryDefrag_Click();
    // The mode of the chosen option: "-e", "-o" or "-n".
    std::wstring ChosenMode() const;
    void Choose(const std::wstring& mode);

    bool StartedVisible() const;
    ListView Files() const { return ListView(Item(IDC_lvwFiles())); }
    std::wstring ResultText() const;

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    static int IDC_lvwFiles();
    int Ask(const std::wstring& text, UINT icon);
    void Measure();
    bool busy_ = false;
    bool measured_ = false;
    std::vector<RegistryCompaction::HiveSize> sizes_;
    std::wstring measureFault_;  // why no compact copy could be measured
};
