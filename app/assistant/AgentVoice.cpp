// app/assistant/AgentVoice.cpp
#include "assistant/AgentVoice.h"
#include <windows.h>
#include <sapi.h>

AgentVoice::AgentVoice() {
    // Only a German voice: another language's voice would read the German texts wrongly.
    ISpObjectTokenCategory* category = nullptr;
    IEnumSpObjectTokens* tokens = nullptr;
    ISpObjectToken* token = nullptr;
    ULONG count = 0;
    if (SUCCEEDED(CoCreateInstance(__uuidof(SpObjectTokenCategory), nullptr, CLSCTX_INPROC_SERVER,
                                   __uuidof(ISpObjectTokenCategory), reinterpret_cast<void**>(&category))) &&
        SUCCEEDED(category->SetId(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices", FALSE)) &&
        SUCCEEDED(category->EnumTokens(L"Language=407", nullptr, &tokens)) && SUCCEEDED(tokens->GetCount(&count)) &&
        count > 0 && tokens->Next(1, &token, nullptr) == S_OK &&
        SUCCEEDED(CoCreateInstance(__uuidof(SpVoice), nullptr, CLSCTX_ALL, __uuidof(ISpVoice),
                                   reinterpret_cast<void**>(&voice_)))) {
        if (FAILED(voice_->SetVoice(token))) {
            voice_->Release();
            voice_ = nullptr;
        }
    }
    if (token) token->Release();
    if (tokens) tokens->Release();
    if (category) category->Release();
}

AgentVoice::~AgentVoice() {
    if (!voice_) return;
    Stop();
    voice_->Release();
}

void AgentVoice::Speak(const std::wstring& text) {
    if (voice_) voice_->Speak(text.c_str(), SPF_ASYNC | SPF_PURGEBEFORESPEAK | SPF_IS_NOT_XML, nullptr);
}

void AgentVoice::Stop() {
    if (voice_) voice_->Speak(nullptr, SPF_ASYNC | SPF_PURGEBEFORESPEAK, nullptr);
}
