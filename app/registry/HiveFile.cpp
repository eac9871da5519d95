// app/registry/HiveFile.cpp
#include "registry/HiveFile.h"
#include "core/RuntimeError.h"
#include "core/UniqueHandle.h"
#include <algorithm>
#include <cstring>

namespace {
constexpr uint32_t kBaseBlock = 4096;  // the hive bins data begins after it
constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kBigDataSegment = 16344;  // data larger than this lies in "db" segments

uint32_t U32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}
uint16_t U16(const uint8_t* p) {
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}
bool Sig(const uint8_t* p, const char* sig) { return memcmp(p, sig, strlen(sig)) == 0; }

std::wstring Hex(uint32_t v) {
    wchar_t b[16];
    swprintf(b, 16, L"0x%X", v);
    return b;
}

// Names are stored either one byte per character (Latin-1) or as UTF-16.
std::wstring NameText(const uint8_t* p, size_t bytes, bool compressed) {
    std::wstring s;
    if (compressed) {
        s.assign(bytes, L'\0');
        for (size_t i = 0; i < bytes; ++i) s[i] = p[i];
    } else {
        s.assign(bytes / 2, L'\0');
        memcpy(s.data(), p, bytes / 2 * 2);
    }
    return s;
}

// The base block's checksum: XOR of its first 127 double words, 0 and -1 avoided.
uint32_t Checksum(const uint8_t* p) {
    uint32_t c = 0;
    for (int i = 0; i < 127; ++i) c ^= U32(p + 4 * i);
    if (c == 0xFFFFFFFF) c = 0xFFFFFFFE;
    if (c == 0) c = 1;
    return c;
}

[[noreturn]] void Refuse(const std::wstring& text) { Raise(Err::PathFileAccess, text); }
}  // namespace

// Reads a whole file, opened read-only and shared for reading.
bool HiveFile::ReadFromDisk(const std::wstring& path, std::vector<uint8_t>& out, DWORD& error) {
    const UniqueHFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    const HANDLE h = file.get();
    if (!file) {
        error = GetLastError();
        return false;
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(h, &size) && size.QuadPart < 0x80000000LL;
    if (ok) {
        out.resize(static_cast<size_t>(size.QuadPart));
        size_t done = 0;
        while (ok && done < out.size()) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<size_t>(out.size() - done, 1u << 24));
            ok = ReadFile(h, out.data() + done, want, &got, nullptr) && got > 0;
            done += got;
        }
    }
    error = ok ? 0 : (GetLastError() ? GetLastError() : ERROR_FILE_TOO_LARGE);
    return ok;
}

uint64_t HiveLogHash(const uint8_t* data, size_t size) {
    uint32_t p0 = 0x7A4E55C5u, p1 = 0x82EF4D88u;  // seed 0x82EF4D887A4E55C5
    auto rotl = [](uint32_t v, int n) { return (v << n) | (v >> (32 - n)); };
    auto block = [&] {
        p1 ^= p0; p0 = rotl(p0, 20);
        p0 += p1; p1 = rotl(p1, 9);
        p1 ^= p0; p0 = rotl(p0, 27);
        p0 += p1; p1 = rotl(p1, 19);
    };
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        p0 += U32(data + i);
        block();
    }
    uint32_t last = 0x80;
    switch (size & 3) {
    case 1: last = 0x8000u | data[i]; break;
    case 2: last = 0x800000u | U16(data + i); break;
    case 3: last = 0x80000000u | (uint32_t{data[i + 2]} << 16) | U16(data + i); break;
    }
    p0 += last;
    block();
    block();
    return (uint64_t{p1} << 32) | p0;
}

void HiveFile::Damaged(const std::wstring& reason) const {
    Refuse(L"Die Registrierungsdatei " + path_ + L" ist beschädigt: " + reason + L". Sie wird nicht gelesen.");
}

