// app/programs/InstalledPrograms.h
#pragma once
#include "registry/RegKey.h"
#include <functional>
#include <string>
#include <vector>

class clsSearch;

// One program registered for uninstalling: a direct sub-key of an Uninstall key.
struct InstalledProgram {
    RootKey root = 0;
    std::wstring key;              // full path below the root
    std::wstring displayName;      // "DisplayName"
    std::wstring uninstallString;  // "UninstallString" as stored ("" when there is none)
    DWORD uninstallType = REG_SZ;  // REG_EXPAND_SZ: placeholders are expanded before it runs
    bool windowsInstaller = false; // "WindowsInstaller" = 1
    bool systemComponent = false;  // "SystemComponent" = 1: part of Windows, not listed
    bool update = false;           // "ParentKeyName" or an update's "ReleaseType": not listed
    bool hasDisplayName = false;

    // Listed as a program: it has a display name and is neither a system component nor an update.
    bool Shown() const { return hasDisplayName && !systemComponent && !update; }
    // Below Wow6432Node: a 32-bit registration, whose files are looked for in the 32-bit view too.
    bool Wow32() const;
    // The product code of a Windows Installer entry ("{...}"), "" when it is none.
    std::wstring ProductCode() const;
    // The key as the list's column shows it: the path and a closing "]".
    std::wstring KeyText() const { return key + L"]"; }
};

// The Uninstall keys read, in this order within each root: the native one, then the 32-bit one.
extern const wchar_t* const kUninstallKeys[2];

// Every sub-key of the Uninstall keys of both roots and both views that holds values, listed
// ones and hidden ones: machine entries first, then user entries, each ordered by key path
// (character code). `hits` receives the number of values read. Stops early when the search's
// StopSearch is set.
std::vector<InstalledProgram> ReadInstalledPrograms(clsSearch& search, size_t* hits = nullptr);

// How an entry's uninstaller is started.
struct UninstallCall {
    enum class Kind { None, Program, WindowsInstaller };
    Kind kind = Kind::None;      // None: no command stored, nothing is run
    std::wstring commandLine;    // what is started, the program quoted
    std::wstring programFile;    // the uninstaller's file (found or looked for)
    // The uninstaller does not exist in either file-system view, or the Windows Installer does not
    // know the product: the entry is left over.
    bool missing = false;
};

// Whether the Windows Installer knows a product as installed (for any user). Tests replace it.
std::function<bool(const std::wstring& productCode)>& ProductInstalled();

// The call Windows would make to uninstall the entry: the stored command expanded when it is
// REG_EXPAND_SZ and split as CreateProcess splits it; a Windows Installer entry through
// "msiexec.exe /x{code}".
UninstallCall PlanUninstall(const InstalledProgram& program);

// Looks for a program file in the native and the 32-bit file-system view (the 32-bit one first
// for a 32-bit registration); "" when it is in neither.
std::wstring FindInEitherView(const std::wstring& program, bool wow32First);
