// app/core/RecyclerNotice.h
#pragma once
#include "core/AppEnvironment.h"
#include <windows.h>
#include <string>

// What the windows that delete files say beside their commands, by the setting "Recycler", and
// the colour they say it in.
inline std::wstring RecyclerNotice() {
    return AppSwitches.Recycler == 1 ? L"Zu löschende Dateien werden in den Papierkorb verschoben."
                                     : L"Zu löschende Dateien werden unwiederbringlich gelöscht.";
}
inline COLORREF RecyclerColour() { return AppSwitches.Recycler == 1 ? RGB(0, 128, 0) : RGB(255, 0, 0); }
