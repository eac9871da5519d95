// app/assistant/clsAgent.h
#pragma once
#include "core/Service.h"
#include "assistant/AgentCharacter.h"
#include <windows.h>
#include <cstdint>
#include <string>


// The assistant character. With "AgentLoad" 0 every operation does nothing. The first operation
// with "AgentLoad" 1 loads the character file from AgentCharsDir under the identifier "Agent"
// and shows it. Speak, Play, MoveTo, Name and Stop return at once (the character works through
// its queue on its own timer) and raise when the character cannot do what is asked.
//
// A window speaks or plays with the set character file:
//     Service<clsAgent>().Speak(L"Der Registry-Scan wurde gestartet.");
//     Service<clsAgent>().Play(L"Searching");
class clsAgent {
public:
    // What the windows that empty the recycle bin have the character say once it is empty.
    static void RecyclerEmptied() { Service<clsAgent>().Speak(L"Ihr Papierkorb wurde geleert."); }

    // The operations; `file` is the character file name, used only when it must be loaded first.
    void AgentSpeak(const std::wstring& file, const std::wstring& text);
    void AgentPlay(const std::wstring& file, const std::wstring& animation);
    void AgentMoveTo(const std::wstring& file, int16_t x, int16_t y);
    std::wstring AgentName(const std::wstring& file);
    void AgentStop(const std::wstring& file);
    // Loads the file (another loaded character goes first) and shows it; never raises.
    void AgentRun(const std::wstring& file);
    // Hides and unloads the character; the next operation loads one again.
    void AgentUnload();

    // The same with the set character file (AppSwitches.AgentFile).
    void Speak(const std::wstring& text);
    void Play(const std::wstring& animation);
    void Stop();
    std::wstring Name();
    // Speak for a window that goes on whatever the character does: a failure is logged under
    // the window's module and procedure (as a Trap does), never raised.
    void Say(const wchar_t* module, const wchar_t* procedure, const std::wstring& text);
    // Moves the character near the lower right corner of the window (the main window's greeting spot).
    void MoveNear(HWND window);

    // A text for the character with every "\" doubled, as spoken texts carry paths.
    static std::wstring Doubled(const std::wstring& text);

    bool Loaded() const { return loaded_; }
    // File name of the loaded character ("" when none).
    const std::wstring& LoadedFile() const { return loadedFile_; }
    // The character on screen; nullptr when none is loaded.
    AgentCharacter* Character();

private:
    // The common start of the five operations: the character, loaded when needed; nullptr
    // when the assistant is off or the file cannot be loaded.
    AgentCharacter* Agent(const wchar_t* operation, const std::wstring& file);

    AgentControl control_;
    bool loaded_ = false;
    std::wstring loadedFile_;
};
