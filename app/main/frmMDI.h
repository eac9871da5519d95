// app/main/frmMDI.h
#pragma once
#include "core/WindowNo.h"
#include "core/win/Form.h"
#include "core/win/MainFrame.h"
#include "core/win/StatusBar.h"
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <functional>
#include <string>

// The main window: an MDI frame with menu, tool bar, status bar and tray icon. It runs its own
// commands, shows the window a show command names, and offers every other command to the children.
class frmMDI : public Form, public MainFrame {
public:
    static constexpr int kWindowNo = WindowNo::MDI;
    frmMDI() = default;
    ~frmMDI() override;
    frmMDI(const frmMDI&) = delete;
    frmMDI& operator=(const frmMDI&) = delete;

    void Load() override;      // creates the frame hidden and runs its load
    void Unload() override;    // saves the position when so set, removes the tray icon, ends the process
    bool Loaded() const override { return hwnd_ && IsWindow(hwnd_); }
    HWND FormWindow() const override { return hwnd_; }
    void ShowForm() override { Show(); }
    // The help page F1 opens where no window with a page of its own has the focus.
    const wchar_t* HelpPage() const { return L"hauptfenster.html"; }

    void Show();
    HWND hwnd() const { return hwnd_; }
    HWND Toolbar() const { return toolbar_; }
    StatusBar Status() const { return StatusBar(status_); }
    HMENU TrayMenu() const { return trayMenu_; }
    bool TrayIconAdded() const { return trayAdded_; }

    // MainFrame
    HWND Window() const override { return hwnd_; }
    HWND MdiClient() const override { return client_; }
    HMENU MenuBar() const override { return menu_; }
    void SetStatus(int panel, const std::wstring& text) const override { Status().SetPanel(panel, text); }
    HMENU EditMenu(int commandId) const override;
    void EnableEditMenu(int commandId, bool on) const override;
    void CloseAll() override { Quit(); }
    void OptionsChanged() override;

    // The "Bearbeiten" sub-menu that belongs to a child window (mnuRegScan, mnuBackup, ...), also
    // used as that window's pop-up menu; nullptr for windows without one.
    HMENU WindowEditMenu(int windowNumber) const;

    // Runs a menu or tool bar command by its id: the main window's own, a show command, or else
    // the active child's first, then the other children's. One nobody runs goes to the protocol.
    void Command(int id);
    // How the process ends after the unload; tests replace it.
    static std::function<void(int)>& ExitAction();

    static constexpr int kMinHeightTwips = 8040, kMinWidthTwips = 9855;
    static constexpr int kDesignHeightTwips = 9000, kDesignWidthTwips = 9825;
    static constexpr UINT kTrayMessage = WM_APP + 1;

private:
    LRESULT Message(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void MDIForm_Load();
    void MDIForm_Unload();
    void MDIForm_Resize();
    void MDIForm_Activate();
    void CreateToolbar();
    // The tool bar's pictures for the window's scale (again when it moves to a screen of another scale).
    void SetToolbarImages();
public:
    // The size of the tool bar's pictures for a scale (`dpi`, 96 = 100 %): 24 px at 100 % (16 on
    // small screens), the strip nearest to that size times the scale.
    static int ToolbarImageSize(UINT dpi, bool smallScreen);
    HIMAGELIST ToolbarImages() const { return images_; }
private:
    void LayoutBars();
    void RestorePosition();
    void SavePosition();
    void AddTrayIcon();
    void RemoveTrayIcon();
    void ShowTrayMenu();
    void UpdateCommandStates();
    void ShowWindowNo(int windowNumber);
    void mnuHelp_Click();
    void mnuInfo_Click();
    void mnuProtokollShow_Click();
    void mnuProtokollDel_Click();
    void mnuAnsichtRegeditShow_Click();
    void Quit();

    HWND hwnd_ = nullptr, client_ = nullptr, toolbar_ = nullptr, status_ = nullptr;
    HMENU menu_ = nullptr, trayMenu_ = nullptr;
    HIMAGELIST images_ = nullptr;
    NOTIFYICONDATAW tray_{};
    bool loaded_ = false, trayAdded_ = false, unloading_ = false;
};
