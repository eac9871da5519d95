// app/ui/InternetDialogs.cpp
#include "ui/InternetDialogs.h"
#include "assistant/clsAgent.h"
#include "core/AppEnvironment.h"
#include "core/DoEvents.h"
#include "core/UniqueHandle.h"
#include "core/win/Dialog.h"
#include "core/Service.h"
#include "ui/InternetDialogs.rh"
#include <commdlg.h>
#include <shlobj.h>

// The small window shown while a request runs; "Abbrechen" and Escape cancel it.
class InternetWaitWindow : public Dialog {
public:
    const wchar_t* Name() const override { return L"clsInternet"; }
    explicit InternetWaitWindow(std::wstring text) : text_(std::move(text)) {}
    ~InternetWaitWindow() override {
        if (h_ && IsWindow(h_)) {
            UnregisterModeless(h_);
            DestroyWindow(h_);
        }
    }
    void Open() {
        HWND owner = GetActiveWindow();
        if (CreateModeless(owner, IDD_dlgInternetWait)) {
            ShowWindow(h_, SW_SHOW);
            UpdateWindow(h_);
        }
    }
    void SetProgress(unsigned long long bytes) {
        if (!h_ || bytes == shown_) return;
        shown_ = bytes;
        Item(IDC_lblInternetWait).SetText(text_ + L"\r\n" + std::to_wstring(bytes / 1024) + L" KB empfangen");
    }

protected:
    bool OnInit() override {
        Item(IDC_lblInternetWait).SetText(text_);
        return true;
    }
    void OnCommand(int id, int, HWND) override {
        if (id == IDC_cmdInternetCancel || id == IDCANCEL) clsInternet::Cancel();
    }
    void OnClose() override { clsInternet::Cancel(); }

private:
    std::wstring text_;
    unsigned long long shown_ = 0;
};

InternetDialogs::InternetDialogs() = default;
InternetDialogs::~InternetDialogs() = default;

void InternetDialogs::Say(const wchar_t* procedure, const std::wstring& text) {
    Service<clsAgent>().Say(L"clsInternet", procedure, text);
}

void InternetDialogs::Tell(const std::wstring& text, Tone tone) {
    MessageBoxW(GetActiveWindow(), text.c_str(), AppEnvironment.AppTitle.c_str(),
                (tone == Tone::Warning ? MB_ICONWARNING : MB_ICONINFORMATION) | MB_OK);
}

bool InternetDialogs::Ask(const std::wstring& question, Tone tone, bool yesIsDefault) {
    const UINT style = (tone == Tone::Warning ? MB_ICONWARNING : MB_ICONQUESTION) | (yesIsDefault ? 0 : MB_DEFBUTTON2) |
                       MB_YESNO;
    return MessageBoxW(GetActiveWindow(), question.c_str(), AppEnvironment.AppTitle.c_str(), style) == IDYES;
}

std::wstring InternetDialogs::ChooseSavePath(const std::wstring& suggested) {
    wchar_t path[MAX_PATH] = L"";
    lstrcpynW(path, suggested.c_str(), MAX_PATH);
    std::wstring folder;
    UniqueCoTaskMem<PWSTR> downloads;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, downloads.put()))) folder = downloads.get();
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = L"Programme (*.exe)\0*.exe\0Alle Dateien (*.*)\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = L"Update speichern unter";
    ofn.lpstrDefExt = L"exe";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    return GetSaveFileNameW(&ofn) ? std::wstring(path) : std::wstring();
}

void InternetDialogs::WaitBegins(const std::wstring& text) {
    wait_ = std::make_unique<InternetWaitWindow>(text);
    wait_->Open();
}

void InternetDialogs::WaitProgress(unsigned long long bytes) {
    if (wait_) wait_->SetProgress(bytes);
}

void InternetDialogs::WaitEnds() { wait_.reset(); }
