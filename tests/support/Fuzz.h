// tests/support/Fuzz.h
// A small deterministic mutation fuzzer for the readers of files: from a seed input and a number it
// makes the same damaged copy every time, so a failing input is named by (seed file, number) and
// can be made again. The tests run thousands; bench/ runs a million.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A fixed pseudo-random sequence (SplitMix64): the same seed gives the same numbers everywhere.
class FuzzRandom {
public:
    explicit FuzzRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1; 0 when n is 0.
    size_t Below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(Next() % n); }
    bool OneIn(size_t n) { return Below(n) == 0; }

private:
    uint64_t state_;
};

// The kinds of damage, each applied a few times per input: flipped bits, bytes set to the values
// that break sizes and counts (0, 0xff, 0x7f, 0x80), 32-bit words set to edges (0, -1, 2^31,
// small and large numbers, the input's own size), a stretch copied over another place (a list
// made to repeat, an offset pointing into itself), a stretch cut out or doubled, and the input cut
// short. `dictionary` holds tokens worth inserting for text formats ("\\\r\n", "hex(2):", ...).
inline std::string Mutate(const std::string& seed, uint64_t number, const std::vector<std::string>& dictionary = {}) {
    FuzzRandom r(number * 0x2545f4914f6cdd1dull + seed.size());
    std::string s = seed;
    const size_t steps = 1 + r.Below(r.OneIn(4) ? 16 : 4);
    for (size_t step = 0; step < steps; ++step) {
        if (s.empty()) s.push_back('\0');
        const size_t at = r.Below(s.size());
        switch (r.Below(dictionary.empty() ? 8 : 10)) {
        case 0:  // a bit
            s[at] = static_cast<char>(s[at] ^ (1u << r.Below(8)));
            break;
        case 1: {  // a byte at an edge
            static const unsigned char edges[] = {0x00, 0xff, 0x7f, 0x80, 0x01, 0xfe};
            s[at] = static_cast<char>(edges[r.Below(sizeof edges)]);
            break;
        }
        case 2: {  // a 32-bit word at an edge or pointing somewhere in the input
            const uint32_t words[] = {0u, 0xffffffffu, 0x80000000u, 0x7fffffffu, 1u, 0x1000u, 0x20u,
                                      static_cast<uint32_t>(s.size()), static_cast<uint32_t>(r.Below(s.size() + 1)),
                                      static_cast<uint32_t>(-static_cast<int32_t>(r.Below(0x1000)))};
            const uint32_t w = words[r.Below(sizeof words / sizeof words[0])];
            const size_t pos = at & ~size_t{3};
            for (size_t b = 0; b < 4 && pos + b < s.size(); ++b) s[pos + b] = static_cast<char>(w >> (8 * b));
            break;
        }
        case 3: {  // a stretch copied over another place
            const size_t from = r.Below(s.size()), len = 1 + r.Below(std::min<size_t>(64, s.size() - from));
            const std::string piece = s.substr(from, len);
            s.replace(at, std::min(len, s.size() - at), piece);
            break;
        }
        case 4: {  // a stretch cut out
            const size_t len = 1 + r.Below(std::min<size_t>(r.OneIn(8) ? 4096 : 16, s.size() - at));
            s.erase(at, len);
            break;
        }
        case 5: {  // a stretch doubled
            const size_t len = 1 + r.Below(std::min<size_t>(r.OneIn(8) ? 4096 : 32, s.size() - at));
            s.insert(at, s.substr(at, len));
            break;
        }
        case 6:  // cut short
            if (r.OneIn(3)) s.resize(at);
            break;
        case 7:  // a byte anywhere
            s[at] = static_cast<char>(r.Below(256));
            break;
        default: {  // a token of the format
            const std::string& token = dictionary[r.Below(dictionary.size())];
            if (r.OneIn(2)) s.insert(at, token);
            else s.replace(at, std::min(token.size(), s.size() - at), token);
            break;
        }
        }
    }
    return s;
}
