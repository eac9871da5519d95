// app/assistant/clsAgent.cpp
#include "assistant/clsAgent.h"
#include "core/AppEnvironment.h"
#include "core/Trap.h"
#include "core/win/Window.h"

namespace {
const wchar_t* kModule = L"clsAgent";
const wchar_t* kId = L"Agent";

bool FileThere(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

AgentCharacter* clsAgent::Agent(const wchar_t* operation, const std::wstring& file) {
    if (AppSwitches.AgentLoad == 0) return nullptr;
    if (!loaded_) {
        Trace(kModule, operation, L"AgentRun laden");
        AgentRun(file);
        if (!loaded_) return nullptr;
    }
    return &control_.Character(kId);
}

void clsAgent::AgentSpeak(const std::wstring& file, const std::wstring& text) {
    if (AgentCharacter* c = Agent(L"AgentSpeak", file)) c->Speak(text);
}

void clsAgent::AgentPlay(const std::wstring& file, const std::wstring& animation) {
    if (AgentCharacter* c = Agent(L"AgentPlay", file)) c->Play(animation);
}

void clsAgent::AgentMoveTo(const std::wstring& file, int16_t x, int16_t y) {
    if (AgentCharacter* c = Agent(L"AgentMoveTo", file)) c->MoveTo(x, y);
}

std::wstring clsAgent::AgentName(const std::wstring& file) {
    AgentCharacter* c = Agent(L"AgentName", file);
    return c ? c->Name() : L"";
}

void clsAgent::AgentStop(const std::wstring& file) {
    if (AgentCharacter* c = Agent(L"AgentStop", file)) c->Stop();
}

void clsAgent::AgentRun(const std::wstring& file) {
    try {
        if (loaded_) {
            // The flag goes with the character: a file that cannot be loaded leaves none behind.
            control_.Unload(kId);
            loaded_ = false;
            loadedFile_.clear();
        }
        const std::wstring path = AppEnvironment.AgentCharsDir + file;
        if (file.empty() || !FileThere(path)) return;
        control_.Load(kId, path);
        loaded_ = true;
        loadedFile_ = file;
        control_.Character(kId).Show();
    } catch (...) {
        ReportError(kModule, L"AgentRun", CurrentError(), Style::Warning, false);
    }
}

void clsAgent::AgentUnload() {
    if (!loaded_) return;
    control_.Character(kId).Hide();
    control_.Unload(kId);
    loaded_ = false;
    loadedFile_.clear();
}

void clsAgent::Speak(const std::wstring& text) { AgentSpeak(AppSwitches.AgentFile, text); }
void clsAgent::Play(const std::wstring& animation) { AgentPlay(AppSwitches.AgentFile, animation); }
void clsAgent::Stop() { AgentStop(AppSwitches.AgentFile); }
std::wstring clsAgent::Name() { return AgentName(AppSwitches.AgentFile); }

void clsAgent::Say(const wchar_t* module, const wchar_t* procedure, const std::wstring& text) {
    Trap(module, procedure, [&] { Speak(text); });
}

void clsAgent::MoveNear(HWND window) {
    RECT r{};
    if (!GetWindowRect(window, &r)) return;
    // 1700 twips left of the right edge and 2400 twips above the bottom edge.
    const int x = r.right - 1700 / TwipsPerPixelX(), y = r.bottom - 2400 / TwipsPerPixelY();
    AgentMoveTo(AppSwitches.AgentFile, static_cast<int16_t>(x), static_cast<int16_t>(y));
}

std::wstring clsAgent::Doubled(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        out.push_back(c);
        if (c == L'\\') out.push_back(c);
    }
    return out;
}

AgentCharacter* clsAgent::Character() { return loaded_ ? &control_.Character(kId) : nullptr; }
