// app/core/win/MainFrame.h
#pragma once
#include <windows.h>
#include <string>

// What the child windows need of the main window. The main window installs itself when it loads
// and takes itself out when it goes, so a window below it never names it.
class MainFrame {
public:
    virtual ~MainFrame() = default;
    virtual HWND Window() const = 0;
    virtual HWND MdiClient() const = 0;
    virtual HMENU MenuBar() const = 0;
    // Sets a panel of the status bar (numbered from 1).
    virtual void SetStatus(int panel, const std::wstring& text) const = 0;
    // The sub-menu of "Bearbeiten" that holds this command (the window's pop-up menu too);
    // nullptr when no sub-menu holds it.
    virtual HMENU EditMenu(int commandId) const = 0;
    // Enables or greys the sub-menu of "Bearbeiten" that holds this command.
    virtual void EnableEditMenu(int commandId, bool on) const = 0;
    // Closes every window, the main window last (which ends the program).
    virtual void CloseAll() = 0;
    // Tells every loaded child window that the options were saved.
    virtual void OptionsChanged() = 0;
};

// The installed main window; nullptr while there is none.
MainFrame* AppFrame();
// Installs (or with nullptr removes) the main window.
void InstallAppFrame(MainFrame* frame);
// Closes every window through the installed main window (nothing without one).
void CloseAllWindows();
