// app/extras/ExtrasPage.cpp
#include "extras/ExtrasPage.h"
#include "core/AppEnvironment.h"
#include "journal/ChangeJournal.h"

bool ExtrasPage::TellUndoProblem(const ChangeJournal& journal, const JournalResult& result,
                                 const std::wstring& firstKept, const wchar_t* nothingDone) const {
    if (result.undoProblem == JournalResult::UndoProblem::None) return false;
    const bool made = result.undoProblem == JournalResult::UndoProblem::NotWritten;
    const std::wstring text = L"Die Sicherungsdatei " + journal.UndoPath() +
                              (made ? L" konnte nicht geschrieben werden:\r\n" : L" konnte nicht angelegt werden:\r\n") +
                              result.undoError.description + L"\r\n\r\n" +
                              (result.Done() == 0 ? std::wstring(nothingDone)
                                                  : firstKept + L" und alle folgenden wurden nicht gelöscht.");
    MessageBoxW(GetAncestor(hwnd(), GA_ROOT), text.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONEXCLAMATION | MB_OK);
    return true;
}
