// app/extras/ExtrasMenu.cpp
#include "extras/ExtrasMenu.h"
#include "core/WindowHandler.h"
#include "core/win/Menu.h"
#include "ui/frmMDI.h"
#include "ui/frmMDI.rh"

namespace {
// The pop-up of `menu` (at any depth) that holds the command itself.
HMENU PopupHolding(HMENU menu, UINT id) {
    for (int p = 0; p < GetMenuItemCount(menu); ++p) {
        if (GetMenuItemID(menu, p) == id) return menu;
        if (HMENU sub = GetSubMenu(menu, p))
            if (HMENU found = PopupHolding(sub, id)) return found;
    }
    return nullptr;
}
}  // namespace

HMENU ExtraScanMenu() {
    if (!WindowHandler().IsLoaded(WindowNo::MDI)) return nullptr;
    return PopupHolding(WindowHandler().Get<frmMDI>().MenuBar(), IDM_mnuExtraScanRegistryDefrag);
}

void SetExtraScanMenus(bool autostart, bool fileExt) {
    HMENU m = ExtraScanMenu();
    if (!m) return;
    MenuItem::EnablePopup(m, kMenuExtraScanAutostart, autostart);
    MenuItem::EnablePopup(m, kMenuExtraScanFileExt, fileExt);
    DrawMenuBar(WindowHandler().Get<frmMDI>().hwnd());
}
