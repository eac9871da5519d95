// app/core/win/MdiChild.cpp
#include "core/win/MdiChild.h"
#include "core/AppEnvironment.h"
#include "core/Trap.h"
#include "core/win/IdBases.h"

namespace {
const wchar_t* kClass = L"TorvaneMdiChild";
}  // namespace

MdiChildForm::~MdiChildForm() {
    if (frame_ && IsWindow(frame_)) {
        SetWindowLongPtrW(frame_, GWLP_USERDATA, 0);
        SendMessageW(client_, WM_MDIDESTROY, reinterpret_cast<WPARAM>(frame_), 0);
    }
}

bool MdiChildForm::CreateChild(HWND mdiClient, int templateId, const std::wstring& caption) {
    static const bool registered = [] {
        WNDCLASSEXW wc{sizeof wc};
        wc.lpfnWndProc = FrameProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM));
        wc.lpszClassName = kClass;
        return RegisterClassExW(&wc) != 0;
    }();
    if (!registered) return false;
    client_ = mdiClient;
    complete_ = heardActive_ = false;
    // `this` reaches the frame procedure at WM_NCCREATE, so the child hears every message of
    // its frame from the first one on.
    if (!CreateMDIWindowW(kClass, caption.c_str(), WS_CHILD | WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, mdiClient, GetModuleHandleW(nullptr),
                          reinterpret_cast<LPARAM>(this)))
        return false;
    ShowWindow(frame_, SW_HIDE);
    if (!CreateModeless(frame_, templateId)) return false;
    // Size the frame so that its client area is exactly the template.
    RECT r = Bounds();
    RECT want{0, 0, r.right - r.left, r.bottom - r.top};
    AdjustWindowRectEx(&want, GetWindowLongW(frame_, GWL_STYLE), FALSE, GetWindowLongW(frame_, GWL_EXSTYLE));
    SetWindowPos(frame_, nullptr, 0, 0, want.right - want.left, want.bottom - want.top, SWP_NOMOVE | SWP_NOZORDER);
    Show();
    complete_ = true;
    return true;
}

void MdiChildForm::ShowChild() {
    if (!Alive()) return;
    ShowWindow(frame_, SW_SHOW);
    SendMessageW(client_, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(frame_), 0);
    // The client made the child active when it created it, before the child was complete: then
    // the activation above changed nothing, and the child hears of it now.
    if (reinterpret_cast<HWND>(SendMessageW(client_, WM_MDIGETACTIVE, 0, 0)) == frame_) Hear(true);
}

void MdiChildForm::Hear(bool active) {
    if (active == heardActive_) return;
    heardActive_ = active;
    OnActivate(active);
}

void MdiChildForm::CloseChild() {
    if (Alive()) SendMessageW(client_, WM_MDIDESTROY, reinterpret_cast<WPARAM>(frame_), 0);
}

void MdiChildForm::Maximize() const {
    if (Alive() && !IsZoomed(frame_)) SendMessageW(client_, WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(frame_), 0);
}

void MdiChildForm::Status(const std::wstring& text, int panel) const {
    if (const MainFrame* frame = AppFrame()) frame->SetStatus(panel, text);
}

void MdiChildForm::Info(const wchar_t* procedure, const std::wstring& message) const {
    Trace(Name(), procedure, message);
}

int MdiChildForm::Ask(const std::wstring& text, UINT style) const {
    return MessageBoxW(GetAncestor(hwnd(), GA_ROOT), text.c_str(), AppEnvironment.AppTitle.c_str(), style);
}

HMENU MdiChildForm::MenuBar() const {
    const MainFrame* frame = AppFrame();
    return frame ? frame->MenuBar() : nullptr;
}

void MdiChildForm::ShowEditPopup(int commandId) const {
    const MainFrame* frame = AppFrame();
    HMENU menu = frame ? frame->EditMenu(commandId) : nullptr;
    if (!menu) return;
    POINT pt{};
    GetCursorPos(&pt);
    TrackPopupMenuEx(menu, TPM_RIGHTBUTTON, pt.x, pt.y, frame->Window(), nullptr);
}

LRESULT MdiChildForm::OnNotify(NMHDR* hdr) {
    if (!records_ || hdr->hwndFrom != records_) return 0;
    // Enter is a key like the others: the list's own NM_RETURN after it is not passed on.
    switch (hdr->code) {
    case LVN_COLUMNCLICK: SortBy(reinterpret_cast<NMLISTVIEW*>(hdr)->iSubItem); break;
    case LVN_KEYDOWN: OnListKey(reinterpret_cast<NMLVKEYDOWN*>(hdr)->wVKey); break;
    case NM_DBLCLK: OnListDoubleClick(reinterpret_cast<NMITEMACTIVATE*>(hdr)->iItem); break;
    case NM_CLICK: OnListClick(false); break;
    case NM_RCLICK: OnListClick(true); break;
    default: break;
    }
    return 0;
}

bool OfferCommand(std::span<MdiChildForm* const> children, HWND active, int id) {
    MdiChildForm* first = nullptr;
    if (active)
        for (MdiChildForm* child : children)
            if (child->Frame() == active) first = child;
    if (first && first->OnMenuCommand(id)) return true;
    for (MdiChildForm* child : children)
        if (child != first && child->OnMenuCommand(id)) return true;
    return false;
}

LRESULT CALLBACK MdiChildForm::FrameProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
        const auto* mdi = static_cast<const MDICREATESTRUCTW*>(cs->lpCreateParams);
        if (auto* self = mdi ? reinterpret_cast<MdiChildForm*>(mdi->lParam) : nullptr) {
            self->frame_ = h;
            SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    auto* self = reinterpret_cast<MdiChildForm*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (self) {
        try {
            switch (msg) {
            case WM_SIZE:
                if (self->hwnd()) MoveWindow(self->hwnd(), 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
                break;  // DefMDIChildProc must see WM_SIZE too
            case WM_SETFOCUS:
                if (self->hwnd()) {
                    SetFocus(self->hwnd());
                    return 0;
                }
                break;
            case WM_MDIACTIVATE:
                // The client activates a child as it creates it, before it is complete and while
                // it is to stay hidden: the child hears of that when it is shown (ShowChild).
                if (reinterpret_cast<HWND>(lp) == h) {
                    if (self->complete_ && (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE)) self->Hear(true);
                } else if (self->complete_) {
                    self->Hear(false);
                }
                break;
            case WM_CLOSE:
                if (!self->OnQueryClose()) return 0;
                break;
            case WM_NCDESTROY:
                SetWindowLongPtrW(h, GWLP_USERDATA, 0);
                self->frame_ = nullptr;
                self->complete_ = false;
                self->heardActive_ = false;
                break;
            }
        } catch (...) {
            ReportError(self->Name(), L"WindowProc", CurrentError(), Style::Warning);
        }
    }
    return DefMDIChildProcW(h, msg, wp, lp);
}
