// app/office/OfficeSettings.h
#pragma once
#include "registry/RegKey.h"
#include <string>
#include <utility>
#include <vector>

// What the Office window knows about the installed suite and its settings, without any window:
// the version detection and the Outlook list of released attachment types.

// Machine keys of the suite: the 64-bit view and, for a 32-bit suite on 64-bit Windows, the
// 32-bit view (Wow6432Node); a click-to-run suite keeps its machine keys in its own copy of both.
// User keys (HKEY_CURRENT_USER) are shared by all of them.
constexpr const wchar_t* kOfficeKey64 = L"Software\\Microsoft\\Office\\";
constexpr const wchar_t* kOfficeKey32 = L"Software\\Wow6432Node\\Microsoft\\Office\\";
constexpr const wchar_t* kOfficeKeyC2R64 =
    L"Software\\Microsoft\\Office\\ClickToRun\\REGISTRY\\MACHINE\\Software\\Microsoft\\Office\\";
constexpr const wchar_t* kOfficeKeyC2R32 =
    L"Software\\Microsoft\\Office\\ClickToRun\\REGISTRY\\MACHINE\\Software\\Wow6432Node\\Microsoft\\Office\\";

struct OfficeInstall {
    std::wstring version = L"0";  // "0" when no suite was found
    std::wstring caption;         // "Microsoft Office 2003 ist installiert"
    // Where the suite's machine keys live ("Software\Microsoft\Office\" or the 32-bit view).
    std::wstring machineBase = kOfficeKey64;
    // P: the per-version path below both roots, "Software\Microsoft\Office\" + version.
    std::wstring UserPath() const { return kOfficeKey64 + version; }
    std::wstring MachinePath() const { return machineBase + version; }
    bool Found() const { return version != L"0"; }
    // The attachment security exists from Outlook XP (10.0) on.
    bool HasAttachmentSecurity() const;
};

// The caption of the window's frame while no suite is known.
extern const wchar_t* const kNoOfficeCaption;

// The newest version whose "Common\InstallRoot" key exists in one of the views. An older
// version's keys stay behind after an upgrade, and an uninstalled newer one may leave its keys:
// a version whose install folder ("Path") names a folder that is gone counts only when every
// version's is.
OfficeInstall DetectOffice();

// Whether an application key of the suite exists in HKEY_LOCAL_MACHINE, in the suite's view or
// another one (mixed installations register single programs in the other view).
bool MachineKeyExists(const OfficeInstall& office, const std::wstring& below);
// A value below the suite's machine key, from the view that has it (suite's view first).
std::wstring ReadMachineValue(const OfficeInstall& office, const std::wstring& below, const std::wstring& name);

// "Level1Remove": released extensions without their dot, separated by ";". The items of a text:
// blanks trimmed, empty items dropped, an item repeated in other letter case kept once.
std::vector<std::wstring> Level1Items(const std::wstring& value);
std::wstring Level1Value(const std::vector<std::wstring>& items);
// Whether an extension (".exe" or "exe") is one of the items: whole items, any letter case,
// so "js" never stands for "jse".
bool Level1Contains(const std::vector<std::wstring>& items, const std::wstring& extension);

struct Level1Entry {
    const wchar_t* extension;
    const wchar_t* description;
};
// The 43 extensions Outlook blocks, in the order the blocked list shows them.
const std::vector<Level1Entry>& Level1Table();
