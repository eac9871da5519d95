// app/core/WindowHandler.cpp
#include "core/WindowHandler.h"
#include "backup/frmBackup.h"
#include "errors/frmError.h"
#include "ui/frmLogin.h"
#include "ui/frmMDI.h"
#include "ui/frmPopUp.h"
#include "core/win/MdiChild.h"
#include "scan/frmRegScan.h"

template <class T>
T& clsWindowHandler::Get(int number) {
    auto& slot = slots_[number];
    if (!slot || !slot->Loaded()) {
        slot.reset();
        auto form = std::make_unique<T>();
        T& ref = *form;
        slot = std::move(form);
        ref.Load();
        return ref;
    }
    return static_cast<T&>(*slot);
}

frmMDI& clsWindowHandler::MDI() { return Get<frmMDI>(WindowNo::MDI); }
frmError& clsWindowHandler::Error() { return Get<frmError>(WindowNo::Error); }
frmLogin& clsWindowHandler::Login() { return Get<frmLogin>(WindowNo::Login); }
frmPopUp& clsWindowHandler::PopUp() { return Get<frmPopUp>(WindowNo::PopUp); }
frmBackup& clsWindowHandler::Backup() { return Get<frmBackup>(WindowNo::Backup); }
frmRegScan& clsWindowHandler::RegScan() { return Get<frmRegScan>(WindowNo::RegScan); }

MdiChildForm* clsWindowHandler::Child(int number) {
    switch (number) {
    case WindowNo::RegScan: return &RegScan();
    case WindowNo::Backup: return &Backup();
    default: return nullptr;
    }
}

bool clsWindowHandler::Available(int number) {
    switch (number) {
    case WindowNo::MDI: case WindowNo::Error: case WindowNo::Login: case WindowNo::PopUp: return true;
    case WindowNo::RegScan: return true;
    case WindowNo::Backup: return true;
    default: return false;
    }
}

bool clsWindowHandler::IsLoaded(int number) const {
    return number >= 0 && number < 13 && slots_[number] && slots_[number]->Loaded();
}

void clsWindowHandler::CloseWindow(int16_t number) {
    auto close = [this](int n) {
        if (!slots_[n]) return;
        // Take the window out of its slot first: its unload may ask the handler for windows again.
        std::unique_ptr<Form> form = std::move(slots_[n]);
        form->Unload();
    };
    if (number == WindowNo::All) {
        for (int n = 12; n >= 0; --n) close(n);
    } else if (number >= 0 && number <= 12) {
        close(number);
    }
}

clsWindowHandler& WindowHandler() {
    static clsWindowHandler handler;
    return handler;
}
