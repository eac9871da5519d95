// app/disk/modHDD.cpp
#include "disk/modHDD.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/UniqueHandle.h"
#include "core/modCheckOS.h"
#include "core/ProtocolLog.h"
#include "journal/Protected.h"
#include "registry/clsKeyFunc.h"
#include "journal/ChangeJournal.h"

const wchar_t* const kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

namespace {

void WriteBytes(const std::wstring& file, const std::string& bytes, DWORD disposition) {
    UniqueHFile f{CreateFileW(file.c_str(), disposition == OPEN_ALWAYS ? FILE_APPEND_DATA : GENERIC_WRITE,
                             FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!f) RaiseWin32(GetLastError());
    DWORD written = 0;
    if (!bytes.empty() && (!WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
                           written != bytes.size()))
        RaiseWin32(GetLastError());
}

std::wstring ProgramFileName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    if (const size_t dot = name.find_last_of(L'.'); dot != std::wstring::npos) name.resize(dot);
    return name + L".exe";
}

bool CanWrite(RootKey root) {
    RegKey k;
    return k.Open(ToHkey(root), kRunKey, KEY_SET_VALUE) == ERROR_SUCCESS ||
           k.Create(ToHkey(root), kRunKey, KEY_SET_VALUE) == ERROR_SUCCESS;
}

}  // namespace

std::wstring TmpDirsFile() { return AppEnvironment.InstallDir + L"tmpdirs.txt"; }

std::vector<std::wstring> ReadListLines(const std::wstring& file) {
    UniqueHFile f{CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr)};
    if (!f) RaiseWin32(GetLastError());
    std::string bytes;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(f.get(), buf, sizeof buf, &n, nullptr) && n) bytes.append(buf, n);
    const std::wstring text = FromAnsi(bytes);
    std::vector<std::wstring> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!Trim(line).empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void WriteListLines(const std::wstring& file, const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const std::wstring& line : lines)
        if (!Trim(line).empty()) text += (text.empty() ? L"" : L"\r\n") + line;
    text += L"\r\n";
    WriteBytes(file, ToAnsi(text), CREATE_ALWAYS);
}

void AppendListLine(const std::wstring& file, const std::wstring& line) {
    WriteBytes(file, ToAnsi(line + L"\r\n"), OPEN_ALWAYS);
}

bool AnsiHolds(const std::wstring& text) {
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                        &lossy);
    return !lossy;
}

EmptyResult EmptyListedFolder(const std::wstring& line, const wchar_t* module, const wchar_t* procedure,
                              const DeleteProgress& progress) {
    EmptyResult result;
    const std::wstring folder = WithBackslash(line);
    result.reason = WhyNotEmptied(folder);
    if (!result.reason.empty()) {
        HandleError(module, procedure, folder + L" " + result.reason + L" und wurde übergangen.",
                                           0, L"", Style::Warning, false);
        return result;
    }
    result.count = Service<clsFiles>().FileDel(folder, progress);
    // Written whether logging is on or not: nobody watches the run at system start.
    ProtocolLog::Write(module, procedure,
                                    folder + L" geleert: " + std::to_wstring(result.count.deleted) +
                                        L" Einträge gelöscht, " + std::to_wstring(result.count.kept) +
                                        L" übergangen",
                                    0, L"");
    return result;
}

std::wstring StartEntryData() {
    return L"\"" + AppEnvironment.InstallDir + ProgramFileName() + L"\" /d";
}

RootKey StartEntryRoot() {
    if (!IsNTFamily() && CanWrite(kHKLM)) return kHKLM;
    return kHKCU;
}

std::wstring ReadStartEntry() {
    clsKeyFunc& keys = Service<clsKeyFunc>();
    for (RootKey root : {kHKCU, kHKLM}) {
        std::wstring data = keys.ReadKeyValue(root, kRunKey, AppEnvironment.AppTitle);
        if (!data.empty()) return data;
    }
    return L"";
}

bool WriteStartEntry() {
    ChangeJournal journal(L"AutoRun", L"modHDD", L"WriteStartEntry");
    RegChange entry = RegChange::SetText(StartEntryRoot(), kRunKey, AppEnvironment.AppTitle, StartEntryData());
    entry.ownEntry = true;
    const JournalResult result = journal.Apply({entry});
    return result.items[0].done;
}

bool RemoveStartEntry(std::wstring& problem) {
    clsKeyFunc& keys = Service<clsKeyFunc>();
    const std::wstring& name = AppEnvironment.AppTitle;
    std::vector<RegChange> changes;
    for (RootKey root : {kHKCU, kHKLM})
        if (!keys.ReadKeyValue(root, kRunKey, name).empty()) changes.push_back(RegChange::DeleteValue(root, kRunKey, name));
    if (changes.empty()) return true;
    // The value goes, never the key; each saved first.
    ChangeJournal journal(L"AutoRun", L"modHDD", L"RemoveStartEntry");
    const JournalResult result = journal.Apply(changes);
    if (result.undoProblem != JournalResult::UndoProblem::None) {
        problem = L"Die Sicherungsdatei konnte nicht geschrieben werden (" + result.undoError.description + L").";
        return false;
    }
    for (size_t i = 0; i < changes.size(); ++i)
        if (!result.items[i].done) {
            problem = L"Der Eintrag unter " + clsKeyFunc::HiveName(changes[i].root) + L"\\" + kRunKey +
                      L" konnte nicht gelöscht werden.";
            return false;
        }
    return true;
}
