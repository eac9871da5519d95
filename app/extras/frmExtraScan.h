// app/extras/frmExtraScan.h
#pragma once
#include "core/WindowNo.h"
#include "core/win/MdiChild.h"
#include "extras/frmExtraScan.rh"
#include "core/win/MenuBottomLineSite.h"
#include "extras/ExtrasPage.h"
#include <memory>
#include <vector>

// "Erweiterte Registry Funktionen": the registry tools on the pages of the tab control TabExtras.
// Each page is an ExtrasPage; the window creates them from one list, shows the selected one and
// hands it the main window's commands.
class frmExtraScan : public MdiChild<frmExtraScan, IDD_frmExtraScan, WindowNo::ExtraScan> {
public:
    static constexpr const wchar_t* kCaption = L"Erweiterte Registry Funktionen";
    const wchar_t* Name() const override { return L"frmExtraScan"; }
    // F1 on the tabs opens the help of the page shown.
    const wchar_t* HelpPage() const override {
        return pages_.empty() ? L"extrascan.html" : pages_[current_]->HelpPage();
    }
    bool OnMenuCommand(int id) override;
    void OptionsChanged() override;

    // Selects a page as a click on its tab does.
    void SelectPage(int index);
    int CurrentPage() const { return current_; }
    int PageCount() const { return static_cast<int>(pages_.size()); }
    ExtrasPage& Page(int index) { return *pages_.at(index); }
    HWND Tab() const { return Item(kTabId); }
    // The page of class P, or nullptr when the window has none.
    template <class P> P* Find() {
        for (auto& p : pages_)
            if (auto* q = dynamic_cast<P*>(p.get())) return q;
        return nullptr;
    }

protected:
    bool OnInit() override;
    LRESULT OnNotify(NMHDR* hdr) override;
    // The pages fill the tab's display area.
    void OnLayout(int width, int height) override;
    void OnActivate(bool active) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
    bool OnQueryClose() override;
    void OnDestroy() override;

private:
    static constexpr int kTabId = 1802;
    void Form_Activate() override;
    void TabExtras_Click();
    void LayoutPages();

    std::vector<std::unique_ptr<ExtrasPage>> pages_;
    int current_ = 0;
    std::unique_ptr<MenuBottomLineSite> MenuBottomLine1;
};
