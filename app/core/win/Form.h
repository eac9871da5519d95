// app/core/win/Form.h
#pragma once
#include "core/Service.h"
#include <windows.h>
#include <cstdint>

// What the window handler needs of every window it keeps in a slot.
class Form {
public:
    virtual ~Form() = default;
    // Creates the window (hidden); called once by the window handler after construction.
    virtual void Load() = 0;
    // Destroys the window; the handler then drops the object.
    virtual void Unload() = 0;
    // False once the window is gone (closed by the user), so the handler makes a new one.
    virtual bool Loaded() const = 0;
    // The window that stands for this form on screen (an MDI child's frame, a dialog itself).
    virtual HWND FormWindow() const = 0;
    // What a show command of the main window does with a form that is no MDI child (a dialog
    // shows or runs itself); forms no menu opens keep this.
    virtual void ShowForm() {}
};

// The window handler as a window below the top reaches it: a page opens its dialog, a dialog
// closes itself. The top installs it as a service; which windows exist stays its business.
class FormSource {
public:
    virtual ~FormSource() = default;
    // The window of this number, created on first request.
    virtual Form& Window(int number) = 0;
    virtual bool IsLoaded(int number) const = 0;
    // Unloads one window and empties its slot.
    virtual void CloseWindow(int16_t number) = 0;
};

// The window of class T (T::kWindowNo), created on first request.
template <class T>
T& FormOf() {
    return static_cast<T&>(Service<FormSource>().Window(T::kWindowNo));
}
