// tests/assistant/AgentTestSupport.h: character files for the assistant's tests.
#pragma once
#include "assistant/AgentCharacterFile.h"
#include "support/Wait.h"
#include <windows.h>
#include <string>

namespace agenttest {

// Folder of the characters the build lays beside the test program ("...\bin\chars\").
inline std::wstring ShippedCharsDir() {
    return BinFolder() + L"chars\\";
}

inline void Put16(std::string& out, unsigned v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>((v >> 8) & 0xff));
}

// The bytes of a character file as the generator writes them (every frame as one run).
inline std::string Encode(const AgentCharacterData& c) {
    std::string out = "TACS";
    Put16(out, 1);
    Put16(out, c.width);
    Put16(out, c.height);
    Put16(out, static_cast<unsigned>(c.name.size()));
    for (wchar_t ch : c.name) Put16(out, ch);
    Put16(out, static_cast<unsigned>(c.frames.size()));
    for (const auto& f : c.frames) {
        std::string data;
        for (size_t i = 0; i < f.size();) {
            size_t run = 1;
            while (i + run < f.size() && run < 128 && f[i + run] == f[i]) ++run;
            data.push_back(static_cast<char>(127 + run));
            data.append(reinterpret_cast<const char*>(&f[i]), 4);
            i += run;
        }
        const uint32_t n = static_cast<uint32_t>(data.size());
        out.append(reinterpret_cast<const char*>(&n), 4);
        out += data;
    }
    Put16(out, static_cast<unsigned>(c.animations.size()));
    for (const auto& a : c.animations) {
        out.push_back(static_cast<char>(a.name.size()));
        for (wchar_t ch : a.name) out.push_back(static_cast<char>(ch));
        out.push_back(a.loops ? 1 : 0);
        Put16(out, a.frameMs);
        Put16(out, static_cast<unsigned>(a.frames.size()));
        for (uint16_t f : a.frames) Put16(out, f);
    }
    return out;
}

// A plain character of one colour with the animations named ("Idle" and "Speak" unless left out).
inline AgentCharacterData Plain(const std::wstring& name, std::initializer_list<const wchar_t*> animations) {
    AgentCharacterData c;
    c.name = name;
    c.width = c.height = 16;
    c.frames.assign(2, std::vector<uint32_t>(256, 0xff2060c0));
    c.frames[1].assign(256, 0xffc06020);
    for (const wchar_t* a : animations) {
        const std::wstring n = a;
        c.animations.push_back(AgentAnimation{n, n == L"Idle" || n == L"Speak" || n == L"Searching", 50, {0, 1}});
    }
    return c;
}

}  // namespace agenttest
