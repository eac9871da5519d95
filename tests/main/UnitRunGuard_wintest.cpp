// tests/main/UnitRunGuard_wintest.cpp: the main window opened once, as a window test does. CMake
// also runs it as a unit run would (TORVANE_TEST_RUN=unit), where it must fail and be named.
#include "main/WindowHandler.h"
#include "main/frmMDI.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <gtest/gtest.h>

TEST(UnitRunGuard, OpensTheMainWindow) {
    RegistrySandbox sandbox;
    TempFolder folder;
    KeepProcessOnFrameExit frameExit;
    PrepareEnvironment(folder.Path());
    frmMDI& f = WindowHandler().Get<frmMDI>();
    f.Show();
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(f.hwnd()) != FALSE; }));
    WindowHandler().CloseWindow(WindowNo::All);
}
