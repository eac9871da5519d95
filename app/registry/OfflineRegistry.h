// app/registry/OfflineRegistry.h
#pragma once
#include "registry/HiveFile.h"
#include "registry/RegistrySource.h"
#include <memory>

// The registry of a Windows installation that is not running, read from its hive files:
// HKEY_LOCAL_MACHINE\Software from System32\config\SOFTWARE, and for every profile of its
// ProfileList whose NTUSER.DAT is there, HKEY_CURRENT_USER from NTUSER.DAT and
// HKEY_CURRENT_USER\Software\Classes from AppData\Local\Microsoft\Windows\UsrClass.dat.
// Everything is read-only. Paths are resolved as that installation sees them: its own system
// root and program folders from its hives, its system drive mapped to where the given Windows
// folder lies (D:\Windows: its C:\ is D:\).
class OfflineRegistry : public RegistrySource {
public:
    // Raises a RuntimeError naming the file and the reason when a hive is missing, damaged or
    // cannot be brought up to date; nothing is read then.
    explicit OfflineRegistry(const std::wstring& windowsDir);

    uint16_t Users() const override { return static_cast<uint16_t>(users_.size()); }
    void ReadTree(RootKey root, const std::wstring& key, uint16_t user, std::vector<ScanHit>& hits,
                  const bool& stop) override;
    bool KeyExists(RootKey root, const std::wstring& key, uint16_t user) override;
    const SystemFolders& Folders() override { return folders_; }
    std::wstring Reach(const std::wstring& path) const override;
    std::wstring Origin(const ScanHit& hit) const override;

    // A key as the installation names it once it runs: "HKEY_LOCAL_MACHINE\Software\..." or, for
    // a user's key, "HKEY_USERS\<SID>\Software\...".
    std::wstring RunningName(RootKey root, const std::wstring& key, uint16_t user) const;
    // A key with everything below it in the registry editor's format (section lines named as
    // RunningName does, Unicode syntax); "" when the key is not there.
    std::wstring ExportKey(RootKey root, const std::wstring& key, uint16_t user) const;
    // What the reading met that the user should know (profiles without NTUSER.DAT, logs applied).
    const std::vector<std::wstring>& Notes() const { return notes_; }

private:
    struct User {
        std::wstring sid;
        std::unique_ptr<HiveFile> hive, classes;  // classes may be missing
    };
    // The hive that holds a key and the key's path inside it; nullptr when none does.
    const HiveFile* Locate(RootKey root, const std::wstring& key, uint16_t user, std::wstring& inner) const;
    void Walk(const HiveFile& hive, HiveFile::Key top, ScanHit& proto, std::vector<ScanHit>& hits, const bool& stop);
    void Loaded(const HiveFile& hive);

    std::unique_ptr<HiveFile> machine_;
    std::vector<User> users_;
    SystemFolders folders_;
    wchar_t drive_ = L'c';    // the installation's system drive letter, lower case
    std::wstring driveRoot_;  // where that drive's root is reached from here, ending in "\"
    std::vector<std::wstring> notes_;
};
