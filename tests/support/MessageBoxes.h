// tests/support/MessageBoxes.h
#pragma once
#include <windows.h>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

// Answers every message box with the given caption, one after the other, while it lives: the
// buttons are taken in turn from `answers` (the last one repeats). Records each box's text.
class MessageBoxes {
public:
    MessageBoxes(std::wstring caption, std::vector<int> answers)
        : caption_(std::move(caption)), answers_(std::move(answers)) {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~MessageBoxes() {
        stop_ = true;
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
    }
    std::vector<std::wstring> Texts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }
    std::vector<int> DefaultButtons() {
        std::lock_guard<std::mutex> lock(mutex_);
        return defaults_;
    }

private:
    static DWORD WINAPI Run(void* p) {
        auto* self = static_cast<MessageBoxes*>(p);
        HWND last = nullptr;
        while (!self->stop_) {
            HWND w = FindWindowW(L"#32770", self->caption_.c_str());
            if (w && w != last && IsWindowVisible(w)) {
                std::wstring text;
                int defaultButton = 0;
                for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                    wchar_t cls[32], buf[4096];
                    GetClassNameW(c, cls, 32);
                    if (lstrcmpiW(cls, L"Static") == 0 && GetWindowTextW(c, buf, 4096) > 0) text += buf;
                    if (lstrcmpiW(cls, L"Button") == 0 && (GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                        defaultButton = GetDlgCtrlID(c);
                }
                size_t n;
                {
                    std::lock_guard<std::mutex> lock(self->mutex_);
                    self->texts_.push_back(text);
                    self->defaults_.push_back(defaultButton);
                    n = self->texts_.size();
                }
                const int button = self->answers_.empty() ? IDOK : self->answers_[std::min(n, self->answers_.size()) - 1];
                PostMessageW(w, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
                last = w;
            }
            if (last && !IsWindow(last)) last = nullptr;
            Sleep(20);
        }
        return 0;
    }
    std::wstring caption_;
    std::vector<int> answers_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::wstring> texts_;
    std::vector<int> defaults_;
    HANDLE thread_ = nullptr;
};
