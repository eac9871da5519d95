// app/assistant/AgentCharacterFile.h
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One animation of a character: the frames it shows in order and how long each stays.
struct AgentAnimation {
    std::wstring name;
    bool loops = false;  // repeats until the character gets its next action
    int frameMs = 100;
    std::vector<uint16_t> frames;
};

// A character as its file (.acs) holds it: name, picture size, frames (premultiplied BGRA,
// top row first) and animations. The layout is written down in scripts/make_characters.py.
struct AgentCharacterData {
    std::wstring name;
    int width = 0, height = 0;
    std::vector<std::vector<uint32_t>> frames;
    std::vector<AgentAnimation> animations;

    // The animation of this name (case does not matter); nullptr when the character lacks it.
    const AgentAnimation* Find(const std::wstring& animation) const;
};

// Reads a character file; raises 53 when it is missing and 380 when it is no sound character file.
AgentCharacterData ReadCharacterFile(const std::wstring& path);
// The same from the file's bytes.
AgentCharacterData ParseCharacterFile(const std::string& bytes, const std::wstring& path);
