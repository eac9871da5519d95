// app/extras/RegistryCompaction.h
#pragma once
#include "registry/RegKey.h"
#include <functional>
#include <string>
#include <vector>

// Compaction of the registry files. The system writes a compact copy of each hive (RegSaveKeyEx,
// newest format) and puts it in place itself at its next start (RegReplaceKey), keeping the file
// it used so far as the fallback. "At every start" is re-armed by the program at each of its own
// starts after the system has restarted (AtStart). What is armed is recorded in the settings
// section "Optionen\ExtraScan", so the mode read back is the state of today, not a wish.
namespace RegistryCompaction {

// One hive file of the system.
struct Hive {
    RootKey root = 0;
    std::wstring key;    // below root; "" for the root itself (the user's hive)
    std::wstring label;  // "HKEY_LOCAL_MACHINE\SOFTWARE"
    std::wstring name;   // names the copies: "SOFTWARE", "SYSTEM", "NTUSER"
    std::wstring file;   // the file the system loads it from ("" when the system does not tell)
};

// What the compaction needs of the system; tests replace single members.
struct Platform {
    std::function<std::vector<Hive>()> hives;
    std::function<long(const Hive&, const std::wstring& copy)> saveCopy;
    std::function<long(const Hive&, const std::wstring& newFile, const std::wstring& oldFile)> replace;
    // Administrator rights and the backup and restore privileges; `why` says what is missing.
    std::function<bool(std::wstring& why)> privileges;
    std::function<unsigned long long(const std::wstring& folder)> freeBytes;
    // Start of the running system, seconds since 1970.
    std::function<long long()> bootTime;
};
Platform& System();
// The platform as the program uses it outside tests.
Platform RealSystem();

// Where the compact copies and the kept files lie: InstallDir + "Defrag\".
std::wstring Folder();

// "-e" every start, "-o" the next start (a compaction is armed for it), "-n" none.
std::wstring DfrgType();
// A compaction is armed for the next start of the system.
bool Pending();

struct HiveSize {
    Hive hive;
    long long now = -1;      // size of the hive file now (-1 unknown)
    long long compact = -1;  // size of its compact copy, when one is armed or was last made
};
std::vector<HiveSize> Sizes();
// "12,5 MB" with the user's decimal separator; "unbekannt" for -1.
std::wstring SizeText(long long bytes);

struct Outcome {
    bool armed = false;
    bool unsupported = false;  // the system cannot do it: nothing was changed
    std::wstring message;      // for the user when not armed
};
// Writes the compact copies and arms their replacement at the next start; records `mode`
// ("-e" or "-o"). Nothing is changed when a check fails.
Outcome Arm(const std::wstring& mode);
// Stores "-n": nothing is armed any more at the program's starts. Returns false when a compaction
// is armed for the next start already (the system offers no way to withdraw it).
bool Stop();
// At the program's start: the report on an armed compaction once the system has restarted
// ("" when there is nothing to say), and "every start" armed again.
std::wstring AtStart();
// The last report, as the page shows it.
std::wstring LastReport();
// AtStart with its report shown in a message box; for the program's start-up.
void RegistryDefragAtStart();

}  // namespace RegistryCompaction
