// app/extras/ExtrasMenu.cpp
#include "extras/ExtrasMenu.h"
#include "main/WindowHandler.h"
#include "core/win/Menu.h"
#include "main/frmMDI.h"


HMENU ExtraScanMenu() {
    if (!WindowHandler().IsLoaded(WindowNo::MDI)) return nullptr;
    return WindowHandler().Get<frmMDI>().EditMenu(WindowNo::ExtraScan);
}

void SetExtraScanMenus(bool autostart, bool fileExt) {
    HMENU m = ExtraScanMenu();
    if (!m) return;
    MenuItem::EnablePopup(m, kMenuExtraScanAutostart, autostart);
    MenuItem::EnablePopup(m, kMenuExtraScanFileExt, fileExt);
    DrawMenuBar(WindowHandler().Get<frmMDI>().hwnd());
}
