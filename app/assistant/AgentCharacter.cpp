// app/assistant/AgentCharacter.cpp
#include "assistant/AgentCharacter.h"
#include "core/win/WindowThunk.h"
#include "core/RuntimeError.h"
#include "core/UniqueHandle.h"
#include "core/win/Window.h"
#include <algorithm>
#include <cstring>

namespace {
constexpr UINT_PTR kTimer = 1;
constexpr int kBalloonTextWidth = 230, kPad = 9, kTail = 12, kRound = 14;
const COLORREF kBalloonBack = RGB(255, 255, 225);

RECT WorkAreaAt(POINT p) {
    MONITORINFO mi{sizeof mi};
    GetMonitorInfoW(MonitorFromPoint(p, MONITOR_DEFAULTTONEAREST), &mi);
    return mi.rcWork;
}

void RegisterClasses(WNDPROC character, WNDPROC balloon) {
    static bool done = false;
    if (done) return;
    HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{sizeof wc};
    wc.lpfnWndProc = character;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = AgentCharacter::kWindowClass;
    RegisterClassExW(&wc);
    wc.lpfnWndProc = balloon;
    wc.lpszClassName = AgentCharacter::kBalloonClass;
    wc.hbrBackground = nullptr;
    RegisterClassExW(&wc);
    done = true;
}

[[noreturn]] void Lacks(const std::wstring& character, const std::wstring& animation) {
    Raise(Err::InvalidProperty, L"Der Charakter " + character + L" kennt die Animation \"" + animation + L"\" nicht.");
}
}  // namespace

AgentCharacter::AgentCharacter(AgentCharacterData data) : data_(std::move(data)) {
    idle_ = data_.Find(L"Idle");
    RegisterClasses(WindowThunk<AgentCharacter, &AgentCharacter::CharacterMessage>,
                    WindowThunk<AgentCharacter, &AgentCharacter::BalloonMessage>);
    HINSTANCE inst = GetModuleHandleW(nullptr);
    const DWORD ex = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
    wnd_ = CreateWindowExW(ex | WS_EX_LAYERED, kWindowClass, data_.name.c_str(), WS_POPUP, 0, 0, data_.width,
                           data_.height, nullptr, nullptr, inst, this);
    balloon_ = CreateWindowExW(ex, kBalloonClass, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, inst, this);
    if (!wnd_ || !balloon_) RaiseWin32(GetLastError());
    NONCLIENTMETRICSW ncm{sizeof ncm};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0)) font_.reset(CreateFontIndirectW(&ncm.lfMessageFont));

    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = data_.width;
    bi.bmiHeader.biHeight = -data_.height;  // top row first, as the file holds them
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(nullptr);
    surface_.reset(CreateCompatibleDC(screen));
    ReleaseDC(nullptr, screen);
    bitmap_.reset(CreateDIBSection(surface_.get(), &bi, DIB_RGB_COLORS, &bits_, nullptr, 0));
    oldBitmap_ = static_cast<HBITMAP>(SelectObject(surface_.get(), bitmap_.get()));
    Start(idle_);
}

AgentCharacter::~AgentCharacter() {
    for (HWND h : {wnd_, balloon_}) {
        if (!h || !IsWindow(h)) continue;
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        DestroyWindow(h);
    }
    if (surface_) SelectObject(surface_.get(), oldBitmap_);
}

int AgentCharacter::ReadingMs(const std::wstring& text) {
    return static_cast<int>(std::clamp<size_t>(1800 + 60 * text.size(), 2500, 15000));
}

std::wstring AgentCharacter::DisplayText(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        out.push_back(text[i]);
        if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'\\') ++i;
    }
    return out;
}

std::wstring AgentCharacter::CurrentAnimation() const { return current_ ? current_->name : L""; }

