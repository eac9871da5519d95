// app/core/clsTimer.cpp
#include "core/clsTimer.h"
#include "core/DoEvents.h"
#include <windows.h>

void clsTimer::Pause(int16_t seconds) {
    if (seconds <= 0) return;
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    while (GetTickCount64() < until) {
        DoEvents();
        // Sleep until the next message or 10 ms, so waiting costs no processor time.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}
