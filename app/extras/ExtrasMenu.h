// app/extras/ExtrasMenu.h
#pragma once
#include <windows.h>

// The main window's "Extra Scan" menu (below "Bearbeiten"); nullptr without a main window.
HMENU ExtraScanMenu();
// Its sub-menus by position: "Autostart Programme" and "Dateierweiterungen".
constexpr int kMenuExtraScanAutostart = 0, kMenuExtraScanFileExt = 1;
// Enables or disables the two sub-menus as a page needs them, and redraws the menu bar.
void SetExtraScanMenus(bool autostart, bool fileExt);