HiveFile::HiveFile(const std::wstring& path, const FileReader& read) : path_(path) {
    DWORD error = 0;
    if (!read(path, file_, error))
        Raise(ErrorNumberFromWin32(error), L"Die Registrierungsdatei " + path + L" kann nicht gelesen werden: " +
                                               ErrorDescription(ErrorNumberFromWin32(error)));
    if (file_.size() < 512 || !Sig(file_.data(), "regf"))
        Refuse(L"Die Datei " + path + L" ist keine Registrierungsdatei (die Kennung \"regf\" fehlt).");
    const uint8_t* b = file_.data();
    if (Checksum(b) != U32(b + 508)) Damaged(L"die Prüfsumme des Dateikopfs stimmt nicht");
    minor_ = U32(b + 24);
    if (U32(b + 20) != 1 || minor_ < 2 || minor_ > 6 || U32(b + 28) != 0 || U32(b + 32) != 1)
        Refuse(L"Die Datei " + path + L" ist eine Registrierungsdatei in einer unbekannten Form (Version " +
               std::to_wstring(U32(b + 20)) + L"." + std::to_wstring(minor_) + L", Typ " + std::to_wstring(U32(b + 28)) +
               L"); sie wird nicht gelesen.");
    if (U32(b + 4) != U32(b + 8)) ApplyLogs(U32(b + 4), read);
    binsSize_ = U32(file_.data() + 40);
    if (binsSize_ == 0 || binsSize_ % 4096) Damaged(L"die Größe ihrer Daten (" + std::to_wstring(binsSize_) + L" Bytes) ist ungültig");
    if (file_.size() < kBaseBlock + size_t{binsSize_})
        Damaged(L"die Datei endet nach " + std::to_wstring(file_.size()) + L" Bytes, ihr Kopf nennt " +
                std::to_wstring(kBaseBlock + size_t{binsSize_}));
    CheckBins();
    root_ = U32(file_.data() + 36);
    Node(root_);
    CheckTree();
}

void HiveFile::ApplyLogs(uint32_t sequence, const FileReader& read) {
    const std::wstring log1 = path_ + L".LOG1", log2 = path_ + L".LOG2";
    const size_t original = file_.size();
    uint32_t expected = sequence;
    bool applied = false;
    std::wstring why;  // why a log that looked like one of this hive's was not applied
    for (const std::wstring& name : {log1, log2}) {
        std::vector<uint8_t> log;
        DWORD error = 0;
        if (!read(name, log, error) || log.size() < 1024 || !Sig(log.data(), "regf")) continue;
        // A log brings pages, so the hive grows by at most what the log holds; one that names
        // more is not this hive's (and would have us set aside memory for nothing).
        const size_t limit = std::max(file_.size(), original + log.size());
        std::wstring reason;
        const uint32_t type = U32(log.data() + 28);
        if (type == 6) applied |= ApplyEntries(log, expected, limit, reason);
        else if ((type == 1 || type == 2) && !applied) applied = ApplyDirtyPages(log, limit, reason);
        if (!reason.empty() && why.empty()) why = L"das Protokoll " + name + L" " + reason;
    }
    if (!applied)
        Refuse(L"Die Registrierungsdatei " + path_ + L" wurde in der letzten Sitzung nicht vollständig zurückgeschrieben. "
               L"Ihre Protokolle " + log1 + L" und " + log2 + L" fehlen oder enthalten nichts Passendes" +
               (why.empty() ? L"" : L" (" + why + L")") + L". Ohne sie wird "
               L"die Datei nicht gelesen; starten Sie diese Windows-Installation einmal oder reparieren Sie sie.");
    memcpy(file_.data() + 4, &expected, 4);
    memcpy(file_.data() + 8, &expected, 4);
    recovered_ = true;
}

namespace {
std::wstring TooMuch(uint32_t bins) {
    return L"nennt " + std::to_wstring(bins) + L" Bytes Daten, mehr als es und die Datei zusammen enthalten";
}
}  // namespace

// The form of Windows 8.1 and later: entries, each with its sequence number, the size of the hive
// bins data it leads to, references to the pages it writes and those pages, guarded by two
// hashes. Entries from the hive's own sequence number on are applied, in order, up to the first
// that does not check out.
bool HiveFile::ApplyEntries(const std::vector<uint8_t>& log, uint32_t& expected, size_t limit, std::wstring& why) {
    bool applied = false;
    for (size_t at = 512; at + 40 <= log.size();) {
        const uint8_t* e = log.data() + at;
        const uint32_t size = U32(e + 4), seq = U32(e + 12), bins = U32(e + 16), pages = U32(e + 20);
        if (!Sig(e, "HvLE") || size < 40 || size % 512 || size > log.size() - at) break;
        uint64_t h1, h2;
        memcpy(&h1, e + 24, 8);
        memcpy(&h2, e + 32, 8);
        if (HiveLogHash(e + 40, size - 40) != h1 || HiveLogHash(e, 32) != h2) break;
        at += size;
        if (seq < expected) continue;  // written back already
        if (seq != expected || bins == 0 || bins % 4096 || pages > (size - 40) / 8) break;
        if (kBaseBlock + size_t{bins} > limit) {
            why = TooMuch(bins);
            break;
        }
        size_t data = 40 + size_t{pages} * 8;
        bool fits = true;
        for (uint32_t i = 0; i < pages && fits; ++i) {
            const uint32_t off = U32(e + 40 + 8 * i), len = U32(e + 44 + 8 * i);
            fits = off % 4096 == 0 && len % 4096 == 0 && off <= bins && len <= bins - off && len <= size - data;
            data += len;
        }
        if (!fits) break;
        file_.resize(kBaseBlock + size_t{bins});
        data = 40 + size_t{pages} * 8;
        for (uint32_t i = 0; i < pages; ++i) {
            const uint32_t off = U32(e + 40 + 8 * i), len = U32(e + 44 + 8 * i);
            memcpy(file_.data() + kBaseBlock + off, e + data, len);
            data += len;
        }
        memcpy(file_.data() + 40, &bins, 4);
        applied = true;
        ++expected;
    }
    return applied;
}

