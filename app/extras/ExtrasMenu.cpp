// app/extras/ExtrasMenu.cpp
#include "extras/ExtrasMenu.h"
#include "core/win/MainFrame.h"
#include "core/win/Menu.h"
#include "extras/frmExtraScan.rh"


HMENU ExtraScanMenu() {
    const MainFrame* frame = AppFrame();
    return frame ? frame->EditMenu(IDM_mnuExtraScanRegistryDefrag) : nullptr;
}

void SetExtraScanMenus(bool autostart, bool fileExt) {
    HMENU m = ExtraScanMenu();
    if (!m) return;
    MenuItem::EnablePopup(m, kMenuExtraScanAutostart, autostart);
    MenuItem::EnablePopup(m, kMenuExtraScanFileExt, fileExt);
    DrawMenuBar(AppFrame()->Window());
}
