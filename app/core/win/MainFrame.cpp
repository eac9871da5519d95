// app/core/win/MainFrame.cpp
#include "core/win/MainFrame.h"

namespace {
MainFrame*& Installed() {
    static MainFrame* frame = nullptr;
    return frame;
}
}  // namespace

MainFrame* AppFrame() { return Installed(); }
void InstallAppFrame(MainFrame* frame) { Installed() = frame; }

void CloseAllWindows() {
    if (MainFrame* frame = AppFrame()) frame->CloseAll();
}
