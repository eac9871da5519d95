// app/core/win/StatusBar.h
#pragma once
#include "core/win/Window.h"
#include <commctrl.h>
#include <string>
#include <vector>

// Status bar with text panels (numbered from 1 as the program speaks of them).
class StatusBar : public Wnd {
public:
    StatusBar(HWND h = nullptr) : Wnd(h) {}
    void SetPanelWidths(const std::vector<int>& widths) const {
        std::vector<int> rights;
        int x = 0;
        for (int w : widths) rights.push_back(w < 0 ? -1 : (x += w));
        SendMessageW(h_, SB_SETPARTS, rights.size(), reinterpret_cast<LPARAM>(rights.data()));
    }
    int PanelWidth(int panel) const {
        RECT r{};
        SendMessageW(h_, SB_GETRECT, panel - 1, reinterpret_cast<LPARAM>(&r));
        return r.right - r.left;
    }
    void SetPanel(int panel, const std::wstring& text) const {
        SendMessageW(h_, SB_SETTEXTW, panel - 1, reinterpret_cast<LPARAM>(text.c_str()));
    }
    std::wstring Panel(int panel) const {
        int n = LOWORD(SendMessageW(h_, SB_GETTEXTLENGTHW, panel - 1, 0));
        std::wstring s(n + 1, L'\0');
        SendMessageW(h_, SB_GETTEXTW, panel - 1, reinterpret_cast<LPARAM>(s.data()));
        s.resize(n);
        return s;
    }
};
