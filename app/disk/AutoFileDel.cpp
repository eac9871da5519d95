// app/disk/AutoFileDel.cpp
#include "disk/AutoFileDel.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/Trap.h"
#include "files/clsFiles.h"
#include <windows.h>
#include <cwchar>

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

// "d.m.yyyy" as FileDate gives it; raises 13 for anything else.
long DayNumberOf(const std::wstring& date) {
    int d = 0, m = 0, y = 0;
    wchar_t rest = 0;
    if (swscanf(date.c_str(), L"%d.%d.%d%lc", &d, &m, &y, &rest) != 3 || m < 1 || m > 12 || d < 1 || d > 31)
        Raise(Err::TypeMismatch);
    return DayNumber(y, m, d);
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
    std::vector<std::wstring> list;
    Trap(kModule, kProc, [&] { files.FindFilesAPI(AppEnvironment.BackupDir, L"*.reg", false, list); });
    const size_t n = list.empty() ? 0 : list.size() - 1;
    Trace(kModule, kProc, std::to_wstring(n) + L" Dateien im Backup-Ordner gefunden");
    for (size_t i = 1; i <= n; ++i) {
        const std::wstring& path = list[i];
        try {
            const std::wstring date = files.FileDate(path);
            if (date.empty()) continue;  // FileDate has logged why
            if (today - DayNumberOf(date) <= AppSwitches.DelAfterDays) continue;
            // The file functions would delete a hidden file and silently keep a read-only one;
            // both are the user's marks that the file is to stay, so they are reported instead.
            const DWORD attributes = GetFileAttributesW(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN)) {
                warn(path, L"versteckt gekennzeichnet und konnte nicht gelöscht werden.");
                Raise(Err::FileNotFound);
            }
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
                warn(path, L"schreibgeschützt gekennzeichnet und konnte nicht gelöscht werden.");
                Raise(Err::PathFileAccess);
            }
            files.FileDel(path);
            // FileDel logs its own failures; only a file that is really gone counts as deleted.
            if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) Raise(Err::PermissionDenied);
            Trace(kModule, kProc, path + L" gelöscht");
        } catch (...) {
            ReportError(kModule, kProc, CurrentError(), Style::Warning, false, L"");
        }
    }
    Trace(kModule, kProc, L"endet");
}
