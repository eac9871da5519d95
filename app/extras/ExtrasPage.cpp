// app/extras/ExtrasPage.cpp
#include "extras/ExtrasPage.h"
#include "core/AppEnvironment.h"
#include "core/Trap.h"
#include "scan/ScanEngine.h"
#include "journal/UndoFile.h"

std::unique_ptr<UndoFile> ExtrasPage::CreateUndoFile(const std::wstring& path, const wchar_t* procedure,
                                                     const wchar_t* nothingDone) const {
    const wchar_t* module = Name();
    const bool folderThere = GetFileAttributesW(AppEnvironment.BackupDir.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::unique_ptr<UndoFile> undo;
    try {
        SYSTEMTIME now;
        GetLocalTime(&now);
        undo = std::make_unique<UndoFile>(path, UndoFileIntro(L"RegScan", now), UndoFile::Append{});
    } catch (...) {
        const RuntimeError err = CurrentError();
        ReportError(module, procedure, err, 48, false, path);
        const std::wstring text = L"Die Sicherungsdatei " + path + L" konnte nicht angelegt werden:\r\n" +
                                  err.description + L"\r\n\r\n" + nothingDone;
        MessageBoxW(GetAncestor(hwnd(), GA_ROOT), text.c_str(), AppEnvironment.AppTitle.c_str(),
                    MB_ICONEXCLAMATION | MB_OK);
        return nullptr;
    }
    if (!folderThere) Trace(module, procedure, AppEnvironment.BackupDir + L" musste angelegt werden");
    Trace(module, procedure, path + L" angelegt");
    return undo;
}
