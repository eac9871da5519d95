// app/assistant/AgentCharacter.h
#pragma once
#include "assistant/AgentCharacterFile.h"
#include "assistant/AgentVoice.h"
#include "core/UniqueHandle.h"
#include <windows.h>
#include <deque>
#include <map>
#include <memory>
#include <string>

// A character on screen: a small top-most window without focus that plays the character's
// animations, and a speech balloon beside it. Every action returns at once; actions queue up
// and run on the window's timer, so no caller ever waits for the character.
class AgentCharacter {
public:
    explicit AgentCharacter(AgentCharacterData data);
    ~AgentCharacter();
    AgentCharacter(const AgentCharacter&) = delete;
    AgentCharacter& operator=(const AgentCharacter&) = delete;

    void Show();
    void Hide();
    // Queues the text for the balloon ("\\" shows as one "\"); raises 380 when the character
    // has no "Speak" animation.
    void Speak(const std::wstring& text);
    // Queues an animation; raises 380 when the character lacks it.
    void Play(const std::wstring& animation);
    // Queues a move of the character's upper left corner to this screen position (pixels).
    void MoveTo(int x, int y);
    // Drops the current and the queued actions; the balloon goes.
    void Stop();
    const std::wstring& Name() const { return data_.name; }

    HWND Window() const { return wnd_; }
    HWND Balloon() const { return balloon_; }
    bool Visible() const { return wnd_ && IsWindowVisible(wnd_); }
    // Name of the animation on screen ("Idle" when nothing else runs).
    std::wstring CurrentAnimation() const;
    // How long a text stays in the balloon.
    static int ReadingMs(const std::wstring& text);
    // The text as the balloon shows it.
    static std::wstring DisplayText(const std::wstring& text);

    static constexpr const wchar_t* kWindowClass = L"TorvaneAgent";
    static constexpr const wchar_t* kBalloonClass = L"TorvaneAgentBalloon";

private:
    struct Action {
        enum Kind { Play, Speak, Move } kind;
        std::wstring text;
        const AgentAnimation* animation = nullptr;
        int x = 0, y = 0;
    };
    LRESULT CharacterMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT BalloonMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp);
    void Queue(Action a);
    void Next();
    void Tick();
    void Start(const AgentAnimation* animation);
    void Draw();
    void ShowBalloon(const std::wstring& text);
    void HideBalloon();
    void PlaceBalloon();
    void PaintBalloon(HDC dc);

    AgentCharacterData data_;
    const AgentAnimation* idle_ = nullptr;
    HWND wnd_ = nullptr, balloon_ = nullptr;
    UniqueGdiObject<HFONT> font_;
    // Declared before the DC, so the DC goes first and the bitmap is no longer selected when it goes.
    UniqueGdiObject<HBITMAP> bitmap_;
    UniqueHDC surface_;  // the frame being shown, handed to UpdateLayeredWindow
    HBITMAP oldBitmap_ = nullptr;
    void* bits_ = nullptr;
    int bodyTop_ = 0;  // where the balloon's body starts below a tail on top
    std::unique_ptr<AgentVoice> voice_;  // looked for at the first spoken text
    std::deque<Action> queue_;
    const AgentAnimation* current_ = nullptr;  // what plays; idle_ (or nullptr) when at rest
    size_t step_ = 0;
    bool speaking_ = false;
    ULONGLONG speakUntil_ = 0;
    int shownFrame_ = -1;
    bool placed_ = false;
};

// The character collection: characters loaded from files under an identifier.
class AgentControl {
public:
    // Loads the file under the identifier (an earlier one of that name goes first).
    void Load(const std::wstring& id, const std::wstring& path);
    void Unload(const std::wstring& id);
    // The character of that identifier; raises 35600 when none is loaded under it.
    AgentCharacter& Character(const std::wstring& id);
    bool Has(const std::wstring& id) const { return characters_.count(id) != 0; }

private:
    std::map<std::wstring, std::unique_ptr<AgentCharacter>> characters_;
};
