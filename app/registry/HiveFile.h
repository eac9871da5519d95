// app/registry/HiveFile.h
#pragma once
#include "registry/RegKey.h"
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One registry hive file (SOFTWARE, NTUSER.DAT, UsrClass.dat ...) of an installation that is not
// running, read by ourselves: Windows' offline registry library is not ours to ship, and the file
// format is stable. The file is opened read-only (others may read it too) and read whole into
// memory; nothing is ever written back.
//
// The constructor checks everything before anything is handed out: the base block and its
// checksum, every hive bin and cell, and every key, list, value and data cell reachable from the
// root, each offset and length against the file. A file that fails is refused as a whole with a
// RuntimeError naming the file and the reason, so a damaged hive is never half read. A hive whose
// last session did not write everything back (its two sequence numbers differ) is brought up to
// date in memory from its transaction logs (.LOG1, then .LOG2; the log entries of Windows 8.1
// and later, or the dirty pages of the older form); without usable logs it is refused.
//
// Whatever the file holds, reading it stays bounded: every size and count is checked against the
// file before it is used, a cell is followed from one place only (a list, value or data cell named
// twice would multiply what is read), keys more than 512 levels deep (the most Windows makes) are
// refused, and no walk recurses. What it holds is the file, brought up to date by at most what its
// logs carry, and a bit per 8 bytes of it.
class HiveFile {
public:
    // Reads a whole file (a hive or one of its logs); false with the Win32 error when it cannot.
    // Replaceable, so the fuzzer can hand in files from memory.
    using FileReader = std::function<bool(const std::wstring& path, std::vector<uint8_t>& out, DWORD& error)>;
    static bool ReadFromDisk(const std::wstring& path, std::vector<uint8_t>& out, DWORD& error);
    static constexpr uint32_t kMaxDepth = 512;

    explicit HiveFile(const std::wstring& path, const FileReader& read = ReadFromDisk);

    // A key: the offset of its key cell in the hive bins data.
    using Key = uint32_t;
    Key Root() const { return root_; }
    // The key at a backslash-separated path below the root (names compare without regard to
    // case); false when there is none. "" is the root itself.
    bool Find(const std::wstring& path, Key& out) const;
    std::wstring Name(Key key) const;
    // Sub-keys in the order of the hive's list (sorted by name, as the system keeps them).
    std::vector<Key> SubKeys(Key key) const;
    // Values in the order of the key's value list, data exact.
    std::vector<RegValue> Values(Key key) const;
    size_t SubKeyCount(Key key) const;

    const std::wstring& Path() const { return path_; }
    // Whether transaction logs were applied in memory.
    bool Recovered() const { return recovered_; }

private:
    struct Span {
        const uint8_t* p;
        uint32_t size;
    };
    Span Cell(uint32_t offset) const;  // an allocated cell's data; raises when there is none at offset
    Span Node(Key key) const;          // a key cell ("nk")
    void Claim(uint32_t offset) const;  // while the tree is checked: a cell is followed from one place only
    void ListInto(uint32_t list, std::vector<Key>& out, uint32_t count, Key key) const;
    // A value's data, checked; into `out` (two bytes per wchar_t) when it is given.
    void Data(uint32_t size, uint32_t offset, std::wstring* out, size_t& bytes) const;
    void ReadValues(Key key, std::vector<RegValue>* out) const;
    [[noreturn]] void Damaged(const std::wstring& reason) const;
    void ApplyLogs(uint32_t sequence, const FileReader& read);
    bool ApplyEntries(const std::vector<uint8_t>& log, uint32_t& expected, size_t limit, std::wstring& why);
    bool ApplyDirtyPages(const std::vector<uint8_t>& log, size_t limit, std::wstring& why);
    void CheckBins();
    void CheckTree() const;

    std::wstring path_;
    std::vector<uint8_t> file_;
    uint32_t binsSize_ = 0, minor_ = 0;
    Key root_ = 0;
    std::vector<bool> allocated_;  // one flag per 8 bytes of hive bins data: an allocated cell starts here
    mutable std::vector<bool> claimed_;  // while the tree is checked: the cells followed so far
    bool recovered_ = false;
};

// Marvin32 of a byte run with the seed the transaction logs use (their entries' two hashes).
uint64_t HiveLogHash(const uint8_t* data, size_t size);
