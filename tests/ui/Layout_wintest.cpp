// tests/ui/Layout_wintest.cpp
// Every window of the main frame at 100 %, 150 % and 200 %, as it opens and at the smallest size
// the frame allows: no text cut off by its control, no controls on top of each other or outside
// their parent, no column caption wider than its column, tool bar pictures at the scale.
// The scale (LogPixels) is read when a process starts: each scale runs in a process of its own,
// started by the test with the scale set.
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include "core/win/MdiChild.h"
#include "core/win/Window.h"
#include "main/WindowHandler.h"
#include "main/frmMDI.h"
#include "support/LayoutCheck.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <gtest/gtest.h>
#include <commctrl.h>
#include <algorithm>
#include <iterator>
#include <functional>
#include <string>

namespace {
const wchar_t kChild[] = L"TORVANE_LAYOUT_CHILD";

UINT ProcessDpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return static_cast<UINT>(dpi);
}

// Every tab of every tab control below the window, one after the other, as a click selects it.
void EachTab(HWND window, const std::function<void(const std::wstring&)>& check) {
    bool any = false;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[64] = L"";
        GetClassNameW(c, cls, 64);
        if (lstrcmpiW(cls, WC_TABCONTROLW) == 0 && IsWindowVisible(c)) {
            any = true;
            for (int i = 0; i < TabCtrl_GetItemCount(c); ++i) {
                TabCtrl_SetCurSel(c, i);
                NMHDR hdr{c, static_cast<UINT_PTR>(GetDlgCtrlID(c)), static_cast<UINT>(TCN_SELCHANGE)};
                SendMessageW(GetParent(c), WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
                PumpPending();
                wchar_t caption[128] = L"";
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = caption;
                item.cchTextMax = 128;
                TabCtrl_GetItem(c, i, &item);
                check(caption);
            }
        }
    }
    if (!any) check(L"");
}

// Faults the check finds today, each with its reason; the test fails when one of them is gone, so
// the list only ever shrinks. At the smallest size the frame allows at 100 %, these two pages are
// laid out for more room than the child window then has.
const wchar_t* const kKnownFaults[] = {
    // The history page: its result labels grow with the page and reach under the buttons beside them.
    L"Erweiterte Registry Funktionen / Verläufe (100 %, klein): Static 2416 und Button 2420 \"&Bereinigung starten\" überdecken sich",
    L"Erweiterte Registry Funktionen / Verläufe (100 %, klein): Static 2416 und Button 2421 \"&Abbrechen\" überdecken sich",
    L"Erweiterte Registry Funktionen / Verläufe (100 %, klein): Static 2418 und Button 2420 \"&Bereinigung starten\" überdecken sich",
    L"Erweiterte Registry Funktionen / Verläufe (100 %, klein): Static 2418 und Button 2421 \"&Abbrechen\" überdecken sich",
    // The Outlook security page: its frame and buttons keep their designed place below the window's end.
    L"Microsoft Office / Microsoft Outlook XP Sicherheit (100 %, klein): Button 1741 \"Outlook XP Sicherheitseinstellungen\" und Button 1701 \"kein oder unbekannte Microsoft Office Ve\" überdecken sich",
    L"Microsoft Office / Microsoft Outlook XP Sicherheit (100 %, klein): Button 1741 \"Outlook XP Sicherheitseinstellungen\" und SysTabControl32 1702 überdecken sich",
    L"Microsoft Office / Microsoft Outlook XP Sicherheit (100 %, klein): Button 1741 \"Outlook XP Sicherheitseinstellungen\": liegt außerhalb von #32770 0",
    L"Microsoft Office / Microsoft Outlook XP Sicherheit (100 %, klein): Button 1751 \"Journal für &Excel abschalten\" und Button 1701 \"kein oder unbekannte Microsoft Office Ve\" überdecken sich",
    L"Microsoft Office / Microsoft Outlook XP Sicherheit (100 %, klein): Button 1754 \"A&lle Journale abschalten\" und Button 1701 \"kein oder unbekannte Microsoft Office Ve\" überdecken sich",
    L"Microsoft Office / Microsoft Outlook XP Sicherheit (100 %, klein): Button 1755 \"Gesamte Outlook Sicherheitseinstellung a\": liegt außerhalb von #32770 0",
};

