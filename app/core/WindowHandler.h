// app/core/WindowHandler.h
#pragma once
#include "core/win/Form.h"
#include <cstdint>
#include <memory>

class frmMDI;
class frmBackup;
class frmError;
class frmLogin;
class frmPopUp;
class frmRegScan;
class MdiChildForm;

// Window numbers, as CloseWindow takes them.
namespace WindowNo {
constexpr int MDI = 0, RegScan = 1, AutorunNew = 2, Backup = 3, BugReport = 4, Error = 5, ExtraScan = 6, HDD = 7,
              InstalledPrograms = 8, Login = 9, Office = 10, Optionen = 11, PopUp = 12, All = 99;
}

// Creates each window on first request (without showing it), hands it out, and closes one
// window or all of them.
class clsWindowHandler {
public:
    frmMDI& MDI();
    frmError& Error();
    frmLogin& Login();
    frmPopUp& PopUp();
    frmBackup& Backup();
    frmRegScan& RegScan();

    // The child window of this number inside the main window, created on first request;
    // nullptr for numbers that are no child window or not part of the program yet.
    MdiChildForm* Child(int number);

    // Whether the program has the window of this number (windows still to come are not offered).
    static bool Available(int number);
    // Whether the window of this number exists right now.
    bool IsLoaded(int number) const;
    // Unloads one window and empties its slot; 99 closes all, children first and the main window last.
    void CloseWindow(int16_t number);

private:
    template <class T> T& Get(int number);
    std::unique_ptr<Form> slots_[13];
};

// The program's one window handler, created by Main.
clsWindowHandler& WindowHandler();
