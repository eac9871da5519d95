// app/core/win/MdiChild.h
#pragma once
#include "core/win/Dialog.h"
#include <string>

// A child window of the main window: an MDI child that hosts a dialog template
// (DS_CONTROL | WS_CHILD) filling its client area, so the layout lives in the .rc file.
class MdiChildForm : public Dialog {
public:
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
    // A command of the main window's menus, tool bar or pop-up menus, offered to every loaded
    // child; true when this child handled it. The child may be gone when this returns.
    virtual bool OnMenuCommand(int id) { return false; }
    // The options were saved: a window that shows the deletion notice (lblRecycler) takes this
    // text and colour; other settings it shows it reads from AppSwitches again.
    virtual void OptionsChanged() {}

protected:
    virtual void OnActivate(bool active) {}
    // Return false to keep the window open when the user closes it.
    virtual bool OnQueryClose() { return true; }

private:
    static LRESULT CALLBACK FrameProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    HWND frame_ = nullptr;
    HWND client_ = nullptr;
};
