// app/extras/ExtrasPage.h
#pragma once
#include "core/win/Dialog.h"
#include <memory>
#include <string>

struct JournalResult;
class ChangeJournal;

// One page of the extras window's tab control "TabExtras": a DS_CONTROL | WS_CHILD dialog template
// that the extras window creates inside its tab, sizes to the tab's display area and shows while
// its tab is selected. The page's procedures belong to the extras window: Name() is "frmExtraScan".
class ExtrasPage : public Dialog {
public:
    const wchar_t* Name() const override { return L"frmExtraScan"; }
    // The page's dialog template.
    virtual int TemplateId() const = 0;
    // The tab's caption ("Autostart-Programme").
    virtual const wchar_t* Caption() const = 0;
    // Each page has its own help page.
    const wchar_t* HelpPage() const override = 0;
    // The page became the visible one (tab switch, or the window shown with this page selected):
    // read its list and set the main window's menus as this page needs them.
    virtual void PageActivate() {}
    // The user switched to the page by its tab; as PageActivate unless the page starts afresh then.
    virtual void PageSelected() { PageActivate(); }
    // A command of the main window's menus or pop-up menus; true when this page handled it.
    virtual bool OnMenuCommand(int id) { return false; }
    // The options were confirmed: the page shows what they say now.
    virtual void OptionsChanged() {}
    // True while the page works and pumps messages: the window must not close then.
    virtual bool Busy() const { return false; }

protected:
    // When the journal could not make or write its undo file, tells the user why and what stayed:
    // `nothingDone` ("Es wurde kein Eintrag gelöscht.") when nothing was changed, else that
    // `firstKept` and everything after it stayed. True then.
    bool TellUndoProblem(const ChangeJournal& journal, const JournalResult& result, const std::wstring& firstKept,
                         const wchar_t* nothingDone) const;
};

