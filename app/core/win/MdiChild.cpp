// app/core/win/MdiChild.cpp
#include "core/win/MdiChild.h"
#include "core/win/IdBases.h"
#include "core/Trap.h"

namespace {
const wchar_t* kClass = L"TorvaneMdiChild";
void RegisterClassOnce() {
    static bool done = false;
    if (done) return;
    WNDCLASSEXW wc{sizeof wc};
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT { return DefMDIChildProcW(h, m, w, l); };
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM));
    wc.lpszClassName = kClass;
    RegisterClassExW(&wc);
    done = true;
}
}  // namespace

MdiChildForm::~MdiChildForm() {
    if (frame_ && IsWindow(frame_)) {
        SetWindowLongPtrW(frame_, GWLP_USERDATA, 0);
        SendMessageW(client_, WM_MDIDESTROY, reinterpret_cast<WPARAM>(frame_), 0);
    }
}

bool MdiChildForm::CreateChild(HWND mdiClient, int templateId, const std::wstring& caption) {
    RegisterClassOnce();
    client_ = mdiClient;
    frame_ = CreateMDIWindowW(kClass, caption.c_str(), WS_CHILD | WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, mdiClient,
                              GetModuleHandleW(nullptr), 0);
    if (!frame_) return false;
    ShowWindow(frame_, SW_HIDE);
    SetWindowLongPtrW(frame_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(frame_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameProc));
    if (!CreateModeless(frame_, templateId)) return false;
    // Size the frame so that its client area is exactly the template.
    RECT r = Bounds();
    RECT want{0, 0, r.right - r.left, r.bottom - r.top};
    AdjustWindowRectEx(&want, GetWindowLongW(frame_, GWL_STYLE), FALSE, GetWindowLongW(frame_, GWL_EXSTYLE));
    SetWindowPos(frame_, nullptr, 0, 0, want.right - want.left, want.bottom - want.top, SWP_NOMOVE | SWP_NOZORDER);
    Show();
    return true;
}

void MdiChildForm::ShowChild() {
    if (!Alive()) return;
    // The client activates a child when it is created, before the child can hear of it; then the
    // activation below changes nothing, so the child is told here when it first shows.
    const bool hiddenActive = !IsWindowVisible(frame_) &&
                              reinterpret_cast<HWND>(SendMessageW(client_, WM_MDIGETACTIVE, 0, 0)) == frame_;
    ShowWindow(frame_, SW_SHOW);
    SendMessageW(client_, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(frame_), 0);
    if (hiddenActive) OnActivate(true);
}

void MdiChildForm::CloseChild() {
    if (Alive()) SendMessageW(client_, WM_MDIDESTROY, reinterpret_cast<WPARAM>(frame_), 0);
}

LRESULT CALLBACK MdiChildForm::FrameProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<MdiChildForm*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (self) {
        try {
            switch (msg) {
            case WM_SIZE:
                if (self->hwnd()) MoveWindow(self->hwnd(), 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
                break;  // DefMDIChildProc must see WM_SIZE too
            case WM_SETFOCUS:
                if (self->hwnd()) SetFocus(self->hwnd());
                return 0;
            case WM_MDIACTIVATE:
                self->OnActivate(reinterpret_cast<HWND>(lp) == h);
                break;
            case WM_CLOSE:
                if (!self->OnQueryClose()) return 0;
                break;
            case WM_NCDESTROY:
                self->frame_ = nullptr;
                break;
            }
        } catch (...) {
            ReportError(self->Name(), L"WindowProc", CurrentError(), Style::Warning);
        }
    }
    return DefMDIChildProcW(h, msg, wp, lp);
}