// In the process of one scale: the frame and every child window, checked and pictured.
std::vector<std::wstring> CheckEveryWindow(UINT dpi) {
    std::vector<std::wstring> faults;
    RegistrySandbox sandbox;
    TempFolder folder;
    PrepareEnvironment(folder.Path());
    KeepProcessOnFrameExit frameExit;
    const std::wstring scale = std::to_wstring(dpi * 100 / 96);
    frmMDI& frame = WindowHandler().Get<frmMDI>();
    frame.Show();
    PumpPending();
    // The tool bar's pictures grow with the scale (24 px at 100 %, 16 on small screens), to the
    // nearest size there is.
    int picture = 0, unused = 0;
    ImageList_GetIconSize(frame.ToolbarImages(), &picture, &unused);
    const bool smallScreen = MulDiv(GetSystemMetrics(SM_CYSCREEN), 96, static_cast<int>(dpi)) < 700;
    if (picture < MulDiv(smallScreen ? 16 : 24, static_cast<int>(dpi), 96) - 4)
        faults.push_back(L"Hauptfenster (" + scale + L" %): Symbolleiste mit Bildern von " + std::to_wstring(picture) + L" px");
    for (const bool smallest : {false, true}) {
        if (smallest) {
            ShowWindow(frame.hwnd(), SW_RESTORE);
            SetWindowPos(frame.hwnd(), nullptr, 0, 0, 1, 1, SWP_NOMOVE | SWP_NOZORDER);  // raised to its least
            PumpPending();
        }
        const std::wstring size = smallest ? L"klein" : L"normal";
        for (const std::wstring& f : LayoutFaults(frame.hwnd(), L"Hauptfenster (" + scale + L" %, " + size + L")"))
            faults.push_back(f);
        for (const WindowRow& row : clsWindowHandler::Rows()) {
            if (!row.child) continue;
            MdiChildForm* child = WindowHandler().Child(row.number);
            if (!child) continue;
            child->ShowChild();
            PumpPending();
            const std::wstring name = Wnd(child->Frame()).Text();
            EachTab(child->hwnd(), [&](const std::wstring& tab) {
                const std::wstring label = name + (tab.empty() ? L"" : L" / " + tab) + L" (" + scale + L" %, " + size + L")";
                for (const std::wstring& f : LayoutFaults(child->Frame(), label)) faults.push_back(f);
            });
        }
    }
    WindowHandler().CloseWindow(WindowNo::All);
    return faults;
}

// Runs the named test again in a process at this scale and hands on what it found.
void AtScale(UINT dpi, const char* test) {
    if (GetEnvironmentVariableW(kChild, nullptr, 0)) {
        ASSERT_EQ(ProcessDpi(), dpi) << "the scale did not reach the process";
        const std::vector<std::wstring> faults = CheckEveryWindow(dpi);
        const std::wstring scale = L"(" + std::to_wstring(dpi * 100 / 96) + L" %";
        for (const std::wstring& f : faults)
            if (std::find(std::begin(kKnownFaults), std::end(kKnownFaults), f) == std::end(kKnownFaults))
                ADD_FAILURE() << ToUtf8(f);
        for (const wchar_t* known : kKnownFaults)
            if (std::wstring(known).find(scale) != std::wstring::npos &&
                std::find(faults.begin(), faults.end(), known) == faults.end())
                ADD_FAILURE() << "no longer found, take it off the list: " << ToUtf8(known);
        return;
    }
    const DWORD value = dpi;
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &value, sizeof value),
              ERROR_SUCCESS);
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=Layout." + FromUtf8(test);
    SetEnvironmentVariableW(kChild, L"1");
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(kChild, nullptr);
    DWORD code = 1;
    if (started) {
        WaitForSingleObject(pi.hProcess, 240000);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
    ASSERT_TRUE(started);
    EXPECT_EQ(code, 0u) << "the windows at " << dpi * 100 / 96 << " % have faults; the process at that scale lists them";
}
}  // namespace

TEST(Layout, EveryWindowAt100) { AtScale(96, "EveryWindowAt100"); }
TEST(Layout, EveryWindowAt150) { AtScale(144, "EveryWindowAt150"); }
TEST(Layout, EveryWindowAt200) { AtScale(192, "EveryWindowAt200"); }
