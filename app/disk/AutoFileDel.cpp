// app/disk/AutoFileDel.cpp
#include "disk/AutoFileDel.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "journal/Protected.h"
#include "files/clsFiles.h"
#include <windows.h>

namespace {
const wchar_t* kModule = L"modMain";
const wchar_t* kProc = L"AutoFileDel";

// Days since 1 March of year 0 (proleptic Gregorian), so differences are whole calendar days.
long DayNumber(int year, int month, int day) {
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yoe = year - era * 400;
    const long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

// The local calendar day of a file time, as the Explorer shows the date.
long LocalDayOf(const FILETIME& when) {
    SYSTEMTIME utc, local;
    // The time zone rules of that date, not today's daylight-saving offset.
    if (!FileTimeToSystemTime(&when, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        RaiseWin32(GetLastError());
    return DayNumber(local.wYear, local.wMonth, local.wDay);
}

}  // namespace

void DeleteAgedUndoFiles(const KeptNotice& tell) {
    auto warn = [&](const std::wstring& path, const std::wstring& lastLine) {
        if (tell) tell(L"Automatisches Löschen\r\rDie Datei " + path + L" ist als\r" + lastLine);
    };
    Trace(kModule, kProc, L"startet");
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const long today = DayNumber(now.wYear, now.wMonth, now.wDay);
    clsFiles& files = Service<clsFiles>();
    // The folder is judged once; each file by its entry in the listing, which also gives its date
    // and marks.
    const std::wstring folder = WithBackslash(AppEnvironment.BackupDir);
    std::vector<WIN32_FIND_DATAW> found = files.ListFolder(folder, L"*.reg");
    // Undo files are files: a folder of that name is someone else's and stays.
    std::erase_if(found, [](const WIN32_FIND_DATAW& e) { return (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; });
    Trace(kModule, kProc, std::to_wstring(found.size()) + L" Dateien im Backup-Ordner gefunden");
    const FolderEntries entries(folder);
    for (const WIN32_FIND_DATAW& entry : found) {
        const std::wstring path = folder + entry.cFileName;
        try {
            if (today - LocalDayOf(entry.ftLastWriteTime) <= AppSwitches.DelAfterDays) continue;
            // The file functions would delete a hidden file and silently keep a read-only one;
            // both are the user's marks that the file is to stay, so they are reported instead.
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) {
                warn(path, L"versteckt gekennzeichnet und konnte nicht gelöscht werden.");
                Raise(Err::FileNotFound);
            }
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
                warn(path, L"schreibgeschützt gekennzeichnet und konnte nicht gelöscht werden.");
                Raise(Err::PathFileAccess);
            }
            files.DeleteListed(entries, folder, entry);
            // Failures are logged where they happen; only a file that is really gone counts as deleted.
            if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) Raise(Err::PermissionDenied);
            Trace(kModule, kProc, path + L" gelöscht");
        } catch (...) {
            ReportError(kModule, kProc, CurrentError(), Style::Warning, false, L"");
        }
    }
    Trace(kModule, kProc, L"endet");
}
