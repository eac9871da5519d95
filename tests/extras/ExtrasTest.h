// tests/extras/ExtrasTest.h
#pragma once
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "main/WindowHandler.h"
#include "errors/clsError.h"
#include "extras/frmExtraScan.h"
#include "scan/ScanTestRegistry.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include <gtest/gtest.h>
#include <string>

// The extras window over a sandboxed registry, with its backup folder in a private folder.
class ExtrasTest : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppSwitches.Protokoll = 1;
        AppSwitches.Recycler = 0;
        AppEnvironment.RecentDir = folder.Path() + L"Recent\\";
        CreateDirectoryW(AppEnvironment.RecentDir.c_str(), nullptr);
    }
    void TearDown() override { WindowHandler().CloseWindow(WindowNo::All); }

    // Opens the window as the menu does and waits until its first page has read its lists.
    frmExtraScan& Open() {
        frmMDI& f = WindowHandler().Get<frmMDI>();
        f.Show();
        f.Command(IDM_mnuExtraScanShow);
        frmExtraScan& w = WindowHandler().Get<frmExtraScan>();
        EXPECT_TRUE(WaitFor([&] { return Count(L"ReadAutorunEntries; endet") > 0; }));
        return w;
    }
    std::wstring Log() { return FromAnsi(ReadBytes(clsError::LogPath())); }
    bool Logged(const std::wstring& text) { return Log().find(text) != std::wstring::npos; }
    size_t Count(const std::wstring& text) {
        const std::wstring log = Log();
        size_t n = 0;
        for (size_t p = log.find(text); p != std::wstring::npos; p = log.find(text, p + 1)) ++n;
        return n;
    }
    // The text of an undo file, whatever its encoding.
    static std::wstring FileText(const std::wstring& path) {
        const std::string b = ReadBytes(path);
        if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFF && static_cast<unsigned char>(b[1]) == 0xFE)
            return std::wstring(reinterpret_cast<const wchar_t*>(b.data() + 2), (b.size() - 2) / 2);
        return FromAnsi(b);
    }
    // Makes the backup folder impossible to create: a file stands where it should be.
    void BlockBackupFolder() { folder.Write(L"Backup", "kein Ordner"); }
    static void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

    KeepProcessOnFrameExit frameExit;
    RegistrySandbox sandbox;
    TempFolder folder;
};
