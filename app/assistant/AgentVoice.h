// app/assistant/AgentVoice.h
#pragma once
#include <string>

struct ISpVoice;

// Speaks the character's texts aloud where a German voice is installed (SAPI); without one it
// stays silent and the balloon alone speaks. Never waits for the speech.
class AgentVoice {
public:
    AgentVoice();
    ~AgentVoice();
    AgentVoice(const AgentVoice&) = delete;
    AgentVoice& operator=(const AgentVoice&) = delete;

    bool Available() const { return voice_ != nullptr; }
    // Starts the text, cutting off what is still being said.
    void Speak(const std::wstring& text);
    void Stop();

private:
    ISpVoice* voice_ = nullptr;
};
