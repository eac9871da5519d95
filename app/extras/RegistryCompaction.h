// app/extras/RegistryCompaction.h
#pragma once
#include "registry/RegKey.h"
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// Compaction of the registry files. Windows writes a compact copy of each hive (RegSaveKeyEx,
// newest format) and loads it at its next start (RegReplaceKey), keeping the file it used so far.
// Whatever is written to the registry after a copy is taken never reaches that copy, so copies
// are taken only while the session ends: in a restart the user confirmed, or ("every start") in
// each restart or shutdown while the program runs. The program then stands last in the shutdown
// order, so every other program has been asked to close before. Nothing is armed at a log-off,
// while Windows waits for a restart of its own (updates, servicing), or at a shutdown that
// Windows' fast startup resumes from (the running registry outlives it).
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
    // The time now, seconds since 1970.
    std::function<long long()> now;
    // The process's place in the shutdown order (SetProcessShutdownParameters).
    std::function<void(unsigned long level)> shutdownLevel;
    // Restarts the computer, the other programs asked to close first; false when Windows refused.
    std::function<bool()> restart;
};
Platform& System();
// The platform as the program uses it outside tests.
Platform RealSystem();

// Shutdown levels: last of all applications while a compaction is wanted, else the default.
constexpr unsigned long kLevelLast = 0x100, kLevelDefault = 0x280;
constexpr long long kOwnRestart = 600;

// Where the compact copies and the kept files lie: InstallDir + "Defrag\".
std::wstring Folder();

// "-e" at each restart or shutdown while the program runs, "-o" with the restart confirmed now,
// "-n" none.
std::wstring DfrgType();
// A compaction goes with the next end of the session: one is wanted and Windows waits for no
// restart of its own.
bool Pending();
// Why Windows waits for a restart of its own (one line per reason), "" when it does not.
std::wstring RestartPending();
// Windows' fast startup is on: a shutdown keeps the running registry for the next start.
bool FastStartup();

struct HiveSize {
    Hive hive;
    long long now = -1;      // size of the hive file now (-1 unknown)
    long long compact = -1;  // size of a compact copy written now (-1 when none could be written)
};
// Each hive's size and the size a compaction would reach: a copy is written to the temporary
// folder, measured and deleted. `why` says why no copy could be written ("" when all were).
std::vector<HiveSize> Sizes(std::wstring& why);
// "12,5 MB" with the user's decimal separator; "unbekannt" for -1.
std::wstring SizeText(long long bytes);

// Whether a compaction can go with a restart now, from the sizes just measured: "" when it can,
// else the message for the user; nothing is changed either way.
std::wstring Check(const std::vector<HiveSize>& sizes, const std::wstring& why);
// Sets the mode: "-e" is stored and watched for from now on, "-o" is watched for in the restart
// the user has just confirmed, "-n" stores that nothing is wanted.
void SetMode(const std::wstring& mode);
// The restart the user confirmed, with the compaction; false when Windows refused (then "-o" is
// dropped). A session that ends more than kOwnRestart seconds later ends in another restart or
// shutdown: the one confirmed was called off by another program.
bool Restart();

struct Outcome {
    bool armed = false;
    std::wstring message;  // why nothing or not everything was armed
};
// The end of the session as WM_ENDSESSION tells it (`ending` its wParam, `logoff` ENDSESSION_LOGOFF
// of its lParam): the copies are taken and armed here when a compaction is wanted and nothing
// stands against it.
Outcome SessionEnd(bool ending, bool logoff);
// The hidden top-level window that hears the end of the session; nullptr while none is wanted.
HWND WatchWindow();

// At the program's start: the report on a compaction armed before the system restarted ("" when
// there is nothing to say); "every start" is watched for again.
std::wstring AtStart();
// The last report, as the page shows it.
std::wstring LastReport();
// AtStart for the program's start-up, its failure logged; the report for the caller to show.
std::wstring RegistryDefragAtStart();

}  // namespace RegistryCompaction