// The older form (Windows 7 and before): a copy of the base block as it is to be, a bitmap
// ("DIRT") of the 512-byte pages of the hive bins data that changed, and those pages. It fits the
// hive when its copy is whole and carries the hive's own time of writing.
bool HiveFile::ApplyDirtyPages(const std::vector<uint8_t>& log, size_t limit, std::wstring& why) {
    const uint8_t* b = log.data();
    const uint32_t bins = U32(b + 40);
    if (Checksum(b) != U32(b + 508) || U32(b + 4) != U32(b + 8) || memcmp(b + 12, file_.data() + 12, 8) != 0 ||
        bins == 0 || bins % 4096 || !Sig(b + 512, "DIRT"))
        return false;
    if (kBaseBlock + size_t{bins} > limit) {
        why = TooMuch(bins);
        return false;
    }
    const size_t pages = bins / 512, bitmap = 516;
    if (bitmap + (pages + 7) / 8 > log.size()) return false;
    size_t dirty = 0;
    for (size_t i = 0; i < pages; ++i) dirty += log[bitmap + i / 8] >> (i % 8) & 1;
    size_t at = 512 + (4 + (pages + 7) / 8 + 511) / 512 * 512;  // the sector after the bitmap
    if (dirty > (log.size() - std::min(at, log.size())) / 512) return false;
    file_.resize(kBaseBlock + size_t{bins});
    for (size_t i = 0; i < pages; ++i) {
        if (!(log[bitmap + i / 8] >> (i % 8) & 1)) continue;
        memcpy(file_.data() + kBaseBlock + i * 512, log.data() + at, 512);
        at += 512;
    }
    memcpy(file_.data() + 40, &bins, 4);
    return true;
}

void HiveFile::CheckBins() {
    allocated_.assign(binsSize_ / 8, false);
    const uint8_t* d = file_.data() + kBaseBlock;
    for (uint32_t bin = 0; bin < binsSize_;) {
        const uint32_t size = U32(d + bin + 8);
        if (!Sig(d + bin, "hbin") || U32(d + bin + 4) != bin || size < 4096 || size % 4096 || size > binsSize_ - bin)
            Damaged(L"der Block bei " + Hex(kBaseBlock + bin) + L" ist kein gültiger Datenblock");
        for (uint32_t cell = bin + 32; cell < bin + size;) {
            const int32_t raw = static_cast<int32_t>(U32(d + cell));
            const uint32_t len = raw < 0 ? 0u - static_cast<uint32_t>(raw) : static_cast<uint32_t>(raw);
            if (len < 8 || len % 8 || len > bin + size - cell)
                Damaged(L"die Zelle bei " + Hex(kBaseBlock + cell) + L" ist " + std::to_wstring(len) +
                        L" Bytes lang und reicht über das Ende ihres Blocks hinaus");
            if (raw < 0) allocated_[cell / 8] = true;
            cell += len;
        }
        bin += size;
    }
}

HiveFile::Span HiveFile::Cell(uint32_t offset) const {
    if (offset % 8 || offset >= binsSize_ || !allocated_[offset / 8])
        Damaged(L"ein Verweis auf " + Hex(offset) + L" zeigt auf keine belegte Zelle");
    const uint8_t* p = file_.data() + kBaseBlock + offset;
    return {p + 4, (0u - U32(p)) - 4};
}

HiveFile::Span HiveFile::Node(Key key) const {
    const Span s = Cell(key);
    if (s.size < 76 || !Sig(s.p, "nk") || 76u + U16(s.p + 72) > s.size)
        Damaged(L"die Zelle bei " + Hex(key) + L" ist kein gültiger Schlüssel");
    return s;
}

