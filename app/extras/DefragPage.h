// app/extras/DefragPage.h
#pragma once
#include "core/win/ListView.h"
#include "extras/ExtrasPage.h"
#include <functional>
#include <string>

// Page "Defragmentieren": the registry files compacted at the next start of the system or at every
// start, or not at all; their sizes now and of the compact copies; the result of the last one.
class DefragPage : public ExtrasPage {
public:
    int TemplateId() const override;
    const wchar_t* Caption() const override { return L"Defragmentieren"; }
    const wchar_t* HelpPage() const override { return L"defrag.html"; }
    void PageActivate() override;
    bool OnMenuCommand(int id) override;
    bool Busy() const override { return busy_; }

    // Shows the mode the system is in and the sizes of the registry files.
    void ShowState();
    // "Übernehmen": applies the chosen mode.
    void cmdRegistryDefrag_Click();
    // The mode of the chosen option: "-e", "-o" or "-n".
    std::wstring ChosenMode() const;
    void Choose(const std::wstring& mode);

    bool StartedVisible() const;
    ListView Files() const { return ListView(Item(IDC_lvwFiles())); }
    std::wstring ResultText() const;

    // The restart; tests replace it. False when the system refused.
    static std::function<bool()>& RebootAction();

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    void OnSize(int width, int height) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    static int IDC_lvwFiles();
    void RestartStep();
    int Ask(const std::wstring& text, UINT icon);
    bool busy_ = false;
};
