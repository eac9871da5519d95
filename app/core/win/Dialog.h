// app/core/win/Dialog.h
#pragma once
#include "core/win/Layout.h"
#include "core/win/PathCells.h"
#include "core/win/Window.h"
#include <commctrl.h>

// A window laid out by a dialog template. One static procedure stores `this` at WM_INITDIALOG,
// clears it when the window goes, and stops every exception at the window boundary.
// Derived windows override the typed handlers they need.
class Dialog : public Wnd {
public:
    virtual ~Dialog();
    Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Modeless (WS_CHILD templates inside a parent, or popups); keyboard navigation is served.
    HWND CreateModeless(HWND parent, int templateId);
    // Modal: returns the code passed to EndDialog.
    INT_PTR DoModal(HWND parent, int templateId);
    void Destroy();

    // Name of the window as the protocol log shows it ("frmError").
    virtual const wchar_t* Name() const = 0;
    // The help page F1 opens over this window ("backup.html"); nullptr hands F1 on to the
    // window's parent or owner.
    virtual const wchar_t* HelpPage() const { return nullptr; }

protected:
    virtual bool OnInit() { return true; }
    virtual void OnCommand(int id, int code, HWND control) {}
    virtual LRESULT OnNotify(NMHDR* hdr) { return 0; }
    // What the layout table cannot say (pages inside a tab, a column that follows its list's
    // width); runs on every WM_SIZE after the table is applied.
    virtual void OnLayout(int width, int height) {}
    virtual void OnTimer(UINT_PTR id) {}
    virtual void OnClose() {}
    virtual void OnDestroy() {}
    // Any other message; return true when handled (result in `result`).
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) { return false; }

    // The window's layout table, applied on every WM_SIZE. OnInit calls this once the controls
    // stand where the template puts them: their rectangles and the client size now are the start.
    // The controls stand where the template puts them even when the window could not take the
    // template's size (larger than the screen): the layout starts from the designed size and is
    // applied to the size the window got.
    void UseLayout(const LayoutTable& table) { layout_.Start(h_, table, DesignedClientSize()); }
    // These columns of the list hold registry or file paths: a cell too narrow for its text shows
    // the text's end (see PathCells). The list must use report style; call it once per list.
    void UsePathCells(HWND list, std::vector<int> columns) { pathCells_.emplace_back(list, std::move(columns)); }

    bool modal_ = false;
    // Enter in one of the window's list views reaches it as a key of that list (LVN_KEYDOWN with
    // VK_RETURN) rather than as the dialog's default command (IDOK), as a key pressed in a list
    // outside a dialog does; a dialog whose OK button answers Enter keeps this off.
    bool enterInListIsKey_ = false;

private:
    static INT_PTR CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    LRESULT DrawPathCells(NMLVCUSTOMDRAW* draw, LRESULT ownResult);
    void FitOnScreen();

    // The client size the template asks for, in pixels; the window's own client size when unknown.
    SIZE DesignedClientSize() const;

    int templateId_ = 0;
    COLORREF rowColour_ = CLR_DEFAULT;  // of the list row being drawn (see DrawPathCells)
    Layout layout_;
    std::vector<PathCells> pathCells_;
};