std::wstring HiveFile::Name(Key key) const {
    const Span s = Node(key);
    return NameText(s.p + 76, U16(s.p + 72), U16(s.p + 2) & 0x20);
}

size_t HiveFile::SubKeyCount(Key key) const { return U32(Node(key).p + 20); }

void HiveFile::Claim(uint32_t offset) const {
    if (claimed_.empty()) return;
    if (claimed_[offset / 8]) Damaged(L"die Zelle bei " + Hex(offset) + L" ist mehrfach verknüpft");
    claimed_[offset / 8] = true;
}

// A key's sub-key list: a leaf ("li", or "lf"/"lh" with hashes) of keys, or an index root ("ri")
// of leaves. No more than the key's `count` entries are taken: a list that names more is damaged,
// and is refused at the first entry too many, before it costs anything.
void HiveFile::ListInto(uint32_t list, std::vector<Key>& out, uint32_t count, Key key) const {
    struct List {
        Span s;
        uint32_t n, step;
        bool root;
    };
    auto open = [&](uint32_t at, bool rootAllowed) {
        const Span s = Cell(at);
        if (s.size < 4) Damaged(L"die Schlüsselliste bei " + Hex(at) + L" ist zu kurz");
        const bool index = Sig(s.p, "li"), root = Sig(s.p, "ri"), hashed = Sig(s.p, "lf") || Sig(s.p, "lh");
        if (!(index || hashed || (root && rootAllowed))) Damaged(L"die Zelle bei " + Hex(at) + L" ist keine Schlüsselliste");
        const List l{s, U16(s.p + 2), hashed ? 8u : 4u, root};
        if (4 + size_t{l.n} * l.step > s.size) Damaged(L"die Schlüsselliste bei " + Hex(at) + L" reicht über ihre Zelle hinaus");
        Claim(at);
        return l;
    };
    auto take = [&](const List& l, uint32_t at) {
        for (uint32_t i = 0; i < l.n; ++i) {
            if (out.size() == count)
                Damaged(L"die Schlüsselliste bei " + Hex(at) + L" nennt mehr als die " + std::to_wstring(count) +
                        L" Unterschlüssel ihres Schlüssels bei " + Hex(key));
            out.push_back(U32(l.s.p + 4 + i * l.step));
        }
    };
    const List top = open(list, true);
    if (!top.root) return take(top, list);
    for (uint32_t i = 0; i < top.n; ++i) {
        const uint32_t leaf = U32(top.s.p + 4 + i * 4);
        take(open(leaf, false), leaf);
    }
}

std::vector<HiveFile::Key> HiveFile::SubKeys(Key key) const {
    const Span s = Node(key);
    const uint32_t count = U32(s.p + 20);
    std::vector<Key> keys;
    if (count == 0) return keys;
    // Every sub-key is a key cell of its own, at least 80 bytes.
    if (count > binsSize_ / 80)
        Damaged(L"der Schlüssel bei " + Hex(key) + L" nennt " + std::to_wstring(count) +
                L" Unterschlüssel, mehr als die Datei fassen kann");
    keys.reserve(count);
    ListInto(U32(s.p + 28), keys, count, key);
    if (keys.size() != count)
        Damaged(L"der Schlüssel bei " + Hex(key) + L" nennt " + std::to_wstring(count) + L" Unterschlüssel, seine Liste " +
                std::to_wstring(keys.size()));
    for (Key k : keys) Node(k);
    return keys;
}

