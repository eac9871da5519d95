// app/journal/UndoFile.cpp
#include "journal/UndoFile.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "registry/clsKeyFunc.h"
#include <cwchar>

namespace {

constexpr int kDiskFull = 61;

[[noreturn]] void RaiseFileError(DWORD e) {
    switch (e) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: Raise(Err::PermissionDenied);
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NOT_READY: Raise(Err::PathNotFound);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: Raise(kDiskFull, L"Datenträger voll");
    default: Raise(Err::PathFileAccess);
    }
}

// Creates every missing folder of the path of a file; failures show up when the file is created.
void CreateFolders(const std::wstring& file) {
    size_t end = file.find_last_of(L'\\');
    if (end == std::wstring::npos) return;
    size_t start = 0;
    if (file.compare(0, 2, L"\\\\") == 0) {  // \\server\share\ is not a folder to create
        start = file.find(L'\\', 2);
        if (start != std::wstring::npos) start = file.find(L'\\', start + 1);
        if (start == std::wstring::npos) return;
    } else if (file.size() > 2 && file[1] == L':') {
        start = 2;
    }
    for (size_t p = start; (p = file.find(L'\\', p + 1)) != std::wstring::npos && p <= end;)
        CreateDirectoryW(file.substr(0, p).c_str(), nullptr);
}

std::wstring KeyId(const std::wstring& key) { return ToLower(key); }

}  // namespace

UndoFile::UndoFile(const std::wstring& path, const std::wstring& headerAndComments) : path_(path) {
    Open(headerAndComments, false);
}

UndoFile::UndoFile(const std::wstring& path, const std::wstring& headerAndComments, Append) : path_(path) {
    Open(headerAndComments, true);
}