void AgentCharacter::Show() {
    if (!placed_) {
        // Until someone moves it, the character stands in the lower right corner of the screen.
        const RECT work = WorkAreaAt(POINT{0, 0});
        SetWindowPos(wnd_, nullptr, work.right - data_.width - 40, work.bottom - data_.height - 24, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        placed_ = true;
    }
    shownFrame_ = -1;
    Draw();
    SetWindowPos(wnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void AgentCharacter::Hide() {
    Stop();
    ShowWindow(wnd_, SW_HIDE);
}

void AgentCharacter::Speak(const std::wstring& text) {
    const AgentAnimation* speak = data_.Find(L"Speak");
    if (!speak) Lacks(data_.name, L"Speak");
    Queue(Action{Action::Speak, text, speak});
}

void AgentCharacter::Play(const std::wstring& animation) {
    const AgentAnimation* a = data_.Find(animation);
    if (!a) Lacks(data_.name, animation);
    Queue(Action{Action::Play, L"", a});
}

void AgentCharacter::MoveTo(int x, int y) { Queue(Action{Action::Move, L"", nullptr, x, y}); }

void AgentCharacter::Stop() {
    queue_.clear();
    if (voice_) voice_->Stop();
    if (speaking_) HideBalloon();
    speaking_ = false;
    Start(idle_);
}

void AgentCharacter::Queue(Action a) {
    queue_.push_back(std::move(a));
    // At rest the action starts at once; otherwise when the running one is done.
    if (!speaking_ && current_ == idle_) Next();
}

void AgentCharacter::Next() {
    while (!queue_.empty()) {
        Action a = std::move(queue_.front());
        queue_.pop_front();
        if (a.kind == Action::Move) {
            // The whole character stays on the screen it is moved to.
            const RECT work = WorkAreaAt(POINT{a.x, a.y});
            const int x = std::clamp<int>(a.x, work.left, std::max<int>(work.left, work.right - data_.width));
            const int y = std::clamp<int>(a.y, work.top, std::max<int>(work.top, work.bottom - data_.height));
            SetWindowPos(wnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            placed_ = true;
            continue;
        }
        Start(a.animation);
        if (a.kind == Action::Speak) {
            speaking_ = true;
            speakUntil_ = GetTickCount64() + ReadingMs(a.text);
            ShowBalloon(a.text);
            if (!voice_) voice_ = std::make_unique<AgentVoice>();
            voice_->Speak(DisplayText(a.text));
        }
        return;
    }
    Start(idle_);
}

void AgentCharacter::Start(const AgentAnimation* animation) {
    current_ = animation;
    step_ = 0;
    Draw();
    if (current_) SetTimer(wnd_, kTimer, static_cast<UINT>(current_->frameMs), nullptr);
    else KillTimer(wnd_, kTimer);
}

void AgentCharacter::Tick() {
    if (speaking_ && GetTickCount64() >= speakUntil_) {
        HideBalloon();
        speaking_ = false;
        Next();
        return;
    }
    if (!current_) return;
    const bool waiting = !queue_.empty();
    if (current_ == idle_ && waiting && !speaking_) {
        Next();
        return;
    }
    if (++step_ >= current_->frames.size()) {
        // A loop ends after its round once something else waits; a single run ends here.
        if (speaking_ || current_ == idle_ || (current_->loops && !waiting)) {
            step_ = 0;
        } else {
            Next();
            return;
        }
    }
    Draw();
}

void AgentCharacter::Draw() {
    const int frame = current_ ? current_->frames[step_] : 0;
    if (frame == shownFrame_ || frame >= static_cast<int>(data_.frames.size())) return;
    if (!bits_) return;
    std::memcpy(bits_, data_.frames[frame].data(), data_.frames[frame].size() * sizeof(uint32_t));
    SIZE size{data_.width, data_.height};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    if (UpdateLayeredWindow(wnd_, nullptr, nullptr, &size, surface_.get(), &origin, 0, &blend, ULW_ALPHA)) shownFrame_ = frame;
}

void AgentCharacter::ShowBalloon(const std::wstring& text) {
    SetWindowTextW(balloon_, DisplayText(text).c_str());
    PlaceBalloon();
    SetWindowPos(balloon_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(balloon_, nullptr, TRUE);
}

void AgentCharacter::HideBalloon() { ShowWindow(balloon_, SW_HIDE); }

void AgentCharacter::PlaceBalloon() {
    const std::wstring text = Wnd(balloon_).Text();
    HDC dc = GetDC(balloon_);
    HGDIOBJ old = SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(DEFAULT_GUI_FONT));
    RECT r{0, 0, kBalloonTextWidth, 0};
    DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(balloon_, dc);
    const int w = std::max<int>(r.right, 60) + 2 * kPad, bodyH = r.bottom + 2 * kPad, h = bodyH + kTail;

    RECT c{};
    GetWindowRect(wnd_, &c);
    const RECT work = WorkAreaAt(POINT{c.left, c.top});
    // Above the character, its tail pointing down at it; below when there is no room above.
    const bool below = c.top - h < work.top;
    int x = std::clamp<int>((c.left + c.right) / 2 - w / 2, work.left, std::max<int>(work.left, work.right - w));
    int y = below ? c.bottom : c.top - h;
    const int tailX = std::clamp<int>((c.left + c.right) / 2 - x, kRound, w - kRound - kTail);
    const int bodyTop = below ? kTail : 0;
    HRGN body = CreateRoundRectRgn(0, bodyTop, w + 1, bodyTop + bodyH + 1, kRound, kRound);
    POINT tail[3];
    if (below) tail[0] = {tailX, kTail + 1}, tail[1] = {tailX + kTail, kTail + 1}, tail[2] = {tailX + 2, 0};
    else tail[0] = {tailX, bodyH - 1}, tail[1] = {tailX + kTail, bodyH - 1}, tail[2] = {tailX + 2, h};
    const UniqueGdiObject<HRGN> t(CreatePolygonRgn(tail, 3, WINDING));
    CombineRgn(body, body, t.get(), RGN_OR);
    SetWindowPos(balloon_, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowRgn(balloon_, body, TRUE);  // the window owns the region from here
    bodyTop_ = bodyTop;
}

void AgentCharacter::PaintBalloon(HDC dc) {
    RECT client{};
    GetClientRect(balloon_, &client);
    {
        const UniqueGdiObject<HRGN> rgn(CreateRectRgn(0, 0, 0, 0));
        if (GetWindowRgn(balloon_, rgn.get()) == ERROR) SetRectRgn(rgn.get(), 0, 0, client.right, client.bottom);
        const UniqueGdiObject<HBRUSH> back(CreateSolidBrush(kBalloonBack));
        FillRgn(dc, rgn.get(), back.get());
        FrameRgn(dc, rgn.get(), static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)), 1, 1);
    }
    RECT text{kPad, bodyTop_ + kPad, client.right - kPad, client.bottom};
    HGDIOBJ old = SelectObject(dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, Wnd(balloon_).Text().c_str(), -1, &text, DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
}

LRESULT AgentCharacter::CharacterMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;  // a click never takes the focus from the user's window
    case WM_TIMER:
        if (wp == kTimer) Tick();
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

LRESULT AgentCharacter::BalloonMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_LBUTTONDOWN:
        // A click on the balloon ends the text early.
        speakUntil_ = 0;
        return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        PaintBalloon(dc);
        EndPaint(h, &ps);
        return 0;
    }
    }
    return DefWindowProcW(h, msg, wp, lp);
}

void AgentControl::Load(const std::wstring& id, const std::wstring& path) {
    AgentCharacterData data = ReadCharacterFile(path);
    characters_.erase(id);
    characters_[id] = std::make_unique<AgentCharacter>(std::move(data));
}

void AgentControl::Unload(const std::wstring& id) { characters_.erase(id); }

AgentCharacter& AgentControl::Character(const std::wstring& id) {
    auto it = characters_.find(id);
    if (it == characters_.end())
        Raise(Err::IndexOutOfBounds, L"Es ist kein Charakter unter dem Namen " + id + L" geladen.");
    return *it->second;
}