void HiveFile::Data(uint32_t size, uint32_t offset, std::wstring* out, size_t& bytes) const {
    bytes = 0;
    // The data is set aside only once its cells are known to hold it all.
    auto reserve = [&](size_t n) {
        if (out) out->assign((n + 1) / 2, L'\0');
    };
    auto put = [&](const uint8_t* p, size_t n) {
        if (out && n) memcpy(reinterpret_cast<uint8_t*>(out->data()) + bytes, p, n);
        bytes += n;
    };
    if (size & 0x80000000u) {  // up to four bytes kept in the offset field itself
        size &= 0x7FFFFFFFu;
        if (size > 4) Damaged(L"ein Wert nennt " + std::to_wstring(size) + L" Bytes im Verweis selbst");
        reserve(size);
        put(reinterpret_cast<const uint8_t*>(&offset), size);
        return;
    }
    reserve(0);
    if (size == 0) return;
    const Span s = Cell(offset);
    Claim(offset);
    // Big data: a "db" cell that lists the segments. A cell that holds all the data itself is
    // plain data, whatever its first bytes are (other writers than Windows keep large data so).
    if (size > kBigDataSegment && minor_ >= 4 && s.size < size && s.size >= 8 && Sig(s.p, "db")) {
        const uint32_t segments = U16(s.p + 2), listAt = U32(s.p + 4);
        const Span list = Cell(listAt);
        if (size_t{segments} * 4 > list.size) Damaged(L"die Segmentliste bei " + Hex(listAt) + L" ist zu kurz");
        Claim(listAt);
        size_t held = 0;
        uint32_t used = 0;
        for (; used < segments && held < size; ++used) {
            const uint32_t at = U32(list.p + 4 * used);
            held += std::min<uint32_t>(Cell(at).size, kBigDataSegment);
            Claim(at);
        }
        if (held < size) Damaged(L"die Segmente bei " + Hex(offset) + L" enthalten weniger als " + std::to_wstring(size) + L" Bytes");
        reserve(size);
        for (uint32_t i = 0; i < used; ++i) {
            const Span seg = Cell(U32(list.p + 4 * i));
            put(seg.p, std::min<size_t>({seg.size, kBigDataSegment, size - bytes}));
        }
        return;
    }
    if (size > s.size) Damaged(L"die Daten bei " + Hex(offset) + L" sind kürzer als die " + std::to_wstring(size) + L" Bytes ihres Werts");
    reserve(size);
    put(s.p, size);
}

void HiveFile::ReadValues(Key key, std::vector<RegValue>* values) const {
    const Span s = Node(key);
    const uint32_t count = U32(s.p + 36);
    if (count == 0) return;
    const uint32_t listAt = U32(s.p + 40);
    const Span list = Cell(listAt);
    if (size_t{count} * 4 > list.size) Damaged(L"die Werteliste bei " + Hex(listAt) + L" ist zu kurz");
    Claim(listAt);
    if (values) values->resize(count);  // each a value cell of its own: checked with the tree
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t at = U32(list.p + 4 * i);
        const Span v = Cell(at);
        if (v.size < 20 || !Sig(v.p, "vk") || 20u + U16(v.p + 2) > v.size)
            Damaged(L"die Zelle bei " + Hex(at) + L" ist kein gültiger Wert");
        Claim(at);
        size_t bytes = 0;
        Data(U32(v.p + 4), U32(v.p + 8), values ? &(*values)[i].data : nullptr, bytes);
        if (!values) continue;
        RegValue& out = (*values)[i];
        out.name = NameText(v.p + 20, U16(v.p + 2), U16(v.p + 16) & 1);
        out.type = U32(v.p + 12);
        out.bytes = bytes;
    }
}

std::vector<RegValue> HiveFile::Values(Key key) const {
    std::vector<RegValue> values;
    ReadValues(key, &values);
    return values;
}

bool HiveFile::Find(const std::wstring& path, Key& out) const {
    Key at = root_;
    for (size_t begin = 0; begin < path.size();) {
        size_t end = path.find(L'\\', begin);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring part = path.substr(begin, end - begin);
        begin = end + 1;
        if (part.empty()) continue;
        bool found = false;
        for (Key k : SubKeys(at)) {
            const std::wstring name = Name(k);
            if (CompareStringOrdinal(name.c_str(), static_cast<int>(name.size()), part.c_str(),
                                     static_cast<int>(part.size()), TRUE) == CSTR_EQUAL) {
                at = k;
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    out = at;
    return true;
}

// Every key once, and every list, value and data cell from one place only: a list that leads back
// to a key already seen is a loop, not a tree, and a cell named twice would be read twice.
// Without recursion, and no deeper than Windows goes.
void HiveFile::CheckTree() const {
    claimed_.assign(binsSize_ / 8, false);
    struct Item {
        Key key;
        uint32_t depth;
    };
    std::vector<Item> stack{{root_, 0}};
    claimed_[root_ / 8] = true;
    while (!stack.empty()) {
        const Item it = stack.back();
        stack.pop_back();
        ReadValues(it.key, nullptr);
        for (Key sub : SubKeys(it.key)) {
            if (claimed_[sub / 8]) Damaged(L"der Schlüssel bei " + Hex(sub) + L" ist mehrfach verknüpft");
            if (it.depth >= kMaxDepth)
                Damaged(L"der Schlüssel bei " + Hex(sub) + L" liegt mehr als " + std::to_wstring(kMaxDepth) +
                        L" Ebenen tief, tiefer als Windows Schlüssel anlegt");
            claimed_[sub / 8] = true;
            stack.push_back({sub, it.depth + 1});
        }
    }
    claimed_ = std::vector<bool>();
}
