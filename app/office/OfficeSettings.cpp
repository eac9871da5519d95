// app/office/OfficeSettings.cpp
#include "office/OfficeSettings.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include <cwctype>
#include <optional>

const wchar_t* const kNoOfficeCaption = L"kein oder unbekannte Microsoft Office Version gefunden";

namespace {
struct KnownVersion {
    const wchar_t* version;
    const wchar_t* caption;
};
// Oldest first; 16.0 stands for every suite from 2016 on (2019, 2021, Microsoft 365).
const KnownVersion kVersions[] = {
    {L"8.0", L"Microsoft Office 97 ist installiert"},
    {L"9.0", L"Microsoft Office 2000 ist installiert"},
    {L"10.0", L"Microsoft Office XP ist installiert"},
    {L"11.0", L"Microsoft Office 2003 ist installiert"},
    {L"12.0", L"Microsoft Office 2007 ist installiert"},
    {L"14.0", L"Microsoft Office 2010 ist installiert"},
    {L"15.0", L"Microsoft Office 2013 ist installiert"},
    {L"16.0", L"Microsoft Office 2016 oder neuer ist installiert"},
};

bool KeyThere(RootKey root, const std::wstring& key) {
    return Service<clsKeyFunc>().KeyExist(root, key, KEY_QUERY_VALUE) != 0;
}

bool FolderThere(const std::wstring& folder) {
    const DWORD a = GetFileAttributesW(folder.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

const wchar_t* const kViews[] = {kOfficeKey64, kOfficeKey32, kOfficeKeyC2R64, kOfficeKeyC2R32};

// The suite's view first, then the others.
std::vector<std::wstring> Views(const OfficeInstall& office) {
    std::vector<std::wstring> views{office.machineBase};
    for (const wchar_t* v : kViews)
        if (office.machineBase != v) views.push_back(v);
    return views;
}

}  // namespace

bool OfficeInstall::HasAttachmentSecurity() const {
    try {
        return Found() && std::stod(version) >= 10.0;
    } catch (...) {
        return false;
    }
}

OfficeInstall DetectOffice() {
    std::optional<OfficeInstall> sound, any;
    for (const KnownVersion& v : kVersions) {
        for (const wchar_t* base : kViews) {
            const std::wstring root = std::wstring(base) + v.version + L"\\Common\\InstallRoot";
            if (!KeyThere(kHKLM, root)) continue;
            OfficeInstall found;
            found.version = v.version;
            found.caption = v.caption;
            found.machineBase = base;
            // Oldest first, so a later hit is a newer version; within one version the first view wins.
            if (!any || any->version != found.version) any = found;
            const std::wstring path = Service<clsKeyFunc>().ReadKeyValue(kHKLM, root, L"Path");
            const bool stale = !path.empty() && !FolderThere(path);
            if (!stale && (!sound || sound->version != found.version)) sound = found;
        }
    }
    if (sound) return *sound;
    if (any) return *any;
    OfficeInstall none;
    none.caption = kNoOfficeCaption;
    return none;
}

bool MachineKeyExists(const OfficeInstall& office, const std::wstring& below) {
    for (const std::wstring& view : Views(office))
        if (KeyThere(kHKLM, view + office.version + L"\\" + below)) return true;
    return false;
}

std::wstring ReadMachineValue(const OfficeInstall& office, const std::wstring& below, const std::wstring& name) {
    for (const std::wstring& view : Views(office)) {
        const std::wstring value = Service<clsKeyFunc>().ReadKeyValue(kHKLM, view + office.version + L"\\" + below, name);
        if (!value.empty()) return value;
    }
    return L"";
}

std::vector<std::wstring> Level1Items(const std::wstring& value) {
    std::vector<std::wstring> items;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(L';', start);
        if (end == std::wstring::npos) end = value.size();
        std::wstring item = Trim(std::wstring_view(value).substr(start, end - start));
        if (!item.empty() && !Level1Contains(items, item)) items.push_back(item);
        start = end + 1;
    }
    return items;
}

std::wstring Level1Value(const std::vector<std::wstring>& items) {
    std::wstring value;
    for (const std::wstring& item : items) {
        if (item.empty()) continue;
        if (!value.empty()) value += L';';
        value += item;
    }
    return value;
}

bool Level1Contains(const std::vector<std::wstring>& items, const std::wstring& extension) {
    std::wstring e = ToLower(extension);
    if (!e.empty() && e[0] == L'.') e.erase(0, 1);
    for (const std::wstring& item : items) {
        std::wstring i = ToLower(item);
        if (!i.empty() && i[0] == L'.') i.erase(0, 1);
        if (i == e) return true;
    }
    return false;
}

const std::vector<Level1Entry>& Level1Table() {
    static const std::vector<Level1Entry> table = {
        {L".ade", L"Microsoft Access Projekt"},
        {L".adp", L"Microsoft Access Projekt"},
        {L".asx", L"Microsoft Media A/V shortcut"},
        {L".bas", L"Microsoft VB/VBA Code Modul"},
        {L".bat", L"Batch-Programm"},
        {L".chm", L"Kompilierte HTML Hilfe"},
        {L".cmd", L"Windows NT command"},
        {L".com", L"Microsoft DOS Programm"},
        {L".cpl", L"Systemsteuerungsdatei"},
        {L".crt", L"Security Zertifikat"},
        {L".exe", L"ausführbares Programm"},
        {L".hlp", L"Hilfe Datei"},
        {L".hta", L"HTML Programm"},
        {L".inf", L"Setup Information"},
        {L".ins", L"Internet Namens Service"},
        {L".isp", L"Internet Kommunikation Einstellung"},
        {L".js", L"JScript Datei"},
        {L".jse", L"JScript Encoded Datei"},
        {L".lnk", L"Dateiverknüpfung"},
        {L".mda", L"Microsoft Access Addin-Programm"},
        {L".mdb", L"Microsoft Access Datenbank"},
        {L".mde", L"Microsoft Access MDE Datenbank"},
        {L".mdz", L"Microsoft Access Assistent Programm"},
        {L".msc", L"Microsoft Managment Console"},
        {L".msi", L"Windows Installer Paket"},
        {L".msp", L"Windows Installer Patchdatei"},
        {L".mst", L"Visual Test Quelldatei"},
        {L".pcd", L"Visual Test Kompiliertes Skript oder Photo CD image"},
        {L".pif", L"Verknüpfung zu MS-DOS Programm"},
        {L".prf", L"Microsoft Outlook Profileinstellung"},
        {L".reg", L"Windows Registry Datei"},
        {L".scf", L"Windows Explorer Kommando"},
        {L".scr", L"Bildschirmschoner"},
        {L".sct", L"Windows Skript Komponente"},
        {L".shb", L"Verknüpfung in ein Dokument"},
        {L".shs", L"Shell scrap Objekt"},
        {L".url", L"Internetverknüpfung"},
        {L".vb", L"Visual Basic Skript"},
        {L".vbe", L"Visual Basic encoded Skript"},
        {L".vbs", L"Visual Basic Skript"},
        {L".wsc", L"Windows Skript Komponente"},
        {L".wsf", L"Windows Skript Datei"},
        {L".wsh", L"Windows Host Einstellungsdatei"},
    };
    return table;
}
