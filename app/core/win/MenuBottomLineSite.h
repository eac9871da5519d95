// app/core/win/MenuBottomLineSite.h
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <memory>

// Hosts the menu line control of fennick.ocx ("Fennick.MenuBottomLine") at the top edge of a
// child window: the MenuBottomLine1 of the windows that carry one.
//
// Use, in the window's load handler (OnInit):
//     MenuBottomLine1 = MenuBottomLineSite::Create(hwnd(), L"frmBackup");
// with the member `std::unique_ptr<MenuBottomLineSite> MenuBottomLine1;`. The window owns it:
// resetting it, or destroying the window, destroys the control. Nothing else is needed: the site
// follows the window's size (the line spans the client width) and its system colours by
// subclassing the window. The control sits on top of the window's other controls, so the
// template should leave its top two pixels free.
//
// When the control cannot be created (library missing or not registered) Create logs a warning
// through the error handler and returns null; the window opens without the line.
class MenuBottomLineSite {
public:
    static std::unique_ptr<MenuBottomLineSite> Create(HWND parent, const wchar_t* module,
                                                      const wchar_t* progId = L"Fennick.MenuBottomLine");
    ~MenuBottomLineSite();
    MenuBottomLineSite(const MenuBottomLineSite&) = delete;
    MenuBottomLineSite& operator=(const MenuBottomLineSite&) = delete;

    // The control's window (null once the window is gone).
    HWND Window() const;
    // The control's automation interface (its four properties), owned by the site.
    IDispatch* Control() const { return control_; }
    // The container's background colour, as the control reads it from the ambient properties.
    COLORREF BackColor() const;
    // Tells the control that the container's background colour changed.
    void SetBackColor(COLORREF color);
    // Alignment as the container keeps it (0 none, 1 top, 2 bottom); the control corrects
    // anything but top or bottom to top at its next layout.
    int Align() const;
    void SetAlign(int align);
    // Passes the parent's client area to the control, which lays itself out in it.
    void Resize();

private:
    class Site;
    MenuBottomLineSite() = default;
    void Close();
    static LRESULT CALLBACK ParentProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);

    HWND parent_ = nullptr;
    Site* site_ = nullptr;
    IOleObject* object_ = nullptr;
    IDispatch* control_ = nullptr;
};
