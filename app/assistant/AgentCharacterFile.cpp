// app/assistant/AgentCharacterFile.cpp
#include "assistant/AgentCharacterFile.h"
#include "core/RuntimeError.h"
#include "core/UniqueHandle.h"
#include <windows.h>
#include <cstring>

namespace {
// Reads the file's fields in order; any read past the end makes the file unsound.
class Reader {
public:
    Reader(const std::string& bytes, const std::wstring& path) : b_(bytes), path_(path) {}
    const unsigned char* Take(size_t n) {
        if (n > b_.size() - pos_) Bad();
        const auto* p = reinterpret_cast<const unsigned char*>(b_.data() + pos_);
        pos_ += n;
        return p;
    }
    unsigned U8() { return *Take(1); }
    unsigned U16() { const unsigned char* p = Take(2); return p[0] | (p[1] << 8); }
    uint32_t U32() { const unsigned char* p = Take(4); return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
    [[noreturn]] void Bad() const {
        Raise(Err::InvalidProperty, L"Die Datei " + path_ + L" ist keine gültige Charakterdatei.");
    }

private:
    const std::string& b_;
    const std::wstring& path_;
    size_t pos_ = 0;
};

std::vector<uint32_t> Unpack(Reader& r, size_t bytes, size_t pixels) {
    std::vector<uint32_t> out;
    out.reserve(pixels);
    const unsigned char* p = r.Take(bytes);
    const unsigned char* end = p + bytes;
    auto pixel = [&] {
        if (end - p < 4) r.Bad();
        uint32_t v;
        std::memcpy(&v, p, 4);
        p += 4;
        return v;
    };
    while (p < end) {
        const unsigned c = *p++;
        if (c >= 128) {
            out.insert(out.end(), c - 127, pixel());
        } else {
            for (unsigned k = 0; k <= c; ++k) out.push_back(pixel());
        }
        if (out.size() > pixels) r.Bad();
    }
    if (out.size() != pixels) r.Bad();
    return out;
}
}  // namespace

const AgentAnimation* AgentCharacterData::Find(const std::wstring& animation) const {
    for (const AgentAnimation& a : animations)
        if (CompareStringOrdinal(a.name.c_str(), -1, animation.c_str(), -1, TRUE) == CSTR_EQUAL) return &a;
    return nullptr;
}

AgentCharacterData ParseCharacterFile(const std::string& bytes, const std::wstring& path) {
    Reader r(bytes, path);
    if (std::memcmp(r.Take(4), "TACS", 4) != 0 || r.U16() != 1) r.Bad();
    AgentCharacterData c;
    c.width = static_cast<int>(r.U16());
    c.height = static_cast<int>(r.U16());
    if (c.width < 1 || c.height < 1 || c.width > 1024 || c.height > 1024) r.Bad();
    for (unsigned n = r.U16(); n > 0; --n) c.name.push_back(static_cast<wchar_t>(r.U16()));
    const size_t pixels = static_cast<size_t>(c.width) * c.height;
    for (unsigned n = r.U16(); n > 0; --n) {
        const uint32_t size = r.U32();
        c.frames.push_back(Unpack(r, size, pixels));
    }
    for (unsigned n = r.U16(); n > 0; --n) {
        AgentAnimation a;
        const unsigned char* name = nullptr;
        const unsigned length = r.U8();
        name = r.Take(length);
        a.name.assign(name, name + length);
        a.loops = (r.U8() & 1) != 0;
        a.frameMs = static_cast<int>(r.U16());
        if (a.frameMs < 10) a.frameMs = 10;
        for (unsigned k = r.U16(); k > 0; --k) {
            const unsigned frame = r.U16();
            if (frame >= c.frames.size()) r.Bad();
            a.frames.push_back(static_cast<uint16_t>(frame));
        }
        if (a.frames.empty()) r.Bad();
        c.animations.push_back(std::move(a));
    }
    if (c.frames.empty()) r.Bad();
    return c;
}

AgentCharacterData ReadCharacterFile(const std::wstring& path) {
    UniqueHFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) RaiseWin32(GetLastError());
    const HANDLE f = file.get();
    std::string bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(f, &size) && size.QuadPart > 0 && size.QuadPart < (64 << 20)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
        bytes.resize(got);
    }
    file.reset();
    return ParseCharacterFile(bytes, path);
}