void UndoFile::Open(const std::wstring& headerAndComments, bool append) {
    unicode_ = StartsWith(headerAndComments, L"Windows Registry Editor Version 5.00");
    CreateFolders(path_);
    file_.reset(CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) RaiseFileError(GetLastError());
    const HANDLE h = file_.get();
    LARGE_INTEGER size{};
    if (append && GetFileSizeEx(h, &size) && size.QuadPart > 0) {
        // The file keeps its own encoding: a REGEDIT4 file stays ANSI, whatever the header says now.
        char bom[2] = {};
        DWORD got = 0;
        const UniqueHFile r(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (r) ReadFile(r.get(), bom, 2, &got, nullptr);
        unicode_ = got == 2 && static_cast<unsigned char>(bom[0]) == 0xFF && static_cast<unsigned char>(bom[1]) == 0xFE;
        LARGE_INTEGER zero{};
        if (!SetFilePointerEx(h, zero, nullptr, FILE_END)) RaiseFileError(GetLastError());
        whole_ = static_cast<unsigned long long>(size.QuadPart);
        return;
    }
    try {
        unsigned long long bytes = unicode_ ? Write(L"\xFEFF") : 0;
        bytes += Write(headerAndComments);
        if (!FlushFileBuffers(h)) RaiseFileError(GetLastError());
        whole_ = bytes;
    } catch (...) {
        // Without its first lines the file is no registry file: it goes again.
        file_.reset();
        DeleteFileW(path_.c_str());
        throw;
    }
}

UndoFile::~UndoFile() = default;

bool UndoFile::Holds(RootKey root, const std::wstring& key) const {
    // The key itself or any key on its path up to the root.
    const std::wstring id = KeyId(key);
    if (keys_.count({root, id}) || keys_.count({root, std::wstring()})) return true;
    for (size_t p = id.find(L'\\'); p != std::wstring::npos; p = id.find(L'\\', p + 1))
        if (keys_.count({root, id.substr(0, p)})) return true;
    return false;
}

bool UndoFile::AddKey(RootKey root, const std::wstring& key) {
    if (!CollectKey(root, key)) return false;
    Flush();
    return true;
}

bool UndoFile::HoldsBelow(RootKey root, const std::wstring& key) const {
    const std::wstring below = KeyId(key) + L"\\";
    auto it = keys_.lower_bound({root, below});
    return it != keys_.end() && it->first == root && StartsWith(it->second, below);
}

namespace {
std::wstring NoteLine(const std::wstring& note) { return note.empty() ? note : kUndoNote + note + L"\r\n"; }
}  // namespace

bool UndoFile::CollectKey(RootKey root, const std::wstring& key, const std::wstring& note) {
    if (Holds(root, key)) return false;
    CollectKeyText(root, key, note, Service<clsKeyFunc>().ExportKey(root, key, unicode_));
    return true;
}

void UndoFile::CollectKeyText(RootKey root, const std::wstring& key, const std::wstring& note, const std::wstring& text) {
    RefuseLossy(root, key, text, L"Schlüssel ");
    pending_ += NoteLine(note) + text;
    std::pair<RootKey, std::wstring> id{root, KeyId(key)};
    pendingKeys_.push_back(id);
    keys_.insert(std::move(id));
}

void UndoFile::Flush() {
    if (pending_.empty()) return;
    try {
        const unsigned long long bytes = Write(pending_);
        if (!FlushFileBuffers(file_.get())) RaiseFileError(GetLastError());
        whole_ += bytes;
    } catch (...) {
        // What did not reach the disk is not held, and no part of it stays in the file.
        TrimToWhole();
        Discard();
        throw;
    }
    pendingKeys_.clear();
    pendingValues_.clear();
    pending_.clear();
}

void UndoFile::Discard() {
    for (const auto& id : pendingKeys_) keys_.erase(id);
    for (const auto& id : pendingValues_) values_.erase(id);
    pendingKeys_.clear();
    pendingValues_.clear();
    pending_.clear();
}

bool UndoFile::AddValue(RootKey root, const std::wstring& key, const std::wstring& name) {
    if (!CollectValue(root, key, name)) return false;
    Flush();
    return true;
}

bool UndoFile::CollectValue(RootKey root, const std::wstring& key, const std::wstring& name, const std::wstring& note) {
    std::pair<RootKey, std::wstring> id{root, KeyId(key) + L"\n" + ToLower(name)};
    if (Holds(root, key) || values_.count(id)) return false;
    const std::wstring text = Service<clsKeyFunc>().ExportValue(root, key, name, unicode_);
    RefuseLossy(root, key, text, L"Wert ");
    pending_ += NoteLine(note) + text;
    pendingValues_.push_back(id);
    values_.insert(std::move(id));
    return true;
}

bool UndoFile::CollectKeyRemoval(RootKey root, const std::wstring& key, const std::wstring& note) {
    if (Holds(root, key)) return false;
    CollectKeyText(root, key, note, L"[-" + clsKeyFunc::HiveName(root) + (key.empty() ? L"" : L"\\" + key) + L"]\r\n\r\n");
    return true;
}

std::wstring ValueDigest(DWORD type, const void* data, size_t bytes) {
    // FNV-1a over the type (little-endian) and the bytes.
    unsigned long long h = 14695981039346656037ull;
    auto add = [&h](unsigned char c) { h = (h ^ c) * 1099511628211ull; };
    for (int i = 0; i < 4; ++i) add(static_cast<unsigned char>(type >> (8 * i)));
    for (size_t i = 0; i < bytes; ++i) add(static_cast<const unsigned char*>(data)[i]);
    wchar_t buf[20];
    swprintf(buf, 20, L"%016llx", h);
    return buf;
}

void UndoFile::RefuseLossy(RootKey root, const std::wstring& key, const std::wstring& text, const wchar_t* what) const {
    if (unicode_) return;
    // A name that ANSI cannot hold would come back as another key or value: refuse it (the caller
    // then keeps it) rather than write something else.
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                        &lossy);
    if (lossy)
        Raise(Err::PathFileAccess, what + clsKeyFunc::HiveName(root) + L"\\" + key +
                                       L" lässt sich im Format REGEDIT4 nicht unverändert sichern");
}

void UndoFile::TrimToWhole() noexcept {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(whole_);
    const HANDLE h = file_.get();
    if (SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h)) FlushFileBuffers(h);
}

