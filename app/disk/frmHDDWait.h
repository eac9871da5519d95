// app/disk/frmHDDWait.h
#pragma once
#include "core/win/Dialog.h"
#include <string>

// The wait window of the disk cleanup: a message, a progress bar and the count of entries done.
// Modeless, so the program stays responsive while folders are emptied.
class frmHDDWait : public Dialog {
public:
    const wchar_t* Name() const override { return L"frmHDDWait"; }
    void Open(HWND owner, const std::wstring& message);
    // Entries handled of all in the current folder; repainted at most every 100 ms.
    void Progress(size_t done, size_t total);
    void Close() { Destroy(); }

private:
    unsigned long long lastPaint_ = 0;
};
