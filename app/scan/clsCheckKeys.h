// app/scan/clsCheckKeys.h
#pragma once
#include "registry/RegistrySource.h"
#include "registry/clsSearch.h"
#include "scan/FolderListing.h"
#include "scan/ScanEngine.h"
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>


// Judges the scan's hits: groups consecutive hits of one registration (one {GUID} subtree, one
// App Paths entry, one uninstall key), tests the files and drives they name, empty keys and
// uninstall keys, and references between classes, interfaces and type libraries. Every broken
// entry becomes a result row.
class clsCheckKeys {
public:

    // Drive roots ("X:\", or "\\server\share\" for network paths) the user answered No / Yes for.
    std::vector<std::wstring> cNotToDelDrive;
    std::vector<std::wstring> cToDelDrive;
    // Set when a hit closed the previous group without joining the new one: offer it again.
    bool NotNext = false;

    // Where rows go and who answers the drive questions (no one: the answer is No).
    void SetRowSink(std::function<void(ResultRow&&)> sink) { sink_ = std::move(sink); }
    void SetQuestions(ScanQuestions* questions) { questions_ = questions; }
    // What the keys are looked up in and whose folders the files are looked for in (the running
    // system when none is set).
    void SetSource(RegistrySource* source) { source_ = source ? source : &live_; }

    void CheckReg(const ScanHit& hit);
    void CheckQuerVerbindung(const ScanHit& hit);
    // Applies the rules to entry `index` (0-based) of the open group; may empty the group.
    void CheckFile(size_t index);
    // Checks the group that is still open after the last hit and forgets it.
    void FinishGroup();
    // Forgets the group, the drive answers and what the checks learnt of files and keys (a new scan).
    void Reset();

    size_t GroupSize() const { return group_.size(); }
    // The path the file rule tests for a value's data (placeholders replaced, quotes and
    // arguments removed), lower case. `wow32`: the data belongs to a 32-bit registration, for
    // which "%ProgramFiles%" is the 32-bit program folder. The placeholders stand for the folders
    // of `source`'s installation (the running system's when none is given).
    static std::wstring CleanPath(const std::wstring& data, bool wow32 = false, RegistrySource* source = nullptr);
    // Whether a hit belongs to a 32-bit registration: it lies below a Wow6432Node key, or it is
    // the "win32" key of a type library.
    static bool Wow32(const ScanHit& hit);
    // Whether a hit's file serves both views: the "win32" path of a type library outside
    // Wow6432Node, which 64-bit clients read as well.
    static bool BothViews(const ScanHit& hit);
    // Whether the file of a cleaned path exists as the registration's own programs see it: a
    // 32-bit registration's "system32" is SysWOW64 ("sysnative" the real system folder), and its
    // "Program Files" may be the 32-bit program folder. `lookedFor` receives the path tested.
    // With `listing`, the file system is asked through it (the scan's folder listings). With
    // `source`, the path is one of its installation and is looked for where that is reached.
    static bool FileThere(const std::wstring& cleanPath, bool wow32, std::wstring& lookedFor,
                          FolderListing* listing = nullptr, RegistrySource* source = nullptr);

private:
    enum class Rule { File, Plain };
    void CheckGroup();
    void Report(const ScanHit& judged, Rule rule, Finding finding, const std::wstring& lookedFor);
    // A row for an entry of its own root, with its protocol entry.
    void Flag(const ScanHit& entry, const std::wstring& data, Finding finding, const std::wstring& lookedFor);
    void AddRow(const ScanHit& entry, const std::wstring& data, RootKey rowRoot, Finding finding,
                const std::wstring& lookedFor);
    // Type libraries are judged per version: the {GUID} key itself goes only with its last sound version.
    void FinishTypeLib();
    bool DriveMayGo(const std::wstring& drive, int kind);
    static std::wstring DeriveGroupKey(const std::wstring& k, bool withBackslash);
    bool InGroup(const ScanHit& hit, const std::wstring& k) const;
    // Whether a key of that path exists under the machine or the user root, for the user whose
    // keys `part` names (answers kept for the scan).
    bool Registered(const std::wstring& target, uint16_t part);
    // clsFiles::GetDrive of a drive root, kept for the scan except for network drives.
    int DriveKind(const std::wstring& root);

    LiveRegistry live_;
    RegistrySource* source_ = &live_;
    std::function<void(ResultRow&&)> sink_;
    ScanQuestions* questions_ = nullptr;
    std::wstring groupKey_;
    RootKey groupRoot_ = 0;
    uint16_t groupPart_ = 0;
    bool groupOpen_ = false;
    std::vector<ScanHit> group_;
    bool reported_ = false;  // the group being checked was reported
    struct TypeLib {
        RootKey root = 0;
        uint16_t part = 0;
        std::wstring key;             // lower-case path of the {GUID} key, "" when none is open
        std::vector<ScanHit> own;     // the hits of the {GUID} key itself
        size_t versions = 0, broken = 0;
    } typeLib_;
    std::vector<std::unordered_map<std::wstring, bool>> registered_;  // per user: key path as written -> exists
    FolderListing files_;
    std::unordered_map<std::wstring, int> driveKinds_;
};