unsigned long long UndoFile::Write(const std::wstring& text) {
    std::string bytes;
    const void* data;
    size_t size;
    if (unicode_) {
        data = text.data();
        size = text.size() * sizeof(wchar_t);
    } else {
        bytes = ToAnsi(text);
        data = bytes.data();
        size = bytes.size();
    }
    const char* p = static_cast<const char*>(data);
    const unsigned long long total = size;
    while (size > 0) {
        DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size), written = 0;
        if (!WriteAction()(file_.get(), p, chunk, &written)) RaiseFileError(GetLastError());
        if (written == 0) RaiseFileError(ERROR_DISK_FULL);
        p += written;
        size -= written;
    }
    return total;
}

std::function<BOOL(HANDLE, const void*, DWORD, DWORD*)>& UndoFile::WriteAction() {
    static std::function<BOOL(HANDLE, const void*, DWORD, DWORD*)> write = [](HANDLE h, const void* data, DWORD size,
                                                                              DWORD* written) {
        return WriteFile(h, data, size, written, nullptr);
    };
    return write;
}

std::wstring UndoFileName(const std::wstring& kind) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    wchar_t stamp[32];
    swprintf(stamp, 32, L"_%02u%02u%04u_%02u%02u%02u.reg", t.wDay, t.wMonth, t.wYear, t.wHour, t.wMinute, t.wSecond);
    return L"Rückgängig_" + kind + stamp;
}

namespace {
// What each kind of undo file says it holds: the lines after the header.
struct UndoKind {
    const wchar_t* kind;
    const wchar_t* what;     // "...schlüssel wurden von Torvane Version 2.0"
    const wchar_t* because;  // the next line
};
const UndoKind kUndoKinds[] = {
    {L"RegScan", L"; Die nachfolgenden  Registryschlüssel wurden von ", L"; als falsch erkannt und entfernt."},
    {L"AutoRun", L"; Die nachfolgenden  Registryschlüssel wurden von ", L"; als falsch erkannt und entfernt."},
    {L"Dateierweiterung", L"; Die nachfolgenden  Registryschlüssel wurden von ", L"; als falsch erkannt und entfernt."},
    {L"Verlauf", L"; Die nachfolgenden  Registryschlüssel wurden von ", L"; als falsch erkannt und entfernt."},
    {L"Programme", L"; Die nachfolgenden Deinstallationseinträge wurden von ",
     L"; entfernt, weil ihr Deinstallationsprogramm fehlte."},
    {L"Office", L"; Die nachfolgenden Registryschlüssel wurden von ",
     L"; vor einer Änderung der Microsoft Office Einstellungen gesichert."},
    {L"Wiederherstellung", L"; Die nachfolgenden Registryschlüssel wurden von ",
     L"; vor dem Zurückschreiben einer Sicherungsdatei gesichert."},
};
}  // namespace

std::wstring UndoFileIntro(const std::wstring& kind, const SYSTEMTIME& when) {
    const UndoKind* k = &kUndoKinds[0];
    for (const UndoKind& u : kUndoKinds)
        if (kind == u.kind) k = &u;
    wchar_t date[128] = L"", time[16] = L"";
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &when, L"dddd, dd. MMM yyyy", date, 128, nullptr);
    swprintf(time, 16, L"%02u:%02u:%02u", when.wHour, when.wMinute, when.wSecond);
    const AppEnvironmentRecord& env = AppEnvironment;
    return env.UndoFileHeader + L"\r\n" + k->what + env.AppTitle + L" Version " + env.AppVersion + L"\r\n" +
           k->because + L"\r\n"
           L"; Mit einem Doppelklick im Windows-Explorer auf diese Datei, werden die hier\r\n"
           L"; gesicherten Registryschlüssel wieder in die Registrierungs-Datenbank eingetragen.\r\n"
           L"\r\n\r\n"
           L"; erstellt am: " + date + L" - " + time + L"\r\n" +
           L"; erstellt von: " + env.UserName + L" Computername: " + env.ComputerName + L"\r\n" +
           L"; Betriebssystem: " + env.OSName + L"\r\n" +
           L"\r\r\n";
}
