// app/main/WindowHandler.h
#pragma once
#include "core/WindowNo.h"
#include "core/win/Form.h"
#include <cstdint>
#include <map>
#include <memory>
#include <span>

class MdiChildForm;

enum class WindowKind { MdiChild, ModelessDialog, ModalDialog, TopLevel };

// One window of the program: its number, how it is made, a command of its sub-menu of
// "Bearbeiten" (its pop-up menu too; 0 for none), and what kind of window it is.
struct WindowRow {
    int number;
    WindowKind kind;
    int editCommand;
    std::unique_ptr<Form> (*create)();
    MdiChildForm* (*child)(Form&);  // the form as MDI child; nullptr for other kinds
};

// Creates each window on first request (without showing it), hands it out, and closes one
// window or all of them. Which windows exist is its table of rows, nothing else.
class clsWindowHandler : public FormSource {
public:
    // The window of class T (T::kWindowNo), created on first request.
    template <class T> T& Get() { return static_cast<T&>(Window(T::kWindowNo)); }
    // The same by number; throws for a number without a row.
    Form& Window(int number) override;
    // The child window of this number inside the main window, created on first request;
    // nullptr for numbers that are no MDI child or not part of the program yet.
    MdiChildForm* Child(int number);
    // Offers a menu command to the loaded child windows until one handles it: the one whose
    // frame is `active` first, then the others in the order of the table.
    bool RouteCommand(int id, HWND active);

    static std::span<const WindowRow> Rows();
    static const WindowRow* Row(int number);
    // Whether the program has the window of this number (windows still to come are not offered).
    static bool Available(int number) { return Row(number) != nullptr; }
    // Whether the window of this number exists right now.
    bool IsLoaded(int number) const override;
    // Unloads one window and empties its slot; 99 closes all, children first and the main window last.
    void CloseWindow(int16_t number) override;

private:
    std::map<int, std::unique_ptr<Form>> slots_;
};

// The program's one window handler, created by Main.
clsWindowHandler& WindowHandler();
