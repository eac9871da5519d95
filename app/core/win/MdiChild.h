// app/core/win/MdiChild.h
#pragma once
#include "core/win/Dialog.h"
#include "core/win/Form.h"
#include "core/win/ListView.h"
#include "core/win/MainFrame.h"
#include <span>
#include <string>

// A child window of the main window: an MDI child that hosts a dialog template
// (DS_CONTROL | WS_CHILD) filling its client area, so the layout lives in the .rc file.
class MdiChildForm : public Dialog {
public:
    MdiChildForm() { enterInListIsKey_ = true; }
    ~MdiChildForm() override;
    // Creates the MDI child (hidden) with the template inside, sized to the template.
    bool CreateChild(HWND mdiClient, int templateId, const std::wstring& caption);
    // The MDI child window (the dialog is its only child).
    HWND Frame() const { return frame_; }
    bool Alive() const { return frame_ && IsWindow(frame_); }
    // Shows and activates the child.
    void ShowChild();
    // Closes the child window; the object stays until the window handler drops it.
    void CloseChild();
    // A command of the main window's menus, tool bar or pop-up menus; true when this child
    // handled it. The child may be gone when this returns.
    virtual bool OnMenuCommand(int id) { return false; }
    // The options were saved: a window that shows the deletion notice (lblRecycler) takes this
    // text and colour; other settings it shows it reads from AppSwitches again.
    virtual void OptionsChanged() {}

protected:
    // Called when the child becomes the active one (true) or stops being it (false). A child
    // hears of its activation only once it is complete and shown.
    virtual void OnActivate(bool active) {
        if (active) Form_Activate();
    }
    // What the child does each time it becomes the active one.
    virtual void Form_Activate() {}
    // Return false to keep the window open when the user closes it. By default a window stays
    // while it is busy: its work pumps messages, and the window must outlive it.
    virtual bool OnQueryClose() { return !busy_; }
    bool busy_ = false;

    // Maximises the child inside the main window unless it already is.
    void Maximize() const;
    // Sets a panel of the main window's status bar (nothing without a main window).
    void Status(const std::wstring& text, int panel = 1) const;
    // A line of the protocol under this window's name.
    void Info(const wchar_t* procedure, const std::wstring& message) const;
    // A message box over the main window, with the program's title.
    int Ask(const std::wstring& text, UINT style) const;
    // The main window's sub-menu of "Bearbeiten" that holds this command, as a pop-up at the
    // mouse; the main window runs the chosen command as one of its menu bar.
    void ShowEditPopup(int commandId) const;
    // The main window's menu bar (nullptr without a main window).
    HMENU MenuBar() const;

    // The window's list of records, named once its controls exist. The base then sorts it when
    // a column's header is clicked and hands what happens in it to the three handlers below.
    void UseRecordList(HWND list) { records_ = list; }
    // Sorts the record list as a click on a column's header does.
    void SortBy(int column) { sort_.By(ListView(records_), column); }
    ListSort sort_;
    // A key pressed in the record list; Enter arrives as VK_RETURN.
    virtual void OnListKey(WORD key) {}
    // A double click in the record list on a row, or beside the rows (-1).
    virtual void OnListDoubleClick(int row) {}
    // A click in the record list with the left or the right mouse button.
    virtual void OnListClick(bool rightButton) {}
    // The record list's notifications; a window with more to answer passes the rest on here.
    LRESULT OnNotify(NMHDR* hdr) override;

private:
    static LRESULT CALLBACK FrameProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    // Tells the child of its (de)activation once: the client and ShowChild may both report it.
    void Hear(bool active);
    HWND frame_ = nullptr;
    HWND client_ = nullptr;
    HWND records_ = nullptr;
    bool complete_ = false;  // the template is inside and the frame hidden again
    bool heardActive_ = false;
};

// Offers a command to the children until one runs it: the one whose frame is `active` first,
// then the others in their order; true when one ran it. Running a command may close windows,
// so no child is touched after one answered.
bool OfferCommand(std::span<MdiChildForm* const> children, HWND active, int id);

// The base of each child window: T names its caption (T::kCaption), the template is DialogId
// and the window's number in the window handler's table Number. The handler keeps it as a Form.
template <class T, int DialogId, int Number>
class MdiChild : public MdiChildForm, public Form {
public:
    static constexpr int kWindowNo = Number;
    void Load() override {
        if (MainFrame* frame = AppFrame()) CreateChild(frame->MdiClient(), DialogId, T::kCaption);
    }
    void Unload() override { CloseChild(); }
    bool Loaded() const override { return Alive(); }
    HWND FormWindow() const override { return Frame(); }
};
