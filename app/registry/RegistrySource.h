// app/registry/RegistrySource.h
#pragma once
#include "registry/clsSearch.h"
#include <cstdint>
#include <string>
#include <vector>


// The folders an installation names its files by, as it sees them itself ("C:\Windows\"), each
// ending in "\" ("" when it has none).
struct SystemFolders {
    std::wstring WinDir, SysWow64Dir, ProgramFilesDir, ProgramFilesX86Dir;
};

// The running system's folders (from AppEnvironment).
SystemFolders RunningSystemFolders();

// What the registry scan reads: the registry of the running system, or the hive files of an
// installation that is not running. The checks ask only this and do not know which it is.
//
// User keys (root HKEY_CURRENT_USER) may come from several users; a hit's `part` says whose,
// and the checks pass it back when they look for a key on that user's behalf.
class RegistrySource {
public:
    virtual ~RegistrySource() = default;

    // How many users' keys there are under HKEY_CURRENT_USER (the running system: one).
    virtual uint16_t Users() const = 0;
    // Appends one hit per value below the key and its sub-keys (one for a key that holds no
    // value), depth first, values before sub-keys: what the scan collects of an area. User keys
    // come from user `user`. Stops when `stop` becomes true.
    virtual void ReadTree(RootKey root, const std::wstring& key, uint16_t user, std::vector<ScanHit>& hits,
                          const bool& stop) = 0;
    // Whether the key exists (for user keys: of that user).
    virtual bool KeyExists(RootKey root, const std::wstring& key, uint16_t user) = 0;

    // The folders of the installation, as its registry names them.
    virtual const SystemFolders& Folders() = 0;
    // Where a path of the installation ("c:\windows\system32\x.dll") is reached from here;
    // "" when it cannot be reached (a drive of the installation that is not at hand).
    virtual std::wstring Reach(const std::wstring& path) const = 0;
    // The hive file a hit was read from ("" for the running system's registry).
    virtual std::wstring Origin(const ScanHit& hit) const = 0;
};

// The running system's registry through clsSearch and clsKeyFunc: the scan as it always was.
class LiveRegistry : public RegistrySource {
public:
    uint16_t Users() const override { return 1; }
    void ReadTree(RootKey root, const std::wstring& key, uint16_t user, std::vector<ScanHit>& hits,
                  const bool& stop) override;
    bool KeyExists(RootKey root, const std::wstring& key, uint16_t user) override;
    const SystemFolders& Folders() override;
    std::wstring Reach(const std::wstring& path) const override { return path; }
    std::wstring Origin(const ScanHit&) const override { return L""; }

private:
    SystemFolders folders_;
};
